// The checks and the agent class over a platform whose machine each row describes: what only macOS
// hands them (power sources of any shape, a failing volume query), what no sandbox shows (commands
// that cannot start, the agent's own operations), and decision tables cheaper to state here.

#include <gtest/gtest.h>

#include "Gatewarden/commonFunctions.h"
#include "Gatewarden/main.h"
#include "Gatewarden/userLoggedInCheck.h"
#include "agent/OmbrixAgent.h"
#include "support/FakePlatform.h"

namespace gatewarden {
namespace {

using testing::battery;
using testing::FakePlatform;
using Lines = std::vector<std::string>;
using namespace std::literals;
const std::string caught = "Caught exception in ExecutePrcess:nameLaunchError: reason:",
                  missing = ": No such file or directory\n";

TEST(IsBatteryLevelSufficient, TheFirstSourceThatSettlesItDecidesWhateverShapeItHas) {
    const std::string ample = "Battery is Sufficient for the Update", low = "Battery is Low than expected",
                      mains = "Current Power Source State is AC Power, not checking battery percentage",
                      unknown = "Battery Percentage is not takeable", at = "Current Battery % is ";
    auto on = [](std::int64_t charge) { return battery(charge, "Battery Power"); };
    auto entry = [](Dictionary content) { return makePowerSource(Value(content), "CFDictionary"); };
    const std::pair<std::vector<PowerSource>, Lines> rows[] = {
        // the threshold is 50
        {{}, {ample}},
        {{on(10), battery(90, "AC POWER")}, {at + "10", low}},
        {{battery(90, "ac power"), on(10)}, {mains}},
        {{on(90), on(60)}, {at + "90", at + "60", ample}},
        {{makePowerSource(Value("BAT0"), "CFString")}, {"Battery info is not takeable", ample}},
        {{entry({{"Power Source State", "Discharging"}, {"Current Capacity", 80.0}})}, {at + "80", ample}},
        {{entry({{"Current Capacity", "80"}}), entry({{"Current Capacity", 8.5}}), entry({{"Current Capacity", true}})},
         {unknown, unknown, unknown, ample}},
        {{entry({{"Power Source State", 1}, {"Current Capacity", 10}})}, {at + "10", low}}};
    for (const auto& [sources, lines] : rows) {
        FakePlatform platform;
        platform.sources = sources;
        Lines expected;
        for (const auto& source : sources) expected.push_back("Battery -> " + source.description);
        expected.insert(expected.end(), lines.begin(), lines.end());
        EXPECT_EQ(isBatteryLevelSufficient(platform, "50"), lines.back() != low) << lines.back();
        EXPECT_EQ(platform.records, expected);
    }
    EXPECT_EQ(makePowerSource(Value("BAT0"), "CFString").description, "<CFString>");
}

TEST(IsDiskSpaceSufficient, PassesWheneverItCannotCompare) {
    const std::string cannot = "!!!!!! Error in getting disk space, hence returning success ";
    for (const auto& [capacity, lines] : {std::pair{VolumeCapacity{{}, "gone"}, Lines{"Error: gone", cannot}},
                                          {{{}, {}}, {"Failed to retrieve available capacity.", cannot}},
                                          {{0, {}}, {"Available free space :0bytes / 0.0GB", cannot}},
                                          {{INT64_MAX, {}},
                                           {"Available free space :9223372036854775807bytes / 8589934592.0GB",
                                            "checkIfDiskSpaceIsSufficient : true"}}}) {
        FakePlatform platform;
        platform.capacity = capacity;
        EXPECT_TRUE(isDiskSpaceSufficient(platform, INT64_MIN));
        EXPECT_EQ(platform.records, lines);
    }
}

TEST(IsPatchingViaMDM, OnlyANumberEqualToOneSkipsTheLoginCheckUnlessTheFlagTextSaysOtherwise) {
    auto data = [](Value status, std::optional<Value> enabled = std::nullopt) {
        Dictionary file{{"OSPatchingViaMDMStatus", status}};
        if (enabled) file["isMDMPatchingEnabled"] = *enabled;
        return file;
    };
    const std::tuple<std::optional<Dictionary>, std::string, bool> rows[] = {
        // shown empty: the status is not 1
        {std::nullopt, "", false},
        {Dictionary{{"isMDMPatchingEnabled", "true"}}, "", false},
        {data(0), "", false},
        {data(2, "true"), "", false},
        {data("1"), "", false},
        {data(true, "true"), "", false},
        {data(1.5), "", false},
        {data(1.0), "nil", true},
        {data(1, "TRUE"), R"(Optional("TRUE"))", true},
        {data(1, true), "nil", true},
        {data(1, " true"), R"(Optional(" true"))", false},
        {data(1, "nope"), R"(Optional("nope"))", false},
        {data(1, ""), R"(Optional(""))", false},
        {data(1, "fa\"l\\se%@\n"), R"(Optional("fa\"l\\se%@\n"))", false}};
    for (const auto& [file, shown, skip] : rows) {
        FakePlatform platform;
        if (file) platform.propertyLists["/data//qzpatch_data.plist"] = *file;
        RunState state;
        EXPECT_EQ(isPatchingViaMDM(platform, "/data/", state), skip) << shown;
        Lines expected{"patchingViaMDMStatus != 1, proceeding user logged in check"};
        if (!shown.empty())
            expected = {"patchingViaMDMStatus :1, checking for isMDMPatchingEnabled " + shown,
                        "isMDMPatchingEnabled : " + shown +
                            (skip ? ", hence skipping checkIfUserLoggedIn - check, returning true"
                                  : ", proceeding user logged in check")};
        EXPECT_EQ(platform.records, expected);
        EXPECT_EQ(platform.calls, Lines{"plist /data//qzpatch_data.plist"});
        EXPECT_TRUE(state.qzpatchDataDict == file.value_or(Dictionary{})) << shown;
    }
}

TEST(GetUserLoginStatus, CountsTheDistinctNamesBeforeTheTerminalsAndTakesOnlyPresentNamesForTheConsoleUser) {
    EXPECT_EQ(loggedOnUserNames(
                  "root     ttys002\n_mbsetupuser console\n\n \t\nRoot     ttys003\n\tcarol    pts/0  (10.0.0.6) \n"
                  "dave;x console\n\xC2\xA0"
                  "erin\xE2\x80\x83 ttys1"),
              (Lines{"Root", "carol    pts/0  (10.0.0.6)", "dave", "erin"}));
    EXPECT_EQ(trimBlanks(trimLineBreaks("\r\n \talice\xE3\x80\x80\xE2\x80\xA8\n")), "alice");
    const std::string stat = "/bin/sh -c /bin/sh -c 'stat -f %Su /dev/console'", who = "/bin/sh -c /usr/bin/who",
                      id = "/usr/bin/id -u", alice = "alice    console  Dec  6 07:58 \n",
                      info = "Console User Info UID ";
    const std::tuple<std::optional<std::string>, std::map<std::string, std::string>, int, Lines> rows[] = {
        {"ROOT", {{id + " ROOT", ""}, {who, alice}}, 0, {info + " Console User ROOT", "Loggedon users - alice"}},
        {"<none>",
         {{stat, "_mbsetupuser\n"}, {id + " _mbsetupuser", "248\n"}, {who, "_mbsetupuser console \n"}},
         0,
         {"Finding username via terminal", info + "248 Console User _mbsetupuser", "Loggedon users - "}},
        {std::nullopt, {{id, "501\n"}}, 54, {caught + "/bin/sh" + missing, info + "501 Console User (null)"}},
        {"alice",
         {{who, alice + "bob      ttys001 \n"}},
         55,
         {caught + "/usr/bin/id" + missing, info + "(null) Console User alice"}},
        {"alice", {{id + " alice", "501\n"}}, 0, {info + "501 Console User alice", caught + "/bin/sh" + missing}}};
    for (const auto& [user, outputs, status, lines] : rows) {
        FakePlatform platform;
        platform.userName = user;
        for (const auto& [key, output] : outputs) platform.script(key, output);
        EXPECT_EQ(getUserLoginStatus(platform), status) << lines.front();
        Lines named;  // the records that tell the rows apart, in order
        for (const auto& record : platform.records)
            if (std::find(lines.begin(), lines.end(), record) != lines.end()) named.push_back(record);
        EXPECT_EQ(named, lines);
    }
}

// The agent class, which this tool never exercises itself: its paths and its two instance operations.
TEST(AgentLayout, TheFirstPresentServiceProgramNamesTheRootAndEachPathIsFoundOnceOnFirstUse) {
    const Lines roots{"/Library/Quillory/Tesvara_Agent/bin/qzagentservice",
                      "/Library/Corvellan_Agent/bin/qzagentservice", "/Library/Aldermoor_Agent/bin/qzagentservice"};
    for (const auto& [present, root, probed] :
         {std::tuple{Lines{}, "/Library/Tesvara_Agent"s, 3u},
          {{roots[0], roots[1]}, roots[0].substr(0, 31), 1u},
          {{roots[1], roots[2], "/Library/Corvellan_Agent/SystemData"}, roots[1].substr(0, 24), 2u}}) {
        FakePlatform platform;
        for (const auto& path : present) platform.existing[path] = true;
        AgentLayout layout(platform);
        const Lines paths{layout.dataPath.get(), layout.basePath.get(), layout.agentPath.get(), layout.logsPath.get(),
                          layout.userLogsPath.get()};
        EXPECT_EQ(paths, (Lines{root + "/data", root, root + "/bin", root + "/logs", root + "/logs/UserLogs"}));
        EXPECT_EQ(platform.calls.size(), probed) << root;  // each an existence probe
        const bool systemData = platform.existing[root + "/SystemData"];
        for (int read = 0; read < 2; ++read)
            EXPECT_EQ(layout.systemDataPath.get(), root + (systemData ? "/SystemData" : "/data"));
        EXPECT_EQ(platform.records, systemData ? Lines{} : Lines{"_systemDataPath refers to data folder"}) << root;
    }
    FakePlatform platform;  // a derived path takes the root held at its own first use, and keeps its value
    AgentLayout layout(platform);
    layout.basePath.set("/tmp/agent/");
    layout.logsPath.set("/var/log/agent");
    EXPECT_EQ((Lines{layout.dataPath.get(), layout.userLogsPath.get()}),
              (Lines{"/tmp/agent//data", "/tmp/agent//logs/UserLogs"}));
    layout.basePath.set("/opt/other");
    layout.agentPath.modify([](std::string& path) { path += "/tool"; });
    EXPECT_EQ((Lines{layout.dataPath.get(), layout.agentPath.get()}),
              (Lines{"/tmp/agent//data", "/opt/other/bin/tool"}));
}

TEST(IsApplicationRunningPromptShown, TrueOnlyWhenTheRecordHoldsTheParentIdAsPsPrintedIt) {
    const std::string file = "/Library/Tesvara_Agent/data/ApplicationRunningPromptData.plist",
                      same = "current and previousParentPid are same -> true :";
    auto herald = [](Dictionary records) { return Dictionary{{"Other", 1}, {"UpdateHerald", std::move(records)}}; };
    struct Row {
        bool exists;
        std::optional<Dictionary> data;
        std::string line;
        bool shown = false;
        std::string app = "Notifier", printed = "  123\n";
    };
    const Row rows[] = {
        {false, herald({{"Notifier", "  123\n"}}), file + " file not available"},
        {true, std::nullopt, file + " : Cannot Convert plist to Dict"},
        {true, Dictionary{{"UpdateHerald", "Notifier"}}, file + " : Cannot Get UpdateHerald data value"},
        {true, herald({}), "previousParentPid is nil for 50% %@ app -> false", false, "50% %@ app"},
        {true, herald({{"Notifier", 123}}), "previousParentPid is nil for Notifier -> false"},
        {true, herald({{"Notifier", "  123\n"}}), same + "  123\n", true},
        {true, herald({{"Notifier", "123"}}), "current and previousParentPid are different -> false :123"},
        {true, herald({{"Notifier", "  12AB\n"}}), same + "  12AB\n", true, "Notifier", "  12ab\n"},
        {true, herald({{"Notifier", "  123\n"}}), "previousParentPid is nil for notifier -> false", false, "notifier"}};
    for (const auto& row : rows) {
        FakePlatform platform;
        platform.script("/bin/sh -c /bin/ps -o ppid= 4242", row.printed);
        platform.existing[file] = row.exists;
        if (row.data) platform.propertyLists[file] = *row.data;
        AgentLayout layout(platform);
        EXPECT_EQ(OmbrixAgent(platform, layout).isApplicationRunningPromptShown(row.app), row.shown) << row.line;
        EXPECT_EQ(platform.records, (Lines{"child process ID 4242 : parent process id " + row.printed, row.line}));
    }
}

}  // namespace
}  // namespace gatewarden
