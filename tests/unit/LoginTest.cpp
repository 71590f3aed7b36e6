#include <gtest/gtest.h>

#include "Gatewarden/userLoggedInCheck.h"
#include "support/FakePlatform.h"

namespace gatewarden {
namespace {

using testing::FakePlatform;
using Lines = std::vector<std::string>;
const std::string nilChunk = "strsample is nil \n", replacement = "\xEF\xBF\xBD", a1021(1021, 'a'), a1022(1022, 'a'), a1024(1024, 'a');
std::string caught(std::string path) {  // how a command that the fake cannot start is logged
    return "Caught exception in ExecutePrcess:nameLaunchError: reason:" + path + ": No such file or directory\n";
}

TEST(GetOutputForExecution, CarriesACutCharacterOverAndReplacesOnlyInvalidBytes) {
    struct Row { testing::FakeCommand command; std::optional<std::string> output; Lines records; };
    const Row rows[] = {
        {{{}}, "", {}}, {{{"out\n"}, 3}, "out\n", {}}, {{{a1024}}, a1024, {}}, {{{a1024 + "b"}}, a1024 + "b", {}},
        {{{a1022 + "a\xC3", "\xA9\n"}}, a1022 + "a\xC3\xA9\n", {}}, {{{a1024 + "\xE2\x82"}}, a1024 + replacement, {nilChunk}},
        {{{a1022 + "\xE2", "\x82", "\xAC\n"}}, a1022 + "\xE2\x82\xAC\n", {}},  // cut after its second byte
        {{{a1021 + "\xF0\x9F\x98", "\x80"}}, a1021 + "\xF0\x9F\x98\x80", {}},   // and after its third
        {{{a1024 + "\xFF" + std::string(1023, 'b') + "z\n"}}, a1024 + replacement + std::string(1023, 'b') + "z\n",
         {nilChunk}},
        {{{"never read"}, 0, true}, std::nullopt, {caught("/bin/cat")}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        FakePlatform platform;
        platform.commands["/bin/cat -"] = row.command;
        EXPECT_EQ(GetOutputForExecution(platform, "/bin/cat", {"-"}), row.output);
        EXPECT_EQ(platform.records, row.records);
        EXPECT_EQ(platform.standardErrors, std::vector{StandardError::Inherit});
    }
}

TEST(GetUserLoginStatus, ConsoleUserFromOwnNameElseStatThenWhoCountsDistinctUsers) {
    const std::string stat = "/bin/sh -c /bin/sh -c 'stat -f %Su /dev/console'", who = "/bin/sh -c /usr/bin/who",
                      id = "/usr/bin/id -u", finding = "Finding username via terminal",
                      checking = "User Logged in, checking if more than one user logged in ....",
                      alice = "alice    console  Dec  6 07:58 \n", bob = "bob      ttys001  Dec  6 08:00 (10.0.0.5)\n",
                      setup = "_mbsetupuser console  Dec  6 07:50 \n", twice = alice + "alice    ttys000  Dec  6 08:01 \n",
                      many = twice + "root     ttys002  Dec  6 08:03 \n" + setup + "\n" + bob +
                             "\tcarol    pts/0        Dec  6 08:05 (10.0.0.6) \nRoot     ttys003  Dec  6 08:09 \n \t\n";
    auto info = [](std::string u, std::string name) { return "Console User Info UID " + u + " Console User " + name; };
    auto details = [](std::string output) { return "Logged Users details: \n " + output + "\n"; };
    struct Row { std::optional<std::string> user; std::map<std::string, std::string> out; int status; Lines runs, lines; };
    const Row rows[] = {
        {"alice", {{stat, "bob\n"}, {id + " alice", "501\n"}, {who, alice}}, 0, {id + " alice", who},
         {info("501", "alice"), checking, details(alice), "Loggedon users - alice"}},
        {"root", {{stat, "alice\n"}, {id + " alice", "501\n"}, {who, twice}}, 0, {stat, id + " alice", who},
         {finding, info("501", "alice"), checking, details(twice), "Loggedon users - alice"}},
        {"root", {{stat, "root \n"}, {id + " root", "0\n"}}, 54, {stat, id + " root"}, {finding, info("0", "root")}},
        {std::nullopt, {{id, "501\n"}}, 54, {stat, id}, {finding, caught("/bin/sh"), info("501", "(null)")}},
        {"ROOT", {{id + " ROOT", ""}, {who, alice}}, 0, {id + " ROOT", who},
         {info("", "ROOT"), checking, details(alice), "Loggedon users - alice"}},
        {"alice", {{who, alice + bob}}, 55, {id + " alice", who},
         {caught("/usr/bin/id"), info("(null)", "alice"), checking, details(alice + bob), "Loggedon users - alice,bob"}},
        {"alice", {{id + " alice", "501\n"}, {who, many}}, 55, {id + " alice", who}, {info("501", "alice"), checking,
         details(many), "Loggedon users - Root,alice,bob,carol    pts/0        Dec  6 08:05 (10.0.0.6)"}},
        {"alice", {{id + " alice", "501\n"}, {who, ""}}, 0, {id + " alice", who}, {info("501", "alice"), checking}},
        {"alice", {{id + " alice", "501\n"}}, 0, {id + " alice", who}, {info("501", "alice"), checking, caught("/bin/sh")}},
        {"<none>", {{stat, "_mbsetupuser\n"}, {id + " _mbsetupuser", "248\n"}, {who, setup}}, 0,
         {stat, id + " _mbsetupuser", who},
         {finding, info("248", "_mbsetupuser"), checking, details(setup), "Loggedon users - "}}};
    const std::map<int, std::string> last{{0, "Only once user logged in"}, {55, "More than one user logged in"},
                                          {54, "User Not Logged in console user is nil"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        FakePlatform platform;
        platform.userName = row.user;
        for (const auto& [key, output] : row.out) platform.script(key, output);
        Lines records{"Is Any User Logged in Check Begin "}, calls{"user name"};
        records.insert(records.end(), row.lines.begin(), row.lines.end());
        records.push_back(last.at(row.status));
        for (const auto& run : row.runs) calls.push_back("run " + run);
        EXPECT_EQ(getUserLoginStatus(platform), row.status);
        EXPECT_EQ(platform.records, records);
        EXPECT_EQ(platform.calls, calls);
    }
}

}  // namespace
}  // namespace gatewarden
