#pragma once

// Runs the built tool in a bubblewrap sandbox that stands in for a whole machine: a root file system of a
// chosen size, its own power supplies, sysctl and placed files. Of the host only /usr/bin and /usr/lib* show.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace gatewarden::blackbox {

namespace fs = std::filesystem;

// Supply name -> attribute file -> value (written with a line feed after it, as sysfs shows it).
using PowerSupplies = std::map<std::string, std::map<std::string, std::string>>;

struct PlacedFile {
    std::string path;  // absolute, inside the sandbox; placed read-only
    std::string content;
    fs::perms mode = fs::perms(0644);
};

struct Machine {
    // Body of the #!/bin/sh /usr/sbin/sysctl (none: absent); each call first echoes "$*" to /probe/sysctl.calls.
    std::optional<std::string> sysctl{};
    PowerSupplies powerSupplies{};                      // bound over /sys/class/power_supply
    std::uint64_t rootBytes = std::uint64_t{64} << 30;  // size of the tmpfs that is "/"
    std::vector<PlacedFile> files{};  // a root-only /etc/passwd is added unless one is given
    std::vector<std::pair<std::string, std::string>> readOnlyBinds{};  // host path -> sandbox path
    std::optional<int> uid{};  // the user id the tool runs as (none: the caller's); name it in /etc/passwd
    std::vector<std::string> options{};  // further bwrap options; words after them run the tool (e.g. valgrind)
};

struct Result {
    int status = -1;
    std::string standardOutput;
    // Standard-error records without header and final line feed; a record runs on up to the next header.
    std::vector<std::string> records;
    // Standard-error text outside that format, or records from more than one process or thread.
    std::string stray;
    std::map<std::string, std::string> probe;  // files left in the writable /probe, by name
};

// A sysctl body that prints the brand and a line feed (the brand holds no single quote).
inline std::string brandScript(const std::string& brand) { return "printf '%s\\n' '" + brand + "'\n"; }

struct TempDir {  // a new folder, removed with all it holds
    fs::path path;
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "gatewarden-bb-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path = pattern;
    }
    TempDir(const TempDir&) = delete;
    ~TempDir() { std::error_code ignored; fs::remove_all(path, ignored); }
};

inline void writeFile(const fs::path& path, const std::string& content, fs::perms mode) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    fs::permissions(path, mode);
}

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Empty standard input, outputs into files (no pipe to fill up); the exit status, -1 if not started.
inline int spawnAndWait(const std::vector<std::string>& argv, const fs::path& out, const fs::path& err) {
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> pointers;
    for (const auto& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
    pointers.push_back(nullptr);
    pid_t pid = 0;
    int raw = 0, error = ::posix_spawnp(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (error) return -1;
    while (::waitpid(pid, &raw, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

inline void parseStandardError(const std::string& text, Result& result) {
    static const std::regex header(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} Gatewarden(\[\d+:\d+\]) )");
    std::string ids;
    for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        if (end == std::string::npos) result.stray += "[no final line feed]", end = text.size();
        std::string line = text.substr(start, end - start);
        std::smatch match;
        if (std::regex_search(line, match, header, std::regex_constants::match_continuous)) {
            if (ids.empty()) ids = match[1];
            if (ids != match[1]) result.stray += "[record of " + match[1].str() + " among " + ids + "]";
            result.records.push_back(match.suffix());
        } else if (result.records.empty()) {
            result.stray += line + "\n";
        } else {
            result.records.back() += "\n" + line;
        }
    }
}

// Why no sandbox can be started here, or nothing when one can.
inline std::optional<std::string> sandboxUnavailable() {
    int status = spawnAndWait({"bwrap", "--ro-bind", "/", "/", "true"}, "/dev/null", "/dev/null");
    if (status == 0) return std::nullopt;
    return status < 0 ? "bwrap not found" : "`bwrap --ro-bind / / true` ended with " + std::to_string(status);
}

// Runs a test only where a sandbox can be made: elsewhere it is skipped, and in CI it fails.
class Sandboxed : public ::testing::Test {
protected:
    void SetUp() override {
        auto reason = sandboxUnavailable();
        if (reason && std::getenv("CI")) FAIL() << "no sandbox in CI: " << *reason;
        if (reason) GTEST_SKIP() << "no bubblewrap sandbox on this machine: " << *reason;
    }
};

// Records and files that several scenarios share.
inline const std::string apple = "Apple M2 Pro";
inline const std::string sufficient = "Battery is Sufficient for the Update", low = "Battery is Low than expected";
inline const std::string free64 = "Available free space :68719476736bytes / 64.0GB";
inline const std::string diskTrue = "checkIfDiskSpaceIsSufficient : true";
inline const std::string intelPass =
    "Its a Intel machine, hence skipping checkIfUserLoggedIn - check, returning true";
inline const std::string notOne = "patchingViaMDMStatus != 1, proceeding user logged in check";
inline const std::string begin = "Is Any User Logged in Check Begin ", viaTerminal = "Finding username via terminal";
inline const std::string checkingMore = "User Logged in, checking if more than one user logged in ....";
// {"OSPatchingViaMDMStatus": 1} in the binary encoding: dictionary, key, integer, offset table, trailer.
inline const std::string binaryStatusOne(
    "bplist00\xD1\x01\x02\x5F\x10\x16OSPatchingViaMDMStatus\x10\x01\x08\x0B\x24"
    "\0\0\0\0\0\0\x01\x01\0\0\0\0\0\0\0\x03\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x26",
    73);

// The tool, placed at /opt/gw/Gatewarden, run on the machine with these arguments after its path.
inline Result run(const Machine& machine, const std::vector<std::string>& arguments) {
    TempDir dir;
    const fs::path& host = dir.path;
    for (const char* folder : {"probe", "power_supply"}) fs::create_directories(host / folder);
    for (const auto& [supply, attributes] : machine.powerSupplies)
        for (const auto& [name, value] : attributes)
            writeFile(host / "power_supply" / supply / name, value + "\n", fs::perms(0644));
    std::vector<PlacedFile> files = machine.files;
    if (machine.sysctl)
        files.push_back({"/usr/sbin/sysctl", "#!/bin/sh\necho \"$*\" >>/probe/sysctl.calls\n" + *machine.sysctl,
                         fs::perms(0755)});
    if (std::none_of(files.begin(), files.end(), [](const PlacedFile& f) { return f.path == "/etc/passwd"; }))
        files.push_back({"/etc/passwd", "root:x:0:0:root:/root:/bin/sh\n"});
    std::vector<std::string> argv{
        "bwrap", "--unshare-all", "--die-with-parent", "--clearenv", "--setenv", "PATH", "/usr/bin:/bin",
        "--size", std::to_string(machine.rootBytes), "--tmpfs", "/", "--ro-bind", "/usr/bin", "/usr/bin",
        "--ro-bind", "/usr/lib", "/usr/lib", "--ro-bind-try", "/usr/lib64", "/usr/lib64", "--symlink", "usr/bin",
        "/bin", "--symlink", "usr/lib", "/lib", "--symlink", "usr/lib64", "/lib64", "--proc", "/proc", "--dev", "/dev",
        "--ro-bind", (host / "power_supply").string(), "/sys/class/power_supply", "--bind", (host / "probe").string(),
        "/probe", "--ro-bind", GATEWARDEN_BINARY, "/opt/gw/Gatewarden"};
    for (std::size_t i = 0; i < files.size(); ++i) {
        fs::path source = host / "files" / std::to_string(i);
        writeFile(source, files[i].content, files[i].mode);
        argv.insert(argv.end(), {"--ro-bind", source.string(), files[i].path});
    }
    for (const auto& [source, target] : machine.readOnlyBinds) argv.insert(argv.end(), {"--ro-bind", source, target});
    if (machine.uid) argv.insert(argv.end(), {"--unshare-user", "--uid", std::to_string(*machine.uid)});
    argv.insert(argv.end(), machine.options.begin(), machine.options.end());
    argv.push_back("/opt/gw/Gatewarden");
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    Result result;
    result.status = spawnAndWait(argv, host / "stdout", host / "stderr");
    result.standardOutput = readFile(host / "stdout");
    parseStandardError(readFile(host / "stderr"), result);
    for (const auto& entry : fs::directory_iterator(host / "probe"))
        result.probe[entry.path().filename().string()] = readFile(entry.path());
    return result;
}

}  // namespace gatewarden::blackbox
