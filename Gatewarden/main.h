#pragma once

// The check sequence: the command line, the order of the checks and the exit status.

#include <string>
#include <vector>

#include "agent/OmbrixAgent.h"
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
    // Written by the patch data gate, on Apple silicon only.
    std::string qzpatchDataPlistPath;
    Dictionary qzpatchDataDict;
};

// The patch data gate: true when the agent's patch data says that operating-system patching runs
// through MDM, so the logged-on user check is skipped. dataPath is the agent's data folder.
bool isPatchingViaMDM(Platform& platform, const std::string& dataPath, RunState& state);

// Runs the checks in order for the argument vector (the program path first) and gives the status
// that the process ends with. Only the process entry ends the process. agent supplies the data
// folder; the tool passes the process-wide paths of OmbrixAgent.
int runPreReqCheck(Platform& platform, const std::vector<std::string>& arguments, AgentLayout& agent);

}  // namespace gatewarden
