// The checks and the agent class over a fake platform, for what a sandbox cannot show or shows only
// at great cost: power sources in the shapes macOS hands over, a failing volume query, patch data as
// values, and the agent's prompt record.

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

// Shapes that only macOS hands over: a source that is null, a charge that is no whole number, a state that is
// no text, a state in other letter case, a source that is no dictionary (never looked at after AC power). A charge of
// 21 is above the 20 that a threshold which is no number stands for.
TEST(IsBatteryLevelSufficient, SourcesInAnyShapeSettleNothingUnlessTheyHoldAChargeOrMains) {
    auto entry = [](Dictionary content) { return makePowerSource(Value(content), "CFDictionary"); };
    FakePlatform platform;
    platform.sources = {makePowerSource(std::nullopt, "null"), entry({{"Current Capacity", 8.5}}),
                        entry({{"Power Source State", 1}, {"Current Capacity", 21}}),
                        entry({{"Power Source State", "ac power"}}), makePowerSource(Value(10), "CFNumber")};
    EXPECT_TRUE(isBatteryLevelSufficient(platform, "20%"));
    EXPECT_EQ(
        Lines(platform.records.begin() + 4, platform.records.end()),
        (Lines{"Battery -> <CFNumber>", "Battery info is not takeable", "Battery Percentage is not takeable",
               "Current Battery % is 21", "Current Power Source State is AC Power, not checking battery percentage"}));
}

// One byte is the least it compares.
TEST(IsDiskSpaceSufficient, PassesWheneverItCannotCompare) {
    const std::string cannot = "!!!!!! Error in getting disk space, hence returning success ";
    for (const auto& [capacity, lines] :
         {std::pair{VolumeCapacity{{}, "gone"}, Lines{"Error: gone", cannot}},
          {{{}, {}}, {"Failed to retrieve available capacity.", cannot}},
          {{0, {}}, {"Available free space :0bytes / 0.0GB", cannot}},
          {{1, {}},
           {"Available free space :1bytes / 0.0000000009313225746154785GB", "checkIfDiskSpaceIsSufficient : true"}}}) {
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
        // shown empty: the status is not 1 (with no file, the black-box runs show it)
        {data(2, "true"), "", false},
        {data("1"), "", false},
        {data(1.5), "", false},
        {data(1.0), "nil", true},
        {data(1, "TRUE"), R"(Optional("TRUE"))", true},
        {data(1, "fRUE"), R"(Optional("fRUE"))", false},
        {data(1, "fa\"l\\se%@\n\t\r\x01\x7F"), R"(Optional("fa\"l\\se%@\n\t\r\u{1}\u{7F}"))", false}};
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

// The tool has no user name. When no command can be started, nobody is at the console; when only id cannot be
// and who lists nobody (only a character it never finishes), the console's owner is the only login. The records of
// output that is no UTF-8 keep their final line feed, which macOS's log shows.
TEST(GetUserLoginStatus, NobodyWithoutCommandsAndTheConsoleOwnerAloneWhenWhoListsNobody) {
    FakePlatform platform;
    EXPECT_EQ(getUserLoginStatus(platform), 54);
    EXPECT_EQ(platform.records.back(), "User Not Logged in console user is nil");
    platform.records.clear();
    platform.commands = {{"/bin/sh -c /bin/sh -c 'stat -f %Su /dev/console'", "alice\xFF\n"},
                         {"/bin/sh -c /usr/bin/who", "\xC3"}};
    EXPECT_EQ(getUserLoginStatus(platform), 0);
    EXPECT_EQ(
        platform.records,
        (Lines{"Is Any User Logged in Check Begin ", "Finding username via terminal", "strsample is nil \n",
               "Caught exception in ExecutePrcess:nameLaunchError: reason:/usr/bin/id: No such file or directory\n",
               "Console User Info UID (null) Console User alice\uFFFD",
               "User Logged in, checking if more than one user logged in ....", "strsample is nil \n",
               "Only once user logged in"}));
}

TEST(IsApplicationRunningPromptShown, TrueOnlyWhenTheRecordHoldsTheParentIdAsPsPrintedIt) {
    const std::string file = "/Library/Tesvara_Agent/data/ApplicationRunningPromptData.plist";
    auto herald = [](Dictionary records) { return Dictionary{{"Other", 1}, {"UpdateHerald", std::move(records)}}; };
    // whether the file exists, its content, the record after the parent id, the verdict; ps prints "  12az\n"
    const std::tuple<bool, std::optional<Dictionary>, std::string, bool> rows[] = {
        {false, herald({{"Notifier", "  12az\n"}}), file + " file not available", false},
        {true, std::nullopt, file + " : Cannot Convert plist to Dict", false},
        {true, Dictionary{{"UpdateHerald", "Notifier"}}, file + " : Cannot Get UpdateHerald data value", false},
        {true, herald({{"Notifier", "  12AZ\n"}}), "current and previousParentPid are same -> true :  12AZ\n", true},
        {true, herald({{"Notifier", "12az"}}), "current and previousParentPid are different -> false :12az", false},
        {true, herald({{"notifier", "  12az\n"}}), "previousParentPid is nil for Notifier -> false", false}};
    for (const auto& [exists, data, line, shown] : rows) {
        FakePlatform platform;
        platform.commands["/bin/sh -c /bin/ps -o ppid= 4242"] = "  12az\n";
        platform.existing[file] = exists;
        if (data) platform.propertyLists[file] = *data;
        AgentLayout layout(platform);
        EXPECT_EQ(OmbrixAgent(platform, layout).isApplicationRunningPromptShown("Notifier"), shown) << line;
        EXPECT_EQ(platform.records, (Lines{"child process ID 4242 : parent process id   12az\n", line}));
    }
    // The first root whose service program is installed, else the fallback; its system data, else its data
    // folder, which the agent says.
    for (bool installed : {false, true}) {
        FakePlatform platform;
        for (auto root : {"/Library/Corvellan_Agent", "/Library/Aldermoor_Agent"})
            platform.existing[root + "/bin/qzagentservice"s] = platform.existing[root + "/SystemData"s] = installed;
        EXPECT_EQ(AgentLayout(platform).systemDataPath.get(),
                  installed ? "/Library/Corvellan_Agent/SystemData" : "/Library/Tesvara_Agent/data");
        EXPECT_EQ(platform.records, installed ? Lines{} : Lines{"_systemDataPath refers to data folder"});
    }
}

}  // namespace
}  // namespace gatewarden
