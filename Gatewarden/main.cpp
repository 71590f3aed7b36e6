#include "Gatewarden/main.h"

#include "Gatewarden/commonFunctions.h"

namespace gatewarden {

int runPreReqCheck(Platform& platform, const std::vector<std::string>& arguments) {
    RunState state;
    platform.log("Inside OS Update/Upgrade PreReq check ....");
    if (arguments.size() < 5) {
        platform.log("Arguments are low -> required 4 args");
        return argumentsTooFew;
    }

    state.isSiliconMac = isSiliconMachine(platform);
    state.batteryPercentage = arguments[state.isSiliconMac ? 3 : 1];
    state.requiredDiskSpace = arguments[state.isSiliconMac ? 4 : 2];
    platform.log("Given batteryPercentage:" + state.batteryPercentage + ", requiredDiskSpace:" + state.requiredDiskSpace);

    if (!isBatteryLevelSufficient(platform, state.batteryPercentage)) {
        platform.log("OS Update/Upgrade stopped due to low battery");
        return batteryTooLow;
    }
    if (!isDiskSpaceSufficient(platform, parseSignedInteger(state.requiredDiskSpace))) return diskSpaceTooLow;

    if (!state.isSiliconMac) {
        platform.log("Its a Intel machine, hence skipping checkIfUserLoggedIn - check, returning true");
        return updateMayStart;
    }
    return updateMayStart;
}

}  // namespace gatewarden
