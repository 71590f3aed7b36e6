#include "agent/OmbrixAgent.h"

#include <array>
#include <cstdlib>

#include "reading/Utf8.h"

namespace gatewarden {

namespace {

struct Root {
    const char* serviceProgram;  // present when the agent is installed under root
    const char* root;
};

// Probed in this order; the first present service program decides.
constexpr std::array<Root, 3> installedRoots{{
    {"/Library/Quillory/Tesvara_Agent/bin/qzagentservice", "/Library/Quillory/Tesvara_Agent"},
    {"/Library/Corvellan_Agent/bin/qzagentservice", "/Library/Corvellan_Agent"},
    {"/Library/Aldermoor_Agent/bin/qzagentservice", "/Library/Aldermoor_Agent"},
}};
constexpr const char* fallbackRoot = "/Library/Tesvara_Agent";

Platform* processPlatform = nullptr;

}  // namespace

AgentLayout::AgentLayout(Platform& platform)
    : basePath([this] { return _basePath(); }),
      agentPath([this] { return basePath.get() + "/bin"; }),
      systemDataPath([this] { return _systemDataPath(); }),
      logsPath([this] { return basePath.get() + "/logs"; }),
      userLogsPath([this] { return basePath.get() + "/logs" + "/UserLogs"; }),
      dataPath([this] { return basePath.get() + "/data"; }),
      platform_(platform) {}

std::string AgentLayout::_basePath() {
    for (const auto& candidate : installedRoots)
        if (platform_.fileExists(candidate.serviceProgram)) return candidate.root;
    return fallbackRoot;
}

std::string AgentLayout::_systemDataPath() {
    std::string root = basePath.get();
    std::string systemData = root + "/SystemData";
    if (platform_.fileExists(systemData)) return systemData;
    platform_.log("_systemDataPath refers to data folder");
    return root + "/data";
}

OmbrixAgent::OmbrixAgent() : platform_(processPlatform), layout_(&layout()) {}

std::string OmbrixAgent::outputForGivenCommand(const std::string& launchPath,
                                               const std::vector<std::string>& arguments) {
    std::unique_ptr<ChildProcess> child;
    try {
        child = platform_->startCommand(launchPath, arguments, StandardError::Inherit);
    } catch (const PlatformException&) {
        return std::string();
    }
    std::string bytes = child->readToEnd();
    child->wait();
    return decodeUtf8(bytes).value_or(std::string());
}

bool OmbrixAgent::isApplicationRunningPromptShown(const std::string& appName) {
    std::string ownId = std::to_string(platform_->processId());
    // Kept exactly as ps prints it, blanks and line end included: records hold that form.
    std::string parentId = outputForGivenCommand("/bin/sh", {"-c", "/bin/ps -o ppid= " + ownId});
    platform_->log("child process ID " + ownId + " : parent process id " + parentId);

    std::string path = layout_->dataPath.get() + "/ApplicationRunningPromptData.plist";
    if (!platform_->fileExists(path)) {
        platform_->log(path + " file not available");
        return false;
    }
    auto prompts = platform_->readPropertyList(path);
    if (!prompts) {
        platform_->log(path + " : Cannot Convert plist to Dict");
        return false;
    }
    const auto* herald = lookup<Dictionary>(*prompts, "UpdateHerald");
    if (!herald) {
        platform_->log(path + " : Cannot Get UpdateHerald data value");
        return false;
    }
    const auto* previousParentPid = lookup<std::string>(*herald, appName);
    if (!previousParentPid) {
        platform_->log("previousParentPid is nil for " + appName + " -> false");
        return false;
    }
    if (equalsIgnoringCase(*previousParentPid, parentId)) {
        platform_->log("current and previousParentPid are same -> true :" + *previousParentPid);
        return true;
    }
    platform_->log("current and previousParentPid are different -> false :" + *previousParentPid);
    return false;
}

void OmbrixAgent::usePlatform(Platform& platform) { processPlatform = &platform; }

AgentLayout& OmbrixAgent::layout() {
    // Without a platform no path can be probed: a programming error, not a machine state.
    if (!processPlatform) std::abort();
    static AgentLayout shared(*processPlatform);
    return shared;
}

}  // namespace gatewarden
