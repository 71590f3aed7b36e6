// The built tool on sandboxed machines: for each machine and command line, the exit status, the
// exact log records, the commands run, nothing on standard output and no file written. Each run is a
// bubblewrap sandbox that stands in for a whole machine: a root file system of a chosen size, its own
// power supplies, commands and files; of the host only /usr/bin and /usr/lib* show. The tool runs in
// /probe, where /tmp leads too, so a file it writes shows there.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

namespace gatewarden::blackbox {
namespace {

namespace fs = std::filesystem;

// By default an Apple silicon Mac on battery power at 80 % with 64 GiB free, on which the tool runs
// as root while alice owns the console and is the only user logged in.
struct Machine {
    std::map<std::string, std::map<std::string, std::string>> supplies{
        {"BAT0", {{"type", "Battery"}, {"capacity", "80"}}}};
    std::uint64_t rootBytes = std::uint64_t{64} << 30;       // size of the tmpfs that is "/"
    std::vector<std::pair<std::string, std::string>> files;  // path, content; a later one covers an earlier one
    std::vector<std::string> options;                        // further bwrap options; words after them run the tool

    Machine() {
        prints("sysctl", "Apple M2 Pro\n")
            .prints("stat", "alice\n")
            .prints("who", "alice    console  Jan  1 09:00 \n")
            .file("/etc/passwd", "root:x:0:0::/:/bin/sh\n");
        command("id",
                "case $2 in alice) echo 501;; root) echo 0;; *) echo \"id: '$2': no such user\" >&2; exit 1;; esac");
    }
    Machine& file(const std::string& path, const std::string& content) {
        return files.emplace_back(path, content), *this;
    }
    // A stand-in for the command that notes how it was called in /probe/calls, then runs body.
    Machine& command(const std::string& name, const std::string& body) {
        return file((name == "sysctl" ? "/usr/sbin/" : "/usr/bin/") + name,
                    "#!/bin/sh\necho " + name + " \"$@\" >>/probe/calls\n" + body + "\n");
    }
    Machine& prints(const std::string& name, const std::string& text) {
        return command(name, "printf '%s' '" + text + "'");
    }
};

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// Runs argv with empty standard input and its outputs in out and err; its exit status.
int runQuoted(const std::vector<std::string>& argv, const std::string& out = "/dev/null",
              const std::string& err = "/dev/null") {
    std::string command;
    for (const auto& word : argv) command += " '" + std::regex_replace(word, std::regex("'"), "'\\''") + "'";
    int status = std::system((command + " </dev/null >" + out + " 2>" + err).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Result {
    int status = -1;
    std::string stray;                         // standard output, and standard error outside the record format
    std::vector<std::string> records;          // without header and final line feed
    std::map<std::string, std::string> probe;  // files left in the writable /probe, by name
};

// The tool, placed at /opt/gw/Gatewarden, run on the machine with these arguments after its path.
Result run(const Machine& machine, const std::vector<std::string>& arguments) {
    const struct Folder {  // removed with all it holds
        fs::path path = fs::temp_directory_path() / ("gatewarden-bb-" + std::to_string(::getpid()));
        Folder() { fs::remove_all(path), fs::create_directories(path / "probe"); }
        ~Folder() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    } folder;
    const fs::path& host = folder.path;
    for (const auto& [supply, attributes] : machine.supplies)
        for (const auto& [name, value] : attributes)
            fs::create_directories(host / "power_supply" / supply), std::ofstream(host / "power_supply" / supply / name)
                                                                        << value << "\n";
    std::vector<std::string> argv{"bwrap",
                                  "--unshare-all",
                                  "--die-with-parent",
                                  "--clearenv",
                                  "--setenv",
                                  "PATH",
                                  "/usr/bin:/bin",
                                  "--size",
                                  std::to_string(machine.rootBytes),
                                  "--tmpfs",
                                  "/",
                                  "--ro-bind",
                                  "/usr/bin",
                                  "/usr/bin",
                                  "--ro-bind",
                                  "/usr/lib",
                                  "/usr/lib",
                                  "--ro-bind-try",
                                  "/usr/lib64",
                                  "/usr/lib64",
                                  "--symlink",
                                  "usr/bin",
                                  "/bin",
                                  "--symlink",
                                  "usr/lib",
                                  "/lib",
                                  "--symlink",
                                  "usr/lib64",
                                  "/lib64",
                                  "--proc",
                                  "/proc",
                                  "--dev",
                                  "/dev",
                                  "--ro-bind-try",
                                  host / "power_supply",
                                  "/sys/class/power_supply",
                                  "--bind",
                                  host / "probe",
                                  "/probe",
                                  "--ro-bind",
                                  GATEWARDEN_BINARY,
                                  "/opt/gw/Gatewarden",
                                  "--chdir",
                                  "/probe",
                                  "--symlink",
                                  "/probe",
                                  "/tmp"};
    for (std::size_t i = 0; i < machine.files.size(); ++i) {
        std::ofstream(host / std::to_string(i), std::ios::binary) << machine.files[i].second;
        fs::permissions(host / std::to_string(i), fs::perms(0755));
        argv.insert(argv.end(), {"--ro-bind", host / std::to_string(i), machine.files[i].first});
    }
    argv.insert(argv.end(), machine.options.begin(), machine.options.end());
    argv.push_back("/opt/gw/Gatewarden");
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    Result result;
    result.status = runQuoted(argv, host / "stdout", host / "stderr");
    static const std::regex header(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} Gatewarden\[\d+:\d+\] )");
    std::string text = readFile(host / "stderr");
    std::istringstream lines(text);
    std::smatch match;
    for (std::string line; std::getline(lines, line);)
        if (std::regex_search(line, match, header, std::regex_constants::match_continuous))
            result.records.push_back(match.suffix());
        else
            (result.records.empty() ? result.stray : result.records.back()) +=
                (result.records.empty() ? "" : "\n") + line;
    result.stray += readFile(host / "stdout") + (text.empty() || text.back() == '\n' ? "" : "[no final line feed]");
    for (const auto& entry : fs::directory_iterator(host / "probe"))
        result.probe[entry.path().filename()] = readFile(entry.path());
    return result;
}

std::string battery(const std::string& capacity, const std::string& state = "Battery Power",
                    const std::string& name = "BAT0") {
    return "Battery -> {" + (capacity.empty() ? "" : "\"Current Capacity\" = " + capacity + "; ") + "\"Name\" = \"" +
           name + "\"; \"Power Source State\" = \"" + state + "\"; \"Type\" = \"InternalBattery\"}";
}
std::string silicon(const std::string& output, int status = 0) {
    return "isSiliconMachine returnCode " + std::to_string(status) + " Output \"" + output + "\"";
}
std::string plist(const std::string& entries) {  // as Apple's writer lays it out
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n<dict>\n" +
           entries + "</dict>\n</plist>\n";
}
std::string busy() {  // 4000 lines of logins, far more than a pipe holds
    std::string lines;
    for (int line = 0; line < 4000; ++line) lines += "alice    ttys00" + std::to_string(line % 10) + "\n";
    return lines;
}
// alice at the console and on busy terminals; josé, whose é the 1024-byte chunks of the output cut in
// two; bob, from a host whose name holds an invalid byte.
std::string crowd(const std::string& invalid) {
    std::string who = "alice    console  Jan  1 09:00 \n" + busy();
    return who + std::string((2043 - who.size() % 1024) % 1024, ' ') + "\njos\xC3\xA9  ttys009\nbob      ttys001 (h" +
           invalid + "st)\n";
}
// {"OSPatchingViaMDMStatus" = 1; "k" = true} in the binary encoding; with arrays, "k" is the first of
// that many arrays that each hold the next one twice: 2^arrays values.
std::string binaryStatusOne(char arrays = 0) {
    std::vector<std::string> objects{"\xD2\x01\x02\x03\x04", "\x5F\x10\x16OSPatchingViaMDMStatus", "\x51k", "\x10\x01"};
    for (char next = 5; next < 5 + arrays; ++next)
        objects.push_back(next < 4 + arrays ? std::string{'\xA2', next, next} : "\xA0");
    if (arrays == 0) objects.push_back("\x09");
    std::string body = "bplist00", table, trailer(32, '\0');
    for (const auto& object : objects) table += static_cast<char>(body.size()), body += object;
    trailer[6] = trailer[7] = 1, trailer[15] = static_cast<char>(objects.size()),
    trailer[31] = static_cast<char>(body.size());
    return body + table + trailer;
}

const std::string sufficient = "Battery is Sufficient for the Update",
                  free64 = "Available free space :68719476736bytes / 64.0GB",
                  diskTrue = "checkIfDiskSpaceIsSufficient : true", viaTerminal = "Finding username via terminal",
                  intelPass = "Its a Intel machine, hence skipping checkIfUserLoggedIn - check, returning true",
                  notOne = "patchingViaMDMStatus != 1, proceeding user logged in check",
                  begin = "Is Any User Logged in Check Begin ",
                  checking = "User Logged in, checking if more than one user logged in ....",
                  details = "Logged Users details: \n ", one = "Only once user logged in",
                  several = "More than one user logged in", sysctl = "sysctl -n machdep.cpu.brand_string\n",
                  alice = "alice    console  Jan  1 09:00 \n", bob = "bob      ttys001  Jan  1 09:05 (10.0.0.5)\n";
const std::vector<std::string> args{"20", "10", "20", "10"};

template <class Change>
Machine with(Change change) {
    Machine machine;
    change(machine);
    return machine;
}
Machine intel(std::uint64_t rootBytes = 64ull << 30) {
    return with([&](Machine& m) { m.prints("sysctl", "Intel(R) Core(TM) i7\n"), m.rootBytes = rootBytes; });
}
Machine patchData(const std::string& content) {
    return with([&](Machine& m) {
        m.file("/Library/Tesvara_Agent/data/qzpatch_data.plist", content).prints("who", alice + bob);
    });
}

struct Row {
    std::string name;
    Machine machine;
    std::vector<std::string> arguments;
    int status;
    std::vector<std::string> records;  // in this order; "..." stands for any records in between
    std::string calls = "*";           // the commands run, one line each, unless "*"
};
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }
// Patch data with a status of 1 only to a lenient reader: no property list, so the login check runs,
// and at once.
Row lenient(const std::string& name, const std::string& content) {
    return {name,
            with([&](Machine& m) {
                m = patchData(content), m.options = {"/usr/bin/timeout", "5"};
            }),
            args,
            55,
            {"...", notOne, begin, "...", several}};
}

// Whether the expected runs of records, between "...", come in this order, the first and the last
// at the ends unless "..." stands there.
bool matches(const std::vector<std::string>& records, const std::vector<std::string>& expected) {
    auto at = records.begin();
    for (auto from = expected.begin(), to = from; from != expected.end(); from = to == expected.end() ? to : to + 1) {
        to = std::find(from, expected.end(), "...");
        auto found = from == expected.begin() ? at : std::search(at, records.end(), from, to);
        if (records.end() - found < to - from || !std::equal(from, to, found)) return false;
        at = found + (to - from);
    }
    return expected.back() == "..." || at == records.end();
}

class Contract : public ::testing::TestWithParam<Row> {};

TEST_P(Contract, StatusRecordsAndCommandsRun) {
    // A sandbox can be made everywhere but in some containers: there the test is skipped, but never in CI.
    static const bool sandbox = runQuoted({"bwrap", "--ro-bind", "/", "/", "true"}) == 0;
    if (!sandbox && !std::getenv("CI"))
        GTEST_SKIP() << "no bubblewrap sandbox on this machine (`bwrap --ro-bind / / true`)";
    const Row& row = GetParam();
    Result result = run(row.machine, row.arguments);
    EXPECT_EQ(result.status, row.status);
    EXPECT_EQ(result.stray, "") << "nothing on standard output, nothing outside a record";
    std::string shown;
    for (const auto& record : result.records) shown += "\n  " + record.substr(0, 300);
    EXPECT_TRUE(matches(result.records, row.records)) << "records:" << shown;
    EXPECT_TRUE(row.calls == "*" || result.probe["calls"] == row.calls) << "the commands run:\n"
                                                                        << result.probe["calls"];
    result.probe.erase("calls");
    EXPECT_TRUE(result.probe.empty()) << "the tool writes no file: " << result.probe.begin()->first;
}

INSTANTIATE_TEST_SUITE_P(
    Machines, Contract,
    ::testing::ValuesIn(
        std::vector<Row>{
            {"TooFewArgumentsRunNothing",
             Machine(),
             {"20", "10", ""},
             1,
             {"...", "Arguments are low -> required 4 args"},
             ""},
            // A threshold that is no number means 20; % is an ordinary character; the second pair is not read.
            {"IntelReadsTheFirstPairAndSkipsTheLoginCheck",
             intel(10ull << 30),
             {"20%", "10", "x", "y", "extra"},
             0,
             {"Inside OS Update/Upgrade PreReq check ....", silicon("Intel(R) Core(TM) i7\n"),
              "Given batteryPercentage:20%, requiredDiskSpace:10", battery("80"), "Current Battery % is 80", sufficient,
              "Available free space :10737418240bytes / 10.0GB", diskTrue, intelPass},
             sysctl},
            {"AppleSiliconReadsTheSecondPairAndCountsTheLogins",
             Machine().prints("who", alice + "alice    ttys000\nroot     ttys001\n"),
             {"99", "99", "30", "12"},
             0,
             {"...", silicon("Apple M2 Pro\n"), "Given batteryPercentage:30, requiredDiskSpace:12", battery("80"),
              "Current Battery % is 80", sufficient, free64, diskTrue, notOne, begin, viaTerminal,
              "Console User Info UID 501 Console User alice", checking,
              details + alice + "alice    ttys000\nroot     ttys001\n", "Loggedon users - alice", one},
             sysctl + "stat -f %Su /dev/console\nid -u alice\nwho\n"},
            // A charge equal to the threshold is low, and the disk, which would fail too, is not looked at.
            {"LowBatteryEndsTheRunBeforeTheDisk",
             with([](Machine& m) { m.supplies["BAT0"]["capacity"] = "30", m.rootBytes = 1 << 30; }),
             {"1", "1", "30", "99"},
             52,
             {"...", battery("30"), "Current Battery % is 30", "Battery is Low than expected",
              "OS Update/Upgrade stopped due to low battery"}},
            {"OnePageShortOfTenGibibytesIsNine",
             intel((10ull << 30) - 4096),
             {"5", "10", "1", "1"},
             59,
             {"...", "Available free space :10737414144bytes / 9.999996185302734GB",
              "checkIfDiskSpaceIsSufficient : false"}},
            // The command inherits the environment, and its standard error joins its output. A machine
            // without /sys/class/power_supply has no battery.
            {"FailedSysctlMeansIntelAndNoPowerSupplyFolderMeansNoBattery",
             with([](Machine& m) {
                 m.command("sysctl", "echo \"Apple $PATH\"; echo oops >&2; exit 3").supplies.clear();
             }),
             {"50", "10", "90", "99"},
             0,
             {"...", silicon("Apple /usr/bin:/bin\noops\n", 3), "Given batteryPercentage:50, requiredDiskSpace:10",
              sufficient, "...", intelPass}},
            {"AnEnvThatCannotStartMeansIntel",
             Machine().file("/usr/bin/env", ""),
             args,
             0,
             {"...", silicon("/usr/bin/env: Exec format error", 127), "...", intelPass}},
            // Batteries in the order of their names, all on mains when any other supply is online: the first decides.
            {"OnMainsTheChargeIsNotLookedAt",
             with(
                 [](Machine& m) {
                     m.supplies["BAT1"] = {{"type", "Battery"}, {"capacity", "5"}},
                     m.supplies["usb"] = {{"type", "USB"}, {"online", "1"}};
                 }),
             args,
             0,
             {"...", battery("80", "AC Power"), battery("5", "AC Power", "BAT1"),
              "Current Power Source State is AC Power, not checking battery percentage", free64, "..."}},
            {"UnreadableChargeAndNoDiskRequirementPass",
             with([](Machine& m) { m.supplies["BAT0"]["capacity"] = "full"; }),
             {"1", "1", "90", " 10"},
             0,
             {"...", battery(""), "Battery Percentage is not takeable", sufficient, free64,
              "!!!!!! Error in getting disk space, hence returning success ", notOne, "..."}},
            // The first installed root holds the patch data, here in the binary encoding.
            {"PatchingThroughMdmSkipsTheLoginCheck",
             patchData("")
                 .file("/Library/Corvellan_Agent/bin/qzagentservice", "")
                 .file("/Library/Corvellan_Agent/data/qzpatch_data.plist", binaryStatusOne())
                 .file("/Library/Aldermoor_Agent/bin/qzagentservice", ""),
             args,
             0,
             {"...", diskTrue, "patchingViaMDMStatus :1, checking for isMDMPatchingEnabled nil",
              "isMDMPatchingEnabled : nil, hence skipping checkIfUserLoggedIn - check, returning true"},
             sysctl},
            // Apple's writer stores an unsigned 64-bit number and a date before year 1 so; neither is a reason to
            // refuse the file.
            {"AnUnsignedIntegerAndAFarDateElsewhereKeepTheStatus",
             patchData(plist("<key>OSPatchingViaMDMStatus</key><integer>1</integer><key>u</"
                             "key><integer>18446744073709551615</integer>"
                             "<key>d</key><date>-1168-02-16T14:13:20Z</date>")),
             args,
             0,
             {"...", diskTrue, "patchingViaMDMStatus :1, checking for isMDMPatchingEnabled nil", "..."},
             sysctl},
            {"RootOwningTheConsoleIsNobody",
             Machine().prints("stat", " root \n"),
             args,
             54,
             {"...", viaTerminal, "Console User Info UID 0 Console User root",
              "User Not Logged in console user is nil"},
             sysctl + "stat -f %Su /dev/console\nid -u root\n"},
            // The console owner's name goes to id as it is, without a shell; id's complaint goes to the tool's standard
            // error.
            {"AConsoleOwnerUnknownToIdIsStillThere",
             Machine().prints("stat", " a b;$x \n"),
             args,
             0,
             {"...", viaTerminal + "\nid: 'a b;$x': no such user", "Console User Info UID  Console User a b;$x", "...",
              one},
             sysctl + "stat -f %Su /dev/console\nid -u a b;$x\nwho\n"},
            {"AnOrdinaryUserIsTheConsoleUser",
             with(
                 [](Machine& m) {
                     m.file("/etc/passwd", "alice:x:501:20::/Users/alice:/bin/sh\n").options = {"--unshare-user",
                                                                                                "--uid", "501"};
                 }),
             args,
             0,
             {"...", begin, "Console User Info UID 501 Console User alice", checking, details + alice,
              "Loggedon users - alice", one},
             sysctl + "id -u alice\nwho\n"},
            // A character that the output never finishes is dropped.
            {"AnInvalidByteInWhoLosesNoLoginACutCharacterIsCarriedOverAndAnUnfinishedOneDropped",
             Machine().command("who", "printf '%s' '" + crowd("\377") + "\xE2\x82'; exit 3"),
             args,
             55,
             {"...", checking, "strsample is nil ", "strsample is nil ", details + crowd("\xEF\xBF\xBD"),
              "Loggedon users - alice,bob,jos\xC3\xA9", several}},
            lenient("IntegerWithAFraction", plist("<key>OSPatchingViaMDMStatus</key><integer>1.0</integer>")),
            lenient("IntegerWithLetters", plist("<key>OSPatchingViaMDMStatus</key><integer>1abc</integer>")),
            lenient("IntegerThatWrapsToOne",
                    plist("<key>OSPatchingViaMDMStatus</key><integer>-18446744073709551615</integer>")),
            lenient("RealWithLetters", plist("<key>OSPatchingViaMDMStatus</key><real>1abc</real>")),
            lenient("SharedReferencesExpandingToBillions",
                    binaryStatusOne(30)),  // 130 bytes for 2^30 values: minutes to expand
            {"AnEmptyProgramNameIsGatewarden",
             with(
                 [](Machine& m) {
                     m.options = {"/usr/bin/perl", "-e", "my $tool = shift; exec {$tool} '', @ARGV"};
                 }),
             args,
             0,
             {"...", one}},
        }),
    [](const ::testing::TestParamInfo<Row>& param) { return param.param.name; });

}  // namespace
}  // namespace gatewarden::blackbox
