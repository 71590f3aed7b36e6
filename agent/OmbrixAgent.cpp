#include "agent/OmbrixAgent.h"

#include <array>
#include <cstdlib>

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

void OmbrixAgent::usePlatform(Platform& platform) { processPlatform = &platform; }

AgentLayout& OmbrixAgent::layout() {
    // Without a platform no path can be probed: a programming error, not a machine state.
    if (!processPlatform) std::abort();
    static AgentLayout shared(*processPlatform);
    return shared;
}

}  // namespace gatewarden
