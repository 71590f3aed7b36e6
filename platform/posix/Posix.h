#pragma once

// What macOS and Linux share: descriptors, child processes, file tests, the user database and the
// standard-error copy of each log record.

#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace gatewarden::posix {

// Owns one file descriptor and closes it when it goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

// Starts a child as Platform::startCommand describes. Every descriptor of the tool but standard
// input, standard output (the pipe) and standard error is closed in the child.
std::unique_ptr<ChildProcess> startCommand(const std::string& launchPath, const std::vector<std::string>& arguments,
                                           StandardError standardError);

// The standard descriptors a child inherits as they are: standard input, and standard error when
// it is not captured; only those that are open. macOS fails the whole spawn when asked to pass on a
// closed one, and a stream closed in the tool stays closed in the child.
std::vector<int> inheritedStandardDescriptors(StandardError standardError);

bool fileExists(const std::string& path);

std::optional<std::string> currentUserName();

std::int32_t processId();

// Reads the whole of a regular file without blocking on a FIFO or a device; nothing when the path
// is missing, unreadable, not a regular file, or longer than limit bytes.
std::optional<std::string> readSmallFile(const std::string& path, std::size_t limit);

// Writes "YYYY-MM-DD HH:MM:SS.mmm program[pid:tid] text" to standard error, in local time, with a
// line feed unless text ends with one, in one write. Errors are ignored: logging never fails.
void writeStandardErrorRecord(std::string_view program, std::string_view text);

}  // namespace gatewarden::posix
