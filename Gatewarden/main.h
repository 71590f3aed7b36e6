#pragma once

// The check sequence: the command line, the order of the checks and the exit status.

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace gatewarden {

// Exit statuses, the tool's whole answer to the agent.
enum ExitStatus : int {
    updateMayStart = 0,
    argumentsTooFew = 1,
    batteryTooLow = 52,
    noConsoleUser = 54,
    severalUsersLoggedIn = 55,
    diskSpaceTooLow = 59,
};

// What one run learns, each written once.
struct RunState {
    bool isSiliconMac = false;
    std::string batteryPercentage;
    std::string requiredDiskSpace;
};

// Runs the checks in order for the argument vector (the program path first) and gives the status
// that the process ends with. Only the process entry ends the process.
int runPreReqCheck(Platform& platform, const std::vector<std::string>& arguments);

}  // namespace gatewarden
