#include "platform/posix/Posix.h"

#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

extern char** environ;

namespace gatewarden::posix {

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

namespace {

std::string errnoText(int error) { return std::strerror(error); }

// Moves a descriptor to 3 or above, close-on-exec. A pipe end that landed on 0, 1 or 2 (when the
// tool was started with one of them closed) would otherwise be mistaken for a standard stream.
UniqueFd highCloseOnExec(int fd) {
    UniqueFd original(fd);
    return UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
}

// Owns one posix_spawn file-actions or attributes object, initialised and destroyed in pairs.
template <typename T, int (*initialise)(T*), int (*destroy)(T*)>
class SpawnObject {
public:
    SpawnObject() { ok_ = initialise(&object_) == 0; }
    ~SpawnObject() {
        if (ok_) destroy(&object_);
    }
    SpawnObject(const SpawnObject&) = delete;
    SpawnObject& operator=(const SpawnObject&) = delete;
    bool ok() const { return ok_; }
    T* get() { return &object_; }

private:
    T object_{};
    bool ok_ = false;
};

using SpawnFileActions =
    SpawnObject<posix_spawn_file_actions_t, posix_spawn_file_actions_init, posix_spawn_file_actions_destroy>;
using SpawnAttributes = SpawnObject<posix_spawnattr_t, posix_spawnattr_init, posix_spawnattr_destroy>;

class PosixChild final : public ChildProcess {
public:
    PosixChild(pid_t pid, UniqueFd output) : pid_(pid), output_(std::move(output)) {}

    ~PosixChild() override {
        // Closing our end first means a child still writing gets an error instead of blocking on
        // a full pipe, so the reaping below cannot wait for ever on our account.
        output_.reset();
        if (!reaped_) wait();
    }

    std::size_t readSome(char* buffer, std::size_t capacity) override {
        if (!output_ || capacity == 0) return 0;
        for (;;) {
            ssize_t count = ::read(output_.get(), buffer, capacity);
            if (count >= 0) return static_cast<std::size_t>(count);
            if (errno != EINTR) return 0;  // an unreadable pipe ends the output
        }
    }

    std::int32_t wait() override {
        if (reaped_) return status_;
        int raw = 0;
        pid_t result;
        do {
            result = ::waitpid(pid_, &raw, 0);
        } while (result < 0 && errno == EINTR);
        reaped_ = true;
        if (result < 0) status_ = -1;
        else if (WIFEXITED(raw)) status_ = WEXITSTATUS(raw);
        else if (WIFSIGNALED(raw)) status_ = WTERMSIG(raw);
        else status_ = -1;
        return status_;
    }

private:
    pid_t pid_;
    UniqueFd output_;
    bool reaped_ = false;
    std::int32_t status_ = -1;
};

[[noreturn]] void throwLaunchError(const std::string& launchPath, int error) {
    throw PlatformException{"LaunchError", launchPath + ": " + errnoText(error)};
}

}  // namespace

std::unique_ptr<ChildProcess> startCommand(const std::string& launchPath, const std::vector<std::string>& arguments,
                                           StandardError standardError) {
    if (launchPath.empty() || launchPath.front() != '/')
        throw PlatformException{"LaunchError", launchPath + ": launch path is not absolute"};

    int ends[2];
    if (::pipe(ends) != 0) throwLaunchError(launchPath, errno);
    UniqueFd writeEnd = highCloseOnExec(ends[1]);
    UniqueFd readEnd = highCloseOnExec(ends[0]);
    if (!readEnd || !writeEnd) throwLaunchError(launchPath, errno);

    SpawnFileActions actions;
    SpawnAttributes attributes;
    if (!actions.ok() || !attributes.ok()) throwLaunchError(launchPath, ENOMEM);

    // The pipe becomes the child's standard output; the tool's own is never written.
    int failed = ::posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), STDOUT_FILENO);
    if (!failed && standardError == StandardError::Captured)
        failed = ::posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), STDERR_FILENO);
#if defined(__APPLE__)
    // Everything not named here is closed in the child.
    short flags = POSIX_SPAWN_CLOEXEC_DEFAULT;
    for (int fd : inheritedStandardDescriptors(standardError))
        if (!failed) failed = ::posix_spawn_file_actions_addinherit_np(actions.get(), fd);
#else
    // Descriptors the tool inherited without close-on-exec must not reach the child either.
    short flags = 0;
    if (!failed) failed = ::posix_spawn_file_actions_addclosefrom_np(actions.get(), STDERR_FILENO + 1);
#endif
    // The tool ignores SIGPIPE for its own sake; the child gets the default back, and an empty mask.
    sigset_t defaults, mask;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigemptyset(&mask);
    flags |= POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (!failed) failed = ::posix_spawnattr_setsigdefault(attributes.get(), &defaults);
    if (!failed) failed = ::posix_spawnattr_setsigmask(attributes.get(), &mask);
    if (!failed) failed = ::posix_spawnattr_setflags(attributes.get(), flags);
    if (failed) throwLaunchError(launchPath, failed);

    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(launchPath.c_str()));
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    int error = ::posix_spawn(&pid, launchPath.c_str(), actions.get(), attributes.get(), argv.data(), environ);
    if (error != 0) throwLaunchError(launchPath, error);
    // From here on only the child holds the write end, so its end of output is seen.
    writeEnd.reset();
    return std::make_unique<PosixChild>(pid, std::move(readEnd));
}

std::vector<int> inheritedStandardDescriptors(StandardError standardError) {
    std::vector<int> inherited;
    for (int fd : {STDIN_FILENO, STDERR_FILENO})
        if ((fd == STDIN_FILENO || standardError == StandardError::Inherit) && ::fcntl(fd, F_GETFD) != -1)
            inherited.push_back(fd);
    return inherited;
}

bool fileExists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

std::optional<std::string> currentUserName() {
    long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 1024);
    for (;;) {
        struct passwd entry;
        struct passwd* found = nullptr;
        int error = ::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0 || found == nullptr || found->pw_name == nullptr) return std::nullopt;
        return std::string(found->pw_name);
    }
}

std::int32_t processId() { return static_cast<std::int32_t>(::getpid()); }

namespace {

// Opens a regular file for reading, close-on-exec and without blocking on a FIFO or a device.
// Gives no descriptor when the path is missing, unreadable or not a regular file.
UniqueFd openRegularFile(const std::string& path) {
    // O_NONBLOCK: opening a FIFO without a writer must not wait for one.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat info;
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return UniqueFd();
    return fd;
}

}  // namespace

std::optional<std::string> readSmallFile(const std::string& path, std::size_t limit) {
    UniqueFd fd = openRegularFile(path);
    if (!fd) return std::nullopt;
    std::string content;
    char buffer[65536];
    for (;;) {
        ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return std::nullopt;
        if (count == 0) return content;
        if (content.size() + static_cast<std::size_t>(count) > limit) return std::nullopt;
        content.append(buffer, static_cast<std::size_t>(count));
    }
}

namespace {

unsigned long long threadId() {
#if defined(__APPLE__)
    std::uint64_t id = 0;
    ::pthread_threadid_np(nullptr, &id);
    return id;
#else
    return static_cast<unsigned long long>(::gettid());
#endif
}

}  // namespace

void writeStandardErrorRecord(std::string_view program, std::string_view text) {
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct tm local;
    ::localtime_r(&now.tv_sec, &local);
    char stamp[64];
    std::size_t length = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    char ids[96];
    std::snprintf(ids, sizeof ids, "[%d:%llu] ", static_cast<int>(::getpid()), threadId());
    std::string prefix;
    prefix.append(stamp, length).append(".").append(std::to_string(now.tv_nsec / 1000000 + 1000).substr(1));
    prefix.append(" ").append(program).append(ids);

    // The text is not copied: a record may hold a whole command output.
    char lineFeed = '\n';
    struct iovec parts[3] = {{prefix.data(), prefix.size()},
                             {const_cast<char*>(text.data()), text.size()},
                             {&lineFeed, text.empty() || text.back() != '\n' ? std::size_t{1} : std::size_t{0}}};
    struct iovec* part = parts;
    int remaining = 3;
    while (remaining > 0) {
        ssize_t count = ::writev(STDERR_FILENO, part, remaining);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return;
        // A partial write: go on from where it stopped.
        auto written = static_cast<std::size_t>(count);
        while (remaining > 0 && written >= part->iov_len) {
            written -= part->iov_len;
            ++part;
            --remaining;
        }
        if (remaining > 0) {
            part->iov_base = static_cast<char*>(part->iov_base) + written;
            part->iov_len -= written;
        }
    }
}

}  // namespace gatewarden::posix
