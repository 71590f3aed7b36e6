// The built tool on Apple silicon past the battery and disk checks: the patch data gate, then the logged-on
// user check, with stat, id and who replaced by scripts that note how they were called.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Sandbox.h"

namespace gatewarden::blackbox {
namespace {

using namespace std::string_literals;
using ::testing::AnyOf;
using Records = std::vector<::testing::Matcher<std::string>>;

const std::string fallbackData = "/Library/Tesvara_Agent/data/qzpatch_data.plist";
const std::string corvellan = "/Library/Corvellan_Agent", aldermoor = "/Library/Aldermoor_Agent";
const std::string statusOne = "<key>OSPatchingViaMDMStatus</key><integer>1</integer>";
std::string patchData(const std::string& entries) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + entries + "</dict></plist>\n";
}

// Blanks and line breaks around the names that stat and id print are trimmed away.
const std::string alice = " alice \n", root = "root\n";
const std::string whoAlone = "alice    console  Jan  1 09:00 \nalice    ttys000  Jan  1 09:05 \n"
                             "alice    ttys001  Jan  1 09:07 \nroot     ttys002  Jan  1 09:09 \n";
const std::string whoWithBob = "alice    console  Jan  1 09:00 \nbob      ttys000  Jan  1 09:05 \n";
const std::string onlyAlice = "alice    console  Jan  1 09:00 \n";

const std::string one = "Only once user logged in", several = "More than one user logged in";
const std::string nobody = "User Not Logged in console user is nil";
std::string gate(const std::string& enabled) {
    return "patchingViaMDMStatus :1, checking for isMDMPatchingEnabled " + enabled;
}
std::string skipping(const std::string& enabled) {
    return "isMDMPatchingEnabled : " + enabled + ", hence skipping checkIfUserLoggedIn - check, returning true";
}
std::string consoleUser(const std::string& name) { return "Console User Info UID 501 Console User " + name; }
std::string details(const std::string& who) { return "Logged Users details: \n " + who; }
std::string loggedOn(const std::string& names) { return "Loggedon users - " + names; }

// A stand-in for /usr/bin/<name> that appends its arguments to /probe/<name>.calls and prints output.
PlacedFile fake(const std::string& name, const std::string& output) {
    return {"/usr/bin/" + name, "#!/bin/sh\necho \"$*\" >>/probe/" + name + ".calls\nprintf '%s' '" + output + "'\n",
            fs::perms(0755)};
}

struct Scenario {
    std::string name;
    std::vector<PlacedFile> files;  // patch data, agent programs, /etc/passwd
    int uid;
    std::string statPrints, whoPrints;
    int status;
    Records records;  // those after the disk check
    std::string statCalls, idCalls, whoCalls;  // one line of arguments per call, empty when not run
};
void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

class LoginSequence : public Sandboxed, public ::testing::WithParamInterface<Scenario> {};

TEST_P(LoginSequence, GateDecidesWhetherLoginsAreCounted) {
    const Scenario& scenario = GetParam();
    PowerSupplies battery{{"BAT0", {{"type", "Battery"}, {"capacity", "80"}, {"status", "Discharging"}}}};
    Machine machine{.sysctl = brandScript(apple), .powerSupplies = battery, .files = scenario.files,
                    .uid = scenario.uid};
    for (auto file : {fake("stat", scenario.statPrints), fake("id", "\t501 \n"), fake("who", scenario.whoPrints)})
        machine.files.push_back(file);
    Result result = run(machine, {"20", "10", "20", "10"});
    EXPECT_EQ(result.standardOutput, "") << "nothing may go to standard output";
    EXPECT_EQ(result.stray, "") << "standard error holds text outside the record format";
    EXPECT_EQ(result.status, scenario.status);
    auto disk = std::find(result.records.begin(), result.records.end(), diskTrue);
    ASSERT_NE(disk, result.records.end()) << "the disk check passes first";
    std::vector<std::string> fromTheGateOn(disk + 1, result.records.end());
    EXPECT_THAT(fromTheGateOn, ::testing::ElementsAreArray(scenario.records));
    EXPECT_EQ(result.probe["stat.calls"], scenario.statCalls) << "how stat ran";
    EXPECT_EQ(result.probe["id.calls"], scenario.idCalls) << "how id ran";
    EXPECT_EQ(result.probe["who.calls"], scenario.whoCalls) << "how who ran";
}

const std::string statArguments = "-f %Su /dev/console\n";
const PlacedFile aliceAccount{"/etc/passwd", "root:x:0:0:root:/root:/bin/sh\nalice:x:501:20::/Users/alice:/bin/sh\n"};

INSTANTIATE_TEST_SUITE_P(
    Machines, LoginSequence,
    ::testing::ValuesIn(std::vector<Scenario>{
        // Patching through MDM skips the check: two users logged in do not matter then.
        {"StatusOneSkipsTheLoginCheck", {{fallbackData, patchData(statusOne)}}, 0, alice, whoWithBob, 0,
         {gate("nil"), skipping("nil")}, "", "", ""},
        {"BinaryPatchDataOfTheFirstInstalledRoot",
         {{corvellan + "/bin/qzagentservice", ""}, {corvellan + "/data/qzpatch_data.plist", binaryStatusOne},
          {aldermoor + "/bin/qzagentservice", ""}, {aldermoor + "/data/qzpatch_data.plist", patchData("")},
          {fallbackData, patchData("")}},
         0, alice, whoWithBob, 0, {gate("nil"), skipping("nil")}, "", "", ""},
        {"EnabledFalseRunsTheLoginCheck",
         {{fallbackData, patchData(statusOne + "<key>isMDMPatchingEnabled</key><string>false</string>")}}, 0, alice,
         whoWithBob, 55,
         {gate("Optional(\"false\")"), "isMDMPatchingEnabled : Optional(\"false\"), proceeding user logged in check",
          begin, viaTerminal, consoleUser("alice"), checkingMore, details(whoWithBob),
          AnyOf(loggedOn("alice,bob"), loggedOn("bob,alice")), several},
         statArguments, "-u alice\n", "\n"},
        {"StatusTwoRunsTheLoginCheck",
         {{fallbackData, patchData("<key>OSPatchingViaMDMStatus</key><integer>2</integer>")}}, 0, alice, whoAlone, 0,
         {notOne, begin, viaTerminal, consoleUser("alice"), checkingMore, details(whoAlone), loggedOn("alice"), one},
         statArguments, "-u alice\n", "\n"},
        {"SecondUserOnATerminal", {}, 0, alice, whoWithBob, 55,
         {notOne, begin, viaTerminal, consoleUser("alice"), checkingMore, details(whoWithBob),
          AnyOf(loggedOn("alice,bob"), loggedOn("bob,alice")), several},
         statArguments, "-u alice\n", "\n"},
        {"RootOwnsTheConsole", {}, 0, root, whoAlone, 54, {notOne, begin, viaTerminal, consoleUser("root"), nobody},
         statArguments, "-u root\n", ""},
        // The user the tool runs as is taken for the console user, whoever owns the console.
        {"OrdinaryUserIsTheConsoleUser", {aliceAccount}, 501, " bob\n", onlyAlice, 0,
         {notOne, begin, consoleUser("alice"), checkingMore, details(onlyAlice), loggedOn("alice"), one}, "",
         "-u alice\n", "\n"},
        {"WhoPrintsNothing", {}, 0, alice, "", 0, {notOne, begin, viaTerminal, consoleUser("alice"), checkingMore, one},
         statArguments, "-u alice\n", "\n"}}),
    [](const ::testing::TestParamInfo<Scenario>& param) { return param.param.name; });

}  // namespace
}  // namespace gatewarden::blackbox
