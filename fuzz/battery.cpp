// Power-supply folders with arbitrary attribute texts, read from a real folder, then the battery
// decision on what was read: on mains power it always passes.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "Gatewarden/commonFunctions.h"
#include "platform/linux/LinuxPlatform.h"
#include "support/FakePlatform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace fs = std::filesystem;
    // In memory where the machine offers it: every input writes and removes a folder tree.
    static const fs::path root =
        fs::path(fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp") / ("gw-fuzz-" + std::to_string(::getpid()));
    FuzzedDataProvider input(data, size);
    std::string threshold = input.ConsumeRandomLengthString();
    for (int supply = 0; supply < 3 && input.remaining_bytes() > 0; ++supply)
        for (const char* attribute : {"type", "scope", "online", "capacity"})
            fs::create_directories(root / std::to_string(supply)),
                std::ofstream(root / std::to_string(supply) / attribute) << input.ConsumeRandomLengthString();
    gatewarden::testing::FakePlatform platform;
    platform.sources = gatewarden::readPowerSupplies(root);
    fs::remove_all(root);
    bool onMains =
        !platform.sources.empty() && platform.sources[0].description.find("\"AC Power\"") != std::string::npos;
    if (onMains && !isBatteryLevelSufficient(platform, threshold)) std::abort();
    return 0;
}
