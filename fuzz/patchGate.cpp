// The property-list reader on arbitrary bytes, then the patch data gate on what it read.

#include <cstdlib>

#include "Gatewarden/main.h"
#include "platform/linux/LinuxPlatform.h"
#include "support/FakePlatform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace gatewarden;
    auto dictionary = parsePropertyList(std::string_view(reinterpret_cast<const char*>(data), size));
    testing::FakePlatform platform;
    if (dictionary) {
        describe(Value(*dictionary));
        platform.propertyLists["/data/qzpatch_data.plist"] = *dictionary;
    }
    RunState state;
    bool skip = isPatchingViaMDM(platform, "/data", state);
    auto status = state.qzpatchDataDict.find("OSPatchingViaMDMStatus");
    bool statusIsOne = status != state.qzpatchDataDict.end() && isNumberEqualToOne(status->second);
    if (skip && !statusIsOne) std::abort();
    if (platform.records.size() != (statusIsOne ? 2u : 1u)) std::abort();
    return 0;
}
