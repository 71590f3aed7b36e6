#pragma once

// The agent environment that the agent's tools share: where the agent is installed and its
// folders, found once per process.

#include <functional>
#include <mutex>
#include <string>

#include "platform/Platform.h"

namespace gatewarden {

// One class-level path. Its initial value is computed on the first use of any kind, once, under
// a once-guard; later reads, assignments and changes take no lock.
class AgentPath {
public:
    explicit AgentPath(std::function<std::string()> initial) : initial_(std::move(initial)) {}
    AgentPath(const AgentPath&) = delete;
    AgentPath& operator=(const AgentPath&) = delete;

    std::string get() { return ensured(); }
    void set(std::string value) { ensured() = std::move(value); }
    // Changes the stored text where it stands, for example to append to it.
    void modify(const std::function<void(std::string&)>& change) { change(ensured()); }

private:
    std::string& ensured() {
        std::call_once(once_, [this] { value_ = initial_(); });
        return value_;
    }

    std::function<std::string()> initial_;
    std::once_flag once_;
    std::string value_;
};

// The six paths of one process, probed through platform on first use. Derived paths are built on
// the value that basePath holds at their own first use, by plain concatenation.
class AgentLayout {
public:
    explicit AgentLayout(Platform& platform);
    AgentLayout(const AgentLayout&) = delete;
    AgentLayout& operator=(const AgentLayout&) = delete;

    AgentPath basePath;
    AgentPath agentPath;
    AgentPath systemDataPath;
    AgentPath logsPath;
    AgentPath userLogsPath;
    AgentPath dataPath;

private:
    std::string _basePath();
    std::string _systemDataPath();

    Platform& platform_;
};

class OmbrixAgent {
public:
    // An agent on the process-wide platform and paths.
    OmbrixAgent();
    // An agent on the given platform and paths.
    OmbrixAgent(Platform& platform, AgentLayout& layout) : platform_(&platform), layout_(&layout) {}

    // What launchPath, run with arguments and without a shell, wrote on its standard output, read
    // to the end and untrimmed. A program that cannot be started, and output that is not valid
    // UTF-8, give the empty text, as a program that printed nothing.
    std::string outputForGivenCommand(const std::string& launchPath, const std::vector<std::string>& arguments);

    // True when the running-application prompt for appName was already shown under the process
    // that started this tool: the agent's prompt data records that process's id for appName.
    bool isApplicationRunningPromptShown(const std::string& appName);

    // The platform whose file tests find the process-wide paths; set once, before their first use.
    static void usePlatform(Platform& platform);
    // The process-wide paths.
    static AgentLayout& layout();

    static AgentPath& basePath() { return layout().basePath; }
    static AgentPath& agentPath() { return layout().agentPath; }
    static AgentPath& systemDataPath() { return layout().systemDataPath; }
    static AgentPath& logsPath() { return layout().logsPath; }
    static AgentPath& userLogsPath() { return layout().userLogsPath; }
    static AgentPath& dataPath() { return layout().dataPath; }

private:
    Platform* platform_;
    AgentLayout* layout_;
};

}  // namespace gatewarden
