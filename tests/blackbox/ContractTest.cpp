// The built tool on sandboxed machines: for each machine and command line, the exit status, the
// exact log records, the commands run, nothing on standard output and no file written, and the same
// status when nobody reads the records. Each run is a bubblewrap sandbox that stands in for a whole
// machine: a root file system of a chosen size, its own power supplies, commands and files; of the
// host only /usr/bin and /usr/lib* show. The tool runs in /probe, where /tmp leads too, so a file it
// writes shows there.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

namespace gatewarden::blackbox {
namespace {

namespace fs = std::filesystem;
using namespace std::literals;

// By default an Apple silicon Mac on battery power at 80 % with 64 GiB free, on which the tool runs
// as root while alice owns the console and is the only user logged in.
struct Machine {
    std::uint64_t rootBytes = std::uint64_t{64} << 30;       // size of the tmpfs that is "/"
    std::vector<std::pair<std::string, std::string>> files;  // path, content; a later one covers an earlier one
    std::vector<std::string> options;                        // further bwrap options; words after them run the tool

    Machine() {
        supply("BAT0", "type", "Battery").supply("BAT0", "capacity", "80").file("/etc/passwd", "root:x:0:0::/:\n");
        prints("sysctl", "Apple M2 Pro\n").prints("stat", "alice\n").prints("who", "alice    console  Jan  1 09:00 \n");
        command("id", "case $2 in alice) echo 501;; root) echo 0;; esac");
    }
    Machine& file(const std::string& path, const std::string& text) { return files.emplace_back(path, text), *this; }
    // A stand-in for the command that notes how it was called in /probe/calls, then runs body.
    Machine& command(const std::string& name, const std::string& body) {
        return file((name == "sysctl" ? "/usr/sbin/" : "/usr/bin/") + name,
                    "#!/bin/sh\necho " + name + " \"$@\" >>/probe/calls\n" + body + "\n");
    }
    Machine& prints(const std::string& name, const std::string& text) {
        return command(name, "printf '%s' '" + text + "'");
    }
    Machine& disk(std::uint64_t bytes) { return rootBytes = bytes, *this; }
    Machine& supply(const std::string& name, const std::string& attribute, const std::string& value) {
        return file("/sys/class/power_supply/" + name + "/" + attribute, value + "\n");
    }
    Machine& run(std::vector<std::string> words) { return options = std::move(words), *this; }
};

std::string readFile(const fs::path& path) {
    return {std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}};
}

// Runs argv with empty standard input and its outputs in out and err; its exit status.
int runQuoted(const std::vector<std::string>& argv, const std::string& out = "/dev/null",
              const std::string& err = "/dev/null") {
    std::string command;
    for (const auto& word : argv) command += " '" + std::regex_replace(word, std::regex("'"), "'\\''") + "'";
    int status = std::system((command + " </dev/null >" + out + " 2>" + err).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string battery(const std::string& capacity, const std::string& state = "Battery Power",
                    const std::string& name = "BAT0") {
    return "Battery -> {" + (capacity.empty() ? "" : "\"Current Capacity\" = " + capacity + "; ") + "\"Name\" = \"" +
           name + "\"; \"Power Source State\" = \"" + state + "\"; \"Type\" = \"InternalBattery\"}";
}
std::string silicon(const std::string& output, int status = 0) {
    return "isSiliconMachine returnCode " + std::to_string(status) + " Output \"" + output + "\"";
}
// alice at the console and on 4000 terminals, far more than a pipe holds; josé, whose é the 1024-byte chunks of the
// output cut in two, from a host whose name holds two invalid bytes, which the next chunk boundary parts.
std::string crowd(const std::string& invalid) {
    std::string who = "alice    console  Jan  1 09:00 \n";
    for (int line = 0; line < 4000; ++line) who += "alice    ttys00" + std::to_string(line % 10) + "\n";
    return who + std::string((2043 - who.size() % 1024) % 1024, ' ') + "\njos\xC3\xA9  ttys009 (h" +
           std::string(1010, 'o') + invalid + invalid + "st)\n";
}
const std::string sufficient = "Battery is Sufficient for the Update",
                  free64 = "Available free space :68719476736bytes / 64.0GB",
                  diskTrue = "checkIfDiskSpaceIsSufficient : true", viaTerminal = "Finding username via terminal",
                  begin = "Is Any User Logged in Check Begin ",
                  checking = "User Logged in, checking if more than one user logged in ....",
                  details = "Logged Users details: \n ", sysctl = "sysctl -n machdep.cpu.brand_string\n",
                  alice = "alice    console  Jan  1 09:00 \n";
const std::vector<std::string> args{"20", "10", "20", "10"};

struct Row {
    std::string name;
    Machine machine;
    std::vector<std::string> arguments;
    int status;
    std::vector<std::string> records;  // all records in this order, or the last ones after a leading "..."
    std::string calls = "*";           // the commands run, one line each, unless "*"
};
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

class Contract : public ::testing::TestWithParam<Row> {};

// The tool, placed at /opt/gw/Gatewarden, runs on the row's machine with the row's arguments after its path.
TEST_P(Contract, StatusRecordsAndCommandsRun) {
    // A sandbox can be made everywhere but in some containers: there the test is skipped, but never in CI.
    static const bool sandbox = runQuoted({"bwrap", "--ro-bind", "/", "/", "true"}) == 0;
    if (!sandbox && !std::getenv("CI"))
        GTEST_SKIP() << "no bubblewrap sandbox on this machine (`bwrap --ro-bind / / true`)";
    const Row& row = GetParam();
    const fs::path host = fs::temp_directory_path() / ("gatewarden-bb-" + std::to_string(::getpid()));
    fs::remove_all(host), fs::create_directories(host / "probe");
    // Of the host only the commands and libraries show.
    std::istringstream options(
        "bwrap --unshare-all --die-with-parent --clearenv --setenv PATH /usr/bin:/bin --size " +
        std::to_string(row.machine.rootBytes) +
        " --tmpfs / --ro-bind /usr/bin /usr/bin --ro-bind /usr/lib /usr/lib --ro-bind-try /usr/lib64 /usr/lib64"
        " --symlink usr/bin /bin --symlink usr/lib /lib --symlink usr/lib64 /lib64 --proc /proc --dev /dev"
        " --chdir /probe --symlink /probe /tmp");
    std::vector<std::string> argv{std::istream_iterator<std::string>(options), {}};
    argv.insert(argv.end(), {"--bind", host / "probe", "/probe", "--ro-bind", GATEWARDEN_BINARY, "/opt/gw/Gatewarden"});
    for (std::size_t i = 0; i < row.machine.files.size(); ++i) {
        std::ofstream(host / std::to_string(i), std::ios::binary) << row.machine.files[i].second;
        fs::permissions(host / std::to_string(i), fs::perms(0755));
        argv.insert(argv.end(), {"--ro-bind", host / std::to_string(i), row.machine.files[i].first});
    }
    argv.insert(argv.end(), row.machine.options.begin(), row.machine.options.end());
    argv.push_back("/opt/gw/Gatewarden");
    argv.insert(argv.end(), row.arguments.begin(), row.arguments.end());
    EXPECT_EQ(runQuoted(argv, host / "stdout", host / "stderr"), row.status);
    // Records without header and final line feed; anything else is stray.
    static const std::regex header(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} Gatewarden\[\d+:\d+\] )");
    std::string text = readFile(host / "stderr"), stray, shown;
    std::vector<std::string> records;
    std::istringstream lines(text);
    std::smatch match;
    for (std::string line; std::getline(lines, line);)
        if (std::regex_search(line, match, header, std::regex_constants::match_continuous))
            records.push_back(match.suffix());
        else (records.empty() ? stray : records.back()) += (records.empty() ? "" : "\n") + line;
    stray += readFile(host / "stdout") + (text.empty() || text.back() == '\n' ? "" : "[no final line feed]");
    EXPECT_EQ(stray, "") << "nothing on standard output, nothing outside a record";
    for (const auto& record : records) shown += "\n  " + record.substr(0, 300);
    const bool last = row.records.front() == "...";
    const std::size_t count = row.records.size() - last;
    EXPECT_TRUE((last ? records.size() >= count : records.size() == count) &&
                std::equal(row.records.begin() + last, row.records.end(), records.end() - count))
        << "records:" << shown;
    const std::string calls = readFile(host / "probe/calls");
    EXPECT_TRUE(row.calls == "*" || calls == row.calls) << "the commands run:\n" << calls;
    fs::remove(host / "probe/calls");
    EXPECT_TRUE(fs::is_empty(host / "probe")) << "the tool writes no file";
    // Records that nobody reads are lost, not the answer.
    int unread[2];
    ASSERT_EQ(::pipe(unread), 0);
    ::close(unread[0]);
    EXPECT_EQ(runQuoted(argv, "/dev/null", "&" + std::to_string(unread[1])), row.status) << "with records unread";
    ::close(unread[1]), fs::remove_all(host);
}

INSTANTIATE_TEST_SUITE_P(
    Machines, Contract,
    ::testing::ValuesIn(std::vector<Row>{
        {"ThreeArgumentsRunNothing",
         Machine(),
         {"20", "10", ""},
         1,
         {"...", "Arguments are low -> required 4 args"},
         ""},
        // A sysctl that cannot be started means Intel. A threshold that is no number means 20; % is an ordinary
        // character; the second pair is not read. A battery is on mains when any other supply is online.
        {"IntelOnMainsReadsTheFirstPairAndNoLogins",
         Machine().file("/usr/bin/env", "").disk(10ull << 30).supply("usb", "type", "USB").supply("usb", "online", "1"),
         {"20%", "10", "x", "y", "extra"},
         0,
         {"Inside OS Update/Upgrade PreReq check ....", silicon("/usr/bin/env: Exec format error", 127),
          "Given batteryPercentage:20%, requiredDiskSpace:10", battery("80", "AC Power"),
          "Current Power Source State is AC Power, not checking battery percentage",
          "Available free space :10737418240bytes / 10.0GB", diskTrue,
          "Its a Intel machine, hence skipping checkIfUserLoggedIn - check, returning true"},
         ""},
        // Neither root nor the setup user counts as a login. The tool is started without a name and with SIGCHLD
        // ignored, as a parent may leave it: its records still name it, and its commands' statuses still count. Patch
        // data that says MDM but ends without </plist>, which libplist would read, counts as none.
        {"AppleSiliconReadsPairTwoAndCountsTheLogins",
         Machine()
             .prints("who", alice + "alice    ttys000\nroot     ttys001\n_mbsetupuser console\n")
             .file("/Library/Tesvara_Agent/data/qzpatch_data.plist",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                   "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n<dict>\n\t<key>"
                   "OSPatchingViaMDMStatus</key>\n\t<integer>1</integer>\n</dict>\n")
             .run({"/usr/bin/perl", "-e", "$SIG{CHLD} = 'IGNORE'; exec {shift} '', @ARGV", "--"}),
         {"99", "99", "30", "12"},
         0,
         {"...", silicon("Apple M2 Pro\n"), "Given batteryPercentage:30, requiredDiskSpace:12", battery("80"),
          "Current Battery % is 80", sufficient, free64, diskTrue,
          "patchingViaMDMStatus != 1, proceeding user logged in check", begin, viaTerminal,
          "Console User Info UID 501 Console User alice", checking,
          details + alice + "alice    ttys000\nroot     ttys001\n_mbsetupuser console\n", "Loggedon users - alice",
          "Only once user logged in"},
         sysctl + "stat -f %Su /dev/console\nid -u alice\nwho\n"},
        // On Intel, as the brand string says: a charge that cannot be read settles nothing, nor a supply of no type
        // that is online, nor one whose type is longer than a sysfs attribute can be; a threshold that is no number is
        // 20, and a charge equal to it is low. Then the disk, which would fail too, is not looked at.
        {"LowBatteryEndsTheRunBeforeTheDisk",
         Machine()
             .prints("sysctl", "Intel(R) Core(TM) i9-9880H CPU @ 2.30GHz\n")
             .supply("BAT0", "type", "Battery" + std::string(4088, ' '))  // 4,096 bytes with the line feed
             .supply("BAT3", "type", "Battery" + std::string(4089, ' '))
             .supply("BAT0", "capacity", "full")
             .supply("BAT1", "type", "Battery")
             .supply("BAT1", "capacity", "20")
             .supply("BAT2", "online", "1")
             .disk(1 << 30),
         {"x", "99", "1", "1"},
         52,
         {"...", battery(""), battery("20", "Battery Power", "BAT1"), "Battery Percentage is not takeable",
          "Current Battery % is 20", "Battery is Low than expected", "OS Update/Upgrade stopped due to low battery"}},
        // A failing sysctl means Intel; the command inherits the environment, and its standard error joins its
        // output. A machine without /sys/class/power_supply has no battery.
        {"OnePageShortOfTenGibibytesIsNine",
         Machine()
             .command("sysctl", "echo \"Apple $PATH\"; echo oops >&2; exit 3")
             .run({"--tmpfs", "/sys"})  // an empty /sys over the power supplies
             .disk((10ull << 30) - 4096),
         {"5", "10", "1", "1"},
         59,
         {"...", silicon("Apple /usr/bin:/bin\noops\n", 3), "Given batteryPercentage:5, requiredDiskSpace:10",
          sufficient, "Available free space :10737414144bytes / 9.999996185302734GB",
          "checkIfDiskSpaceIsSufficient : false"}},
        // A disk requirement that is no number passes; the patch data of the installed root, in binary, says the update
        // goes through MDM.
        {"PatchingThroughMdmSkipsTheLoginCheck",
         Machine()
             .file("/Library/Corvellan_Agent/bin/qzagentservice", "")
             .file("/Library/Corvellan_Agent/data/qzpatch_data.plist",
                   "bplist00\xD1\x01\x02\x5F\x10\x16OSPatchingViaMDMStatus\x10\x01\x08\x0B\x24\0\0\0\0\0\0\x01\x01"
                   "\0\0\0\0\0\0\0\x03\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x26"s),
         {"20", "10", "20", " 10"},
         0,
         {"...", free64, "!!!!!! Error in getting disk space, hence returning success ",
          "patchingViaMDMStatus :1, checking for isMDMPatchingEnabled nil",
          "isMDMPatchingEnabled : nil, hence skipping checkIfUserLoggedIn - check, returning true"},
         sysctl},
        // A tool whose user has no account entry has no name either, so the console's owner is asked. Blanks around
        // the owner's name go, Unicode ones too.
        {"RootOwningTheConsoleIsNobody",
         Machine().prints("stat", " root\xE3\x80\x80\xC2\xA0\n").run({"--unshare-user", "--uid", "502"}),
         args,
         54,
         {"...", viaTerminal, "Console User Info UID 0 Console User root", "User Not Logged in console user is nil"},
         sysctl + "stat -f %Su /dev/console\nid -u root\n"},
        // The tool need not run as root: then the console user is the user it runs as, whose account entry may be
        // longer than the buffer first offered for it. A character that the output never finishes is dropped. Two
        // users are one too many.
        {"AnOrdinaryUserFindsTwoUsersInAMangledWho",
         Machine()
             .file("/etc/passwd", "alice:x:501:20:" + std::string(3000, 'A') + ":/Users/alice:/bin/sh\n")
             .run({"--unshare-user", "--uid", "501"})
             .command("who", "printf '%s' '" + crowd("\377") + "\xE2\x82'; exit 3"),
         args,
         55,
         {"...", begin, "Console User Info UID 501 Console User alice", checking, "strsample is nil ",
          "strsample is nil ", "strsample is nil ", details + crowd("\xEF\xBF\xBD"),
          "Loggedon users - alice,jos\xC3\xA9", "More than one user logged in"},
         sysctl + "id -u alice\nwho\n"},
    }),
    [](const ::testing::TestParamInfo<Row>& param) { return param.param.name; });

}  // namespace
}  // namespace gatewarden::blackbox
