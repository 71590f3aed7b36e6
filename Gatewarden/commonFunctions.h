#pragma once

// The device readiness checks: processor family, battery charge and free disk space.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace gatewarden {

struct CommandResult {
    std::int32_t status = 0;
    // Standard output and standard error as they reached the one pipe, untrimmed.
    std::string output;
};

// Runs "/usr/bin/env" with args. When it cannot start at all the status is 127, as for a command
// that is not found, and the output is the platform's reason. Output that is not valid UTF-8 gives
// the empty text.
CommandResult shell(Platform& platform, const std::vector<std::string>& args);

// True when the processor brand string names Apple; false otherwise and whenever the command fails.
bool isSiliconMachine(Platform& platform);

// The power sources, each logged with its rendering.
std::vector<PowerSource> getBatteryInfo(Platform& platform);

// False only when a source on battery power has a charge at or below the threshold that
// batteryPercentage gives (20 when it gives no number).
bool isBatteryLevelSufficient(Platform& platform, const std::string& batteryPercentage);

// The bytes free for important use on the volume of "/", or nothing.
std::optional<std::int64_t> getFreeDiskSpace(Platform& platform);

// False only when the free whole gibibytes are fewer than requiredDiskSpace; true whenever the
// comparison cannot be made.
bool isDiskSpaceSufficient(Platform& platform, std::optional<std::int64_t> requiredDiskSpace);

}  // namespace gatewarden
