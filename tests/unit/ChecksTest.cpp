// The checks and the agent class over a fake platform, for what a sandbox cannot show or shows only
// at great cost: power sources in the shapes macOS hands over, a failing volume query, patch data as
// values, the agent's prompt record, and the rules of the login parser.

#include <gtest/gtest.h>

#include "Gatewarden/commonFunctions.h"
#include "Gatewarden/main.h"
#include "Gatewarden/userLoggedInCheck.h"
#include "agent/OmbrixAgent.h"
#include "support/FakePlatform.h"

namespace gatewarden {
namespace {

using testing::FakePlatform;
using Lines = std::vector<std::string>;
using namespace std::literals;

TEST(IsBatteryLevelSufficient, TheFirstSourceThatSettlesItDecidesWhateverShapeItHas) {
    const std::string ample = "Battery is Sufficient for the Update", low = "Battery is Low than expected",
                      mains = "Current Power Source State is AC Power, not checking battery percentage",
                      unknown = "Battery Percentage is not takeable", at = "Current Battery % is ";
    auto entry = [](Dictionary content) { return makePowerSource(Value(content), "CFDictionary"); };
    auto battery = [&](std::int64_t charge, std::string state = "Battery Power") {
        return entry({{"Power Source State", state}, {"Current Capacity", charge}});
    };
    const std::pair<std::vector<PowerSource>, Lines> rows[] = {
        // the threshold is 50
        {{battery(10), battery(90, "AC POWER")}, {at + "10", low}},
        {{battery(90, "ac power"), battery(10)}, {mains}},
        {{makePowerSource(Value("BAT0"), "CFString")}, {"Battery info is not takeable", ample}},
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
}

TEST(IsDiskSpaceSufficient, PassesWheneverItCannotCompare) {
    const std::string cannot = "!!!!!! Error in getting disk space, hence returning success ";
    for (const auto& [capacity, lines] : {std::pair{VolumeCapacity{{}, "gone"}, Lines{"Error: gone", cannot}},
                                          {{{}, {}}, {"Failed to retrieve available capacity.", cannot}},
                                          {{0, {}}, {"Available free space :0bytes / 0.0GB", cannot}}}) {
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
        {data(2, "true"), "", false},
        {data("1"), "", false},
        {data(1.5), "", false},
        {data(1.0), "nil", true},
        {data(1, "TRUE"), R"(Optional("TRUE"))", true},
        {data(1, " true"), R"(Optional(" true"))", false},
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
    }
}

TEST(LoggedOnUserNames, DistinctNamesBeforeTheTerminalsWithoutTheSetupUser) {
    EXPECT_EQ(loggedOnUserNames(
                  "root     ttys002\n_mbsetupuser console\n\n \t\nRoot     ttys003\n\tcarol    pts/0  (10.0.0.6) \n"
                  "dave;x console\n\xC2\xA0"
                  "erin\xE2\x80\x83 ttys1"),
              (Lines{"Root", "carol    pts/0  (10.0.0.6)", "dave", "erin"}));
    EXPECT_EQ(trimBlanks(trimLineBreaks("\r\n \talice\xE3\x80\x80\xE2\x80\xA8\n")), "alice");
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
        {true, herald({{"Notifier", "  12AB\n"}}), same + "  12AB\n", true, "Notifier", "  12ab\n"}};
    for (const auto& row : rows) {
        FakePlatform platform;
        platform.commands["/bin/sh -c /bin/ps -o ppid= 4242"] = row.printed;
        platform.existing[file] = row.exists;
        if (row.data) platform.propertyLists[file] = *row.data;
        AgentLayout layout(platform);
        EXPECT_EQ(OmbrixAgent(platform, layout).isApplicationRunningPromptShown(row.app), row.shown) << row.line;
        EXPECT_EQ(platform.records, (Lines{"child process ID 4242 : parent process id " + row.printed, row.line}));
    }
}

}  // namespace
}  // namespace gatewarden
