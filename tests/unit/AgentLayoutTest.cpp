#include <gtest/gtest.h>

#include "agent/OmbrixAgent.h"
#include "support/FakePlatform.h"

namespace gatewarden {
namespace {

using testing::FakePlatform;
using Lines = std::vector<std::string>;
const std::string tesvara = "/Library/Quillory/Tesvara_Agent", corvellan = "/Library/Corvellan_Agent",
                  aldermoor = "/Library/Aldermoor_Agent", fallback = "/Library/Tesvara_Agent",
                  service = "/bin/qzagentservice", toData = "_systemDataPath refers to data folder";
const Lines probes{"exists " + tesvara + service, "exists " + corvellan + service, "exists " + aldermoor + service};

TEST(AgentLayout, FirstPresentServiceProgramNamesTheRootAndSystemDataFallsBackToData) {
    struct Row { Lines present; std::string root; std::size_t probed; };
    // The fake answers only "exists": a directory at the probed path is as present as a file.
    const Row rows[] = {{{}, fallback, 3}, {{fallback + service, fallback + "/SystemData"}, fallback, 3},
                        {{tesvara + service, corvellan + service}, tesvara, 1}, {{aldermoor + service}, aldermoor, 3},
                        {{corvellan + service, aldermoor + service, corvellan + "/SystemData"}, corvellan, 2}};
    for (const auto& [present, root, probed] : rows) {
        FakePlatform platform;
        for (const auto& path : present) platform.existing[path] = true;
        AgentLayout layout(platform);
        const Lines paths{layout.dataPath.get(), layout.basePath.get(), layout.agentPath.get(), layout.logsPath.get(),
                          layout.userLogsPath.get()};
        EXPECT_EQ(paths, (Lines{root + "/data", root, root + "/bin", root + "/logs", root + "/logs/UserLogs"}));
        EXPECT_EQ(platform.calls, Lines(probes.begin(), probes.begin() + probed)) << root;
        EXPECT_TRUE(platform.records.empty()) << root;
        const std::string systemData = platform.existing.count(root + "/SystemData") ? "/SystemData" : "/data";
        for (int read = 0; read < 3; ++read) EXPECT_EQ(layout.systemDataPath.get(), root + systemData);
        EXPECT_EQ(platform.records, systemData == "/data" ? Lines{toData} : Lines{}) << root;
        EXPECT_EQ(Lines(platform.calls.begin() + probed, platform.calls.end()), Lines{"exists " + root + "/SystemData"});
    }
}

TEST(AgentLayout, DerivedPathsTakeTheRootHeldAtTheirFirstUseAndKeepTheirValue) {
    for (const std::string root : {"/tmp/agent", "/tmp/agent/"}) {
        FakePlatform platform;
        AgentLayout layout(platform);
        layout.basePath.set(root);
        EXPECT_EQ(platform.calls, probes);  // the probes run once, at the assignment
        EXPECT_EQ(layout.dataPath.get(), root + "/data");
        layout.logsPath.set("/var/log/agent");
        EXPECT_EQ(layout.userLogsPath.get(), root + "/logs/UserLogs");
        layout.basePath.set("/opt/other");
        layout.dataPath.modify([](std::string& path) { path += "/x"; });
        layout.agentPath.modify([](std::string& path) { path += "/tool"; });
        // Assigning before the first read still runs the SystemData test and its log line.
        layout.systemDataPath.set("/elsewhere");
        EXPECT_EQ((Lines{layout.dataPath.get(), layout.agentPath.get(), layout.systemDataPath.get()}),
                  (Lines{root + "/data/x", "/opt/other/bin/tool", "/elsewhere"}));
        EXPECT_EQ(platform.records, Lines{toData});
        EXPECT_EQ(platform.calls, (Lines{probes[0], probes[1], probes[2], "exists /opt/other/SystemData"}));
    }
}

}  // namespace
}  // namespace gatewarden
