#include "Gatewarden/commonFunctions.h"

#include <cmath>

#include "reading/Utf8.h"

namespace gatewarden {

namespace {

constexpr std::int64_t defaultBatteryThreshold = 20;
constexpr std::int32_t commandNotFound = 127;

// Bytes to gibibytes as the free-space line shows them: three multiplications by 1/1024, each exact.
double toGibibytes(std::int64_t bytes) {
    constexpr double perKibibyte = 1.0 / 1024;
    return static_cast<double>(bytes) * perKibibyte * perKibibyte * perKibibyte;
}

}  // namespace

CommandResult shell(Platform& platform, const std::vector<std::string>& args) {
    std::unique_ptr<ChildProcess> child;
    try {
        child = platform.startCommand("/usr/bin/env", args, StandardError::Captured);
    } catch (const PlatformException& exception) {
        return {commandNotFound, exception.reason};
    }
    // Read while the child runs: a child with more output than the pipe holds would otherwise
    // block for ever on its next write while we wait for it to end.
    std::string bytes = child->readToEnd();
    std::int32_t status = child->wait();
    return {status, decodeUtf8(bytes).value_or(std::string())};
}

bool isSiliconMachine(Platform& platform) {
    CommandResult result = shell(platform, {"/usr/sbin/sysctl", "-n", "machdep.cpu.brand_string"});
    platform.log("isSiliconMachine returnCode " + std::to_string(result.status) + " Output \"" + result.output + "\"");
    if (result.status != 0) return false;
    return result.output.find("Apple") != std::string::npos;
}

std::vector<PowerSource> getBatteryInfo(Platform& platform) {
    std::vector<PowerSource> sources = platform.powerSources();
    for (const auto& source : sources) platform.log("Battery -> " + source.description);
    return sources;
}

bool isBatteryLevelSufficient(Platform& platform, const std::string& batteryPercentage) {
    for (const auto& source : getBatteryInfo(platform)) {
        const auto* entry = source.entry.get<Dictionary>();
        if (!entry) {
            platform.log("Battery info is not takeable");
            continue;
        }
        const auto* state = lookup<std::string>(*entry, "Power Source State");
        if (state && equalsIgnoringCase(*state, "AC Power")) {
            platform.log("Current Power Source State is AC Power, not checking battery percentage");
            return true;
        }
        auto found = entry->find("Current Capacity");
        auto capacity = found == entry->end() ? std::nullopt : wholeNumber(found->second);
        if (!capacity) {
            platform.log("Battery Percentage is not takeable");
            continue;
        }
        platform.log("Current Battery % is " + std::to_string(*capacity));
        std::int64_t threshold = parseSignedInteger(batteryPercentage).value_or(defaultBatteryThreshold);
        if (*capacity <= threshold) {
            platform.log("Battery is Low than expected");
            return false;
        }
    }
    platform.log("Battery is Sufficient for the Update");
    return true;
}

std::optional<std::int64_t> getFreeDiskSpace(Platform& platform) {
    VolumeCapacity capacity = platform.availableCapacity();
    if (capacity.error) {
        platform.log("Error: " + *capacity.error);
        return std::nullopt;
    }
    if (!capacity.bytes) {
        platform.log("Failed to retrieve available capacity.");
        return std::nullopt;
    }
    platform.log("Available free space :" + std::to_string(*capacity.bytes) + "bytes / " +
                 shortestDecimal(toGibibytes(*capacity.bytes)) + "GB");
    return capacity.bytes;
}

bool isDiskSpaceSufficient(Platform& platform, std::optional<std::int64_t> requiredDiskSpace) {
    std::optional<std::int64_t> freeBytes = getFreeDiskSpace(platform);
    if (!freeBytes || *freeBytes < 1 || !requiredDiskSpace) {
        platform.log("!!!!!! Error in getting disk space, hence returning success ");
        return true;
    }
    auto freeGibibytes = static_cast<std::int64_t>(std::trunc(toGibibytes(*freeBytes)));
    if (freeGibibytes >= *requiredDiskSpace) {
        platform.log("checkIfDiskSpaceIsSufficient : true");
        return true;
    }
    platform.log("checkIfDiskSpaceIsSufficient : false");
    return false;
}

}  // namespace gatewarden
