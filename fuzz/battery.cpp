// Power-supply folders with arbitrary attribute texts, read from a real folder, then the battery
// decision on what was read.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "Gatewarden/commonFunctions.h"
#include "FuzzInput.h"
#include "platform/linux/LinuxPlatform.h"
#include "support/FakePlatform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace gatewarden;
    namespace fs = std::filesystem;
    // In memory where the machine offers it: every input writes and removes a folder tree.
    static const fs::path root = (fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path()) /
                                 ("gatewarden-fuzz-" + std::to_string(getpid()));
    fs::remove_all(root);
    fuzz::FuzzInput input(data, size);
    std::string threshold = input.text();
    for (int supply = 0; supply < 3 && !input.empty(); ++supply) {
        fs::path folder = root / ("PS" + std::to_string(supply));
        fs::create_directories(folder);
        for (const char* attribute : {"type", "scope", "online", "capacity"})
            std::ofstream(folder / attribute, std::ios::binary) << input.text();
    }
    auto sources = readPowerSupplies(root.string());
    fs::remove_all(root);

    testing::FakePlatform platform;
    platform.sources = sources;
    bool passed = isBatteryLevelSufficient(platform, threshold);
    bool onMains = false;
    for (const auto& source : sources) {
        const auto& entry = *source.entry.get<Dictionary>();
        onMains = lookup<std::string>(entry, "Power Source State") && *lookup<std::string>(entry, "Power Source State") == "AC Power";
    }
    if (onMains && !passed) std::abort();
    return 0;
}
