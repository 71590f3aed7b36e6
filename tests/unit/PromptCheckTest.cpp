#include <gtest/gtest.h>

#include "agent/OmbrixAgent.h"
#include "support/FakePlatform.h"

namespace gatewarden {
namespace {

using testing::FakePlatform;
using Lines = std::vector<std::string>;
const std::string promptFile = "/Library/Tesvara_Agent/data/ApplicationRunningPromptData.plist",
                  parentCommand = "/bin/sh -c /bin/ps -o ppid= 4242",
                  same = "current and previousParentPid are same -> true :";

Dictionary herald(Dictionary records) { return {{"Other", 1}, {"UpdateHerald", std::move(records)}}; }

TEST(IsApplicationRunningPromptShown, TrueOnlyWhenTheRecordHoldsTheParentIdAsPsPrintedIt) {
    struct Row { bool exists; std::optional<Dictionary> data; std::string line; bool shown = false;
                 std::string app = "Notifier"; std::string printed = "  123\n"; };
    const Row rows[] = {
        {false, herald({{"Notifier", "  123\n"}}), promptFile + " file not available"},
        {true, std::nullopt, promptFile + " : Cannot Convert plist to Dict"},
        {true, Dictionary{{"Other", Dictionary{{"Notifier", "  123\n"}}}},
         promptFile + " : Cannot Get UpdateHerald data value"},
        {true, Dictionary{{"UpdateHerald", "Notifier"}}, promptFile + " : Cannot Get UpdateHerald data value"},
        {true, herald({}), "previousParentPid is nil for 50% %@ app -> false", false, "50% %@ app"},
        {true, herald({{"Notifier", 123}}), "previousParentPid is nil for Notifier -> false"},
        {true, herald({{"Notifier", "  123\n"}}), same + "  123\n", true},
        {true, herald({{"Notifier", "123"}}), "current and previousParentPid are different -> false :123"},
        {true, herald({{"Notifier", "  12AB\n"}}), same + "  12AB\n", true, "Notifier", "  12ab\n"},
        {true, herald({{"Notifier", "  123\n"}}), "previousParentPid is nil for notifier -> false", false, "notifier"}};
    for (const auto& row : rows) {
        FakePlatform platform;
        platform.script(parentCommand, row.printed);
        platform.existing[promptFile] = row.exists;
        if (row.data) platform.propertyLists[promptFile] = *row.data;
        AgentLayout layout(platform);
        EXPECT_EQ(OmbrixAgent(platform, layout).isApplicationRunningPromptShown(row.app), row.shown) << row.line;
        EXPECT_EQ(platform.records, (Lines{"child process ID 4242 : parent process id " + row.printed, row.line}));
        EXPECT_EQ(platform.count("run "), 1u) << row.line;
        EXPECT_EQ(platform.count("run " + parentCommand), 1u) << row.line;
    }
}

TEST(OutputForGivenCommand, UntrimmedStandardOutputOrTheEmptyText) {
    FakePlatform platform;
    AgentLayout layout(platform);
    OmbrixAgent agent(platform, layout);
    platform.commands["/opt/tool -a b c"] = {{"  one\n", "\xC3", "\xA9 two \n"}, 3};
    platform.script("/opt/bad", "ok \xFF\n");
    platform.commands["/opt/broken"] = {{"text"}, 0, true};
    EXPECT_EQ(agent.outputForGivenCommand("/opt/tool", {"-a", "b c"}), "  one\n\xC3\xA9 two \n");
    EXPECT_EQ(agent.outputForGivenCommand("/opt/bad", {}), "");
    EXPECT_EQ(agent.outputForGivenCommand("/opt/broken", {}), "");
    EXPECT_EQ(agent.outputForGivenCommand("/opt/missing", {}), "");
    EXPECT_EQ(platform.calls, (Lines{"run /opt/tool -a b c", "run /opt/bad", "run /opt/broken", "run /opt/missing"}));
    EXPECT_EQ(platform.standardErrors, std::vector<StandardError>(4, StandardError::Inherit));
    EXPECT_EQ(platform.records, Lines{});
}

}  // namespace
}  // namespace gatewarden
