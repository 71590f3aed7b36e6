// Broken machines and hostile input, on the built tool: each run ends with its status and records, prints
// nothing on standard output, writes no file (it runs in /probe, where /tmp leads too), does not hang.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Sandbox.h"

namespace gatewarden::blackbox {
namespace {

const std::string data = "/Library/Tesvara_Agent/data/qzpatch_data.plist";
const std::string only = "Only once user logged in";
const std::string aliceAlone = "Loggedon users - alice";
const std::string noDisk = "!!!!!! Error in getting disk space, hence returning success ";
const std::string aliceLine = "alice    console  Jan  1 09:00 \n";
const std::string statusOne = "<plist version=\"1.0\"><dict><key>OSPatchingViaMDMStatus</key><integer>1</integer>";
const std::string id = "[ \"$2\" = alice ] && echo 501 && exit\necho \"id: '$2': no such user\" >&2\nexit 1\n";

std::string times(std::size_t n, const std::string& text) { std::string out; while (n--) out += text; return out; }
std::string silicon(int status, const std::string& output) {
    return "isSiliconMachine returnCode " + std::to_string(status) + " Output \"" + output + "\"";
}
std::string given(const std::string& battery, const std::string& disk) {
    return "Given batteryPercentage:" + battery + ", requiredDiskSpace:" + disk;
}
std::string prints(const std::string& text) { return "printf '%s' '" + text + "'\n"; }  // text without '
PlacedFile command(const std::string& name, const std::string& body) {
    return {"/usr/bin/" + name, "#!/bin/sh\n" + body, fs::perms(0755)};
}
PowerSupplies battery(const std::string& capacity) { return {{"BAT0", {{"type", "Battery"}, {"capacity", capacity}}}}; }

// A laptop on battery with 64 GiB free, run as root; stat says alice owns the console, who lists her alone.
Machine laptop(std::optional<std::string> sysctl, std::vector<PlacedFile> files = {}, PowerSupplies power = {}) {
    Machine machine{.sysctl = sysctl, .powerSupplies = power.empty() ? battery("80") : power,
                    .files = {command("stat", "echo alice\n"), command("who", prints(aliceLine)), command("id", id)},
                    .options = {"--chdir", "/probe", "--symlink", "/probe", "/tmp"}};
    machine.files.insert(machine.files.end(), files.begin(), files.end());  // a later file covers an earlier one
    return machine;
}
Machine intel(PowerSupplies power = {}) { return laptop(brandScript("Intel"), {}, std::move(power)); }
Machine onApple(std::vector<PlacedFile> files) { return laptop(brandScript(apple), std::move(files)); }
template <class Change> Machine changed(Machine machine, Change change) { return change(machine), machine; }

struct Row {
    std::string name;
    Machine machine;
    int status;
    std::vector<std::vector<std::string>> records;  // runs of consecutive records, in this order
    std::vector<std::string> arguments = {"20", "10", "20", "10"};
};
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

// Runs the row's machine, under wrapper when one is given, and checks the outcome.
Result check(Row row, std::vector<std::string> wrapper = {}) {
    row.machine.options.insert(row.machine.options.end(), wrapper.begin(), wrapper.end());
    Result result = run(row.machine, row.arguments);
    EXPECT_EQ(result.status, row.status);
    EXPECT_EQ(result.standardOutput, "") << "nothing may go to standard output";
    EXPECT_EQ(result.stray, "") << "standard error holds text outside the record format";
    std::vector<std::string> files, probe, all;  // all: the records, cut short for a failure message
    if (row.machine.sysctl) probe.push_back("sysctl.calls");  // all that /probe may hold afterwards, sorted
    if (!wrapper.empty()) probe.push_back("valgrind.log");
    for (const auto& entry : result.probe) files.push_back(entry.first);
    for (const auto& record : result.records) all.push_back(record.substr(0, 200));
    EXPECT_EQ(files, probe) << "the tool writes no file";
    auto at = result.records.begin();
    for (const auto& expected : row.records) {
        at = std::search(at, result.records.end(), expected.begin(), expected.end());
        if (at != result.records.end()) at += expected.size();
        else ADD_FAILURE() << "no run from " << expected[0].substr(0, 200) << " on in " << testing::PrintToString(all);
    }
    return result;
}

class Fault : public Sandboxed, public ::testing::WithParamInterface<Row> {};

TEST_P(Fault, EndsWithADefinedAnswer) { check(GetParam()); }

const std::string big(100000, '7'), makeData = "mkdir -p /Library/Tesvara_Agent/data\n";
const std::string several = "More than one user logged in";
std::string bobFrom(const std::string& host) { return "bob      ttys001  Jan  1 09:05 (" + host + ")\n"; }

// The patch data file with one text replaced, on a machine where alice and bob are logged in.
Row lenientOne(const std::string& name, std::string file, const std::string& text, const std::string& by) {
    if (!text.empty()) file.replace(file.find(text), text.size(), by);
    return {name, onApple({{data, file}, command("who", prints(aliceLine + bobFrom("10.0.0.5")))}), 55,
            {{notOne, begin}, {several}}};
}

// {"OSPatchingViaMDMStatus" = 1; "k" = a0} in the binary encoding, where each of 30 arrays holds the next
// one twice.
std::string expanding() {
    std::vector<std::string> objects{"\xD2\x01\x02\x03\x04", "\x5F\x10\x16OSPatchingViaMDMStatus", "\x51k", "\x10\x01"};
    for (char next = 5; next < 35; ++next) objects.push_back(next < 34 ? std::string("\xA2") + next + next : "\xA0");
    std::string body = "bplist00", table;
    for (const auto& object : objects) table += static_cast<char>(body.size()), body += object;
    std::string trailer(32, '\0');
    trailer[6] = trailer[7] = 1, trailer[15] = static_cast<char>(objects.size()), trailer[31] = static_cast<char>(body.size());
    return body + table + trailer;
}

const PlacedFile alice{"/etc/passwd", "root:x:0:0:root:/root:/bin/sh\nalice:x:501:20::/Users/alice:/bin/sh\n"};

const std::vector<Row> rows{
    // Commands missing, failing, killed, garbled, flooding, or lingering after their output (and waited for).
    {"NoSysctl", laptop({}), 0, {{silicon(127, "/usr/bin/env: '/usr/sbin/sysctl': No such file or directory\n")},
                                 {intelPass}}, {"1", "1", "", ""}},
    {"SysctlKilled", laptop("kill -9 $$\n"), 0, {{silicon(9, ""), given("20", "10")}, {intelPass}}},
    {"SysctlNotUtf8", laptop("printf 'Apple M2\\377\\n'\n"), 0, {{silicon(0, "")}, {intelPass}}},
    {"SysctlThirtyMegabytes", laptop("yes 'Intel(R) Core(TM) i7-8700B' | head -c 30000000\necho " + apple + "\n"), 0,
     {{given("5", "1")}, {only}}, {"20", "10", "5", "1"}},
    {"SysctlLingers", laptop(brandScript(apple) + "exec >&- 2>&-\nsleep 1\n"), 0, {{silicon(0, apple + "\n")}, {only}}},
    {"NoWho", onApple({{"/usr/bin/who", "#!/no/such/interpreter\n", fs::perms(0755)}}), 0,  // exec fails as if missing
     {{checkingMore + "\n/bin/sh: 1: /usr/bin/who: not found", only}}},
    {"IdDoesNotKnowTheUser", onApple({command("stat", prints(" ghost \n"))}), 0,
     {{viaTerminal + "\nid: 'ghost': no such user", "Console User Info UID  Console User ghost", checkingMore}, {only}}},
    {"StatFails", onApple({command("stat", "exit 1\n")}), 54, {{viaTerminal + "\nid: '': no such user",
     "Console User Info UID  Console User ", "User Not Logged in console user is nil"}}},
    {"WhoLineWithAnInvalidByteStillCounts", onApple({command("who", prints(aliceLine + bobFrom("h\377st")))}), 55,
     {{checkingMore, "strsample is nil ", "Logged Users details: \n " + aliceLine + bobFrom("h\xEF\xBF\xBDst"),
       "Loggedon users - alice,bob", several}}},
    {"WhoThirtyMegabytes", onApple({command("who", "yes '" + aliceLine.substr(0, 31) + "' | head -c 30000000\n")}), 0,
     {{aliceAlone, only}}},
    {"IdLingers", onApple({command("id", "echo 501\nexec >&-\nsleep 1\necho late >&2\n")}), 0,
     {{viaTerminal + "\nlate", "Console User Info UID 501 Console User alice", checkingMore}, {only}}},
    // The machine: power supplies hidden, garbled or several; a root file system with under 1 GiB free.
    {"NoPowerSupplies", changed(intel(), [](Machine& m) { m.options.insert(m.options.end(), {"--tmpfs", "/sys"}); }),
     0, {{given("20", "10"), sufficient, free64}}},
    {"CapacityGarbage", intel(battery("full\x01")), 0, {{"Battery Percentage is not takeable", sufficient}}},
    {"CapacityNegative", intel(battery("-5")), 52, {{"Current Battery % is -5", low}}},
    {"CapacityHuge", intel(battery("99999999999999999999")), 0, {{"Battery Percentage is not takeable", sufficient}}},
    {"FirstLowBatteryDecides", intel({{"BAT0", {{"type", "Battery"}, {"capacity", "10"}}},
                                      {"BAT1", {{"type", "Battery"}, {"capacity", "90"}}}}),
     52, {{"Current Battery % is 10", low}}},
    {"RootNearlyFull", changed(intel(), [](Machine& m) { m.rootBytes = (std::uint64_t{1} << 30) - (64 << 10); }), 59,
     {{"checkIfDiskSpaceIsSufficient : false"}}, {"20", "1", "20", "1"}},
    // The patch data file, otherwise holding status 1, in forms that count as no file.
    // Status 1 only to a lenient reader: the file is no property list, and two users are logged in.
    lenientOne("StatusIntegerWithFraction", statusOne + "</dict></plist>", "<integer>1</integer>", "<integer>1.0</integer>"),
    lenientOne("StatusIntegerWithLetters", statusOne + "</dict></plist>", "<integer>1</integer>", "<integer>1abc</integer>"),
    lenientOne("StatusIntegerWrapsToOne", statusOne + "</dict></plist>", "<integer>1</integer>",
               "<integer>-18446744073709551615</integer>"),
    lenientOne("StatusRealWithLetters", statusOne + "</dict></plist>", "<integer>1</integer>", "<real>1abc</real>"),
    // 130 bytes that expand to 2^30 values: refused at once (a reader that expands them takes minutes).
    [] {
        Row row = lenientOne("SharedReferencesExpandToBillions", expanding(), "", "");
        row.machine.options.insert(row.machine.options.end(), {"/usr/bin/timeout", "5"});
        return row;
    }(),
    {"PatchDataGarbage", onApple({{data, "\x01\377not a property list <dict>"}}), 0, {{notOne, begin}}},
    {"PatchDataBinaryTruncated", onApple({{data, binaryStatusOne.substr(0, 64)}}), 0, {{notOne, begin}}},
    {"PatchDataNestedDeeply", onApple({{data, statusOne + "<key>k</key>" + times(1000000, "<array>") +
                                                  times(1000000, "</array>") + "</dict></plist>"}}), 0, {{notOne}}},
    {"PatchDataOverSixteenMebibytes",
     onApple({{data, statusOne + "<key>k</key><string>" + std::string(16 << 20, 'x') + "</string></dict></plist>"}}), 0,
     {{notOne, begin}}},
    {"PatchDataFifo", laptop(makeData + "mkfifo " + data + "\n" + brandScript(apple)), 0, {{notOne, begin}}},
    {"PatchDataLinksToDevZero", laptop(makeData + "ln -s /dev/zero " + data + "\n" + brandScript(apple)), 0,
     {{notOne, begin}}},
    {"PatchDataUnreadable", changed(onApple({{data, statusOne + "</dict></plist>", fs::perms::none}, alice}),
                                    [](Machine& m) { m.uid = 501; }), 0,  // root would read it anyway
     {{notOne, begin, "Console User Info UID 501 Console User alice", checkingMore}, {only}}},
    // Arguments: huge, not UTF-8, broken over lines, and numbers at the edges of 64 bits.
    {"HundredKilobyteArgument", intel(), 0, {{given(big, "10")}, {intelPass}}, {big, "10", big, big}},
    {"ArgumentNotUtf8", intel(), 0, {{given("\377\376", "10")}, {sufficient}}, {"\377\376", "10", "1", "1"}},
    {"ArgumentsWithLineFeeds", intel(), 0, {{given("9\n90", "1\n0")}, {sufficient, free64, noDisk}},
     {"9\n90", "1\n0", "1", "1"}},
    {"DiskMinusZero", intel(), 0, {{free64, diskTrue}}, {"20", "-0", "", ""}},
    {"DiskPlusZero", intel(), 0, {{free64, diskTrue}}, {"20", "+0", "", ""}},
    {"DiskLowestInteger", intel(), 0, {{free64, diskTrue}}, {"20", "-9223372036854775808", "", ""}},
    {"DiskBeyondHighestInteger", intel(), 0, {{free64, noDisk, intelPass}}, {"20", "9223372036854775808", "", ""}},
};
INSTANTIATE_TEST_SUITE_P(Machines, Fault, ::testing::ValuesIn(rows),
                         [](const ::testing::TestParamInfo<Row>& param) { return param.param.name; });

// Three usual runs under valgrind: no memory error, no leak, no descriptor that the tool opened left open.
TEST_F(Sandboxed, UnderValgrindNoErrorNoLeakNoOpenDescriptor) {
#ifdef GATEWARDEN_SANITIZED
    GTEST_SKIP() << "a sanitizer build does not run under valgrind";
#endif
    if (!fs::exists("/usr/bin/valgrind")) GTEST_SKIP() << "no /usr/bin/valgrind: scripts/install-deps.sh installs it";
    const std::string skip = "isMDMPatchingEnabled : nil, hence skipping checkIfUserLoggedIn - check, returning true";
    for (Row row : {Row{"Intel", intel(), 0, {{intelPass}}}, Row{"LoginCheck", onApple({}), 0, {{notOne}, {only}}},
                    Row{"PatchDataSkip", onApple({{data, statusOne + "</dict></plist>"}}), 0, {{skip}}}}) {
        SCOPED_TRACE(row.name);
        row.machine.readOnlyBinds.emplace_back("/usr/libexec/valgrind", "/usr/libexec/valgrind");
        Result result = check(row, {"valgrind", "--error-exitcode=99", "--leak-check=full", "--vgdb=no",
                                    "--errors-for-leak-kinds=definite,indirect", "--track-fds=yes",
                                    "--log-file=/probe/valgrind.log"});
        const std::string& log = result.probe["valgrind.log"];
        // A descriptor that the tool opened shows where; those it was started with do not count.
        EXPECT_FALSE(std::regex_search(log, std::regex("Open file descriptor \\d+:.*\n==\\d+== +at "))) << log;
    }
}

}  // namespace
}  // namespace gatewarden::blackbox
