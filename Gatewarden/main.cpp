#include "Gatewarden/main.h"

#include "Gatewarden/commonFunctions.h"
#include "Gatewarden/userLoggedInCheck.h"

namespace gatewarden {

namespace {

// How the gate's log lines show the optional "isMDMPatchingEnabled" text.
std::string optionalText(const std::string* text) { return text ? "Optional(" + quoted(*text) + ")" : "nil"; }

}  // namespace

bool isPatchingViaMDM(Platform& platform, const std::string& dataPath, RunState& state) {
    state.qzpatchDataPlistPath = dataPath + "/qzpatch_data.plist";
    state.qzpatchDataDict = platform.readPropertyList(state.qzpatchDataPlistPath).value_or(Dictionary{});

    // Only a number equal to 1 counts; a boolean true does not, so the login check runs.
    auto status = state.qzpatchDataDict.find("OSPatchingViaMDMStatus");
    if (status == state.qzpatchDataDict.end() || !isNumberEqualToOne(status->second)) {
        platform.log("patchingViaMDMStatus != 1, proceeding user logged in check");
        return false;
    }
    const auto* enabled = lookup<std::string>(state.qzpatchDataDict, "isMDMPatchingEnabled");
    // The status equals 1 here, and a number of value 1 is written as the single digit.
    platform.log("patchingViaMDMStatus :1, checking for isMDMPatchingEnabled " + optionalText(enabled));
    if (enabled && !equalsIgnoringCase(*enabled, "true")) {
        platform.log("isMDMPatchingEnabled : " + optionalText(enabled) + ", proceeding user logged in check");
        return false;
    }
    platform.log("isMDMPatchingEnabled : " + optionalText(enabled) +
                 ", hence skipping checkIfUserLoggedIn - check, returning true");
    return true;
}

int runPreReqCheck(Platform& platform, const std::vector<std::string>& arguments, AgentLayout& agent) {
    RunState state;
    platform.log("Inside OS Update/Upgrade PreReq check ....");
    if (arguments.size() < 5) {
        platform.log("Arguments are low -> required 4 args");
        return argumentsTooFew;
    }

    state.isSiliconMac = isSiliconMachine(platform);
    state.batteryPercentage = arguments[state.isSiliconMac ? 3 : 1];
    state.requiredDiskSpace = arguments[state.isSiliconMac ? 4 : 2];
    platform.log("Given batteryPercentage:" + state.batteryPercentage +
                 ", requiredDiskSpace:" + state.requiredDiskSpace);

    if (!isBatteryLevelSufficient(platform, state.batteryPercentage)) {
        platform.log("OS Update/Upgrade stopped due to low battery");
        return batteryTooLow;
    }
    if (!isDiskSpaceSufficient(platform, parseSignedInteger(state.requiredDiskSpace))) return diskSpaceTooLow;

    if (!state.isSiliconMac) {
        platform.log("Its a Intel machine, hence skipping checkIfUserLoggedIn - check, returning true");
        return updateMayStart;
    }
    if (isPatchingViaMDM(platform, agent.dataPath.get(), state)) return updateMayStart;
    return getUserLoginStatus(platform);
}

}  // namespace gatewarden
