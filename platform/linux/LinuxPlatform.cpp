#include "platform/linux/LinuxPlatform.h"

#include <sys/statvfs.h>
#include <syslog.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/posix/Posix.h"
#include "reading/PropertyListRules.h"

namespace gatewarden {

LinuxPlatform::LinuxPlatform(std::string program, std::string powerSupplyFolder)
    : program_(std::move(program)), powerSupplyFolder_(std::move(powerSupplyFolder)) {
    // syslog keeps the ident pointer, which program_ outlives as long as this object lives.
    ::openlog(program_.c_str(), LOG_PID, LOG_USER);
}

LinuxPlatform::~LinuxPlatform() { ::closelog(); }

void LinuxPlatform::log(std::string_view text) {
    // A syslog record travels as one datagram, which the socket refuses beyond a few hundred
    // kilobytes; a longer record (a huge command output) goes to syslog cut at this length and
    // whole to standard error.
    constexpr std::size_t syslogLimit = 64 * 1024;
    ::syslog(LOG_NOTICE, "%.*s", static_cast<int>(std::min(text.size(), syslogLimit)), text.data());
    posix::writeStandardErrorRecord(program_, text);
}

std::unique_ptr<ChildProcess> LinuxPlatform::startCommand(const std::string& launchPath,
                                                          const std::vector<std::string>& arguments,
                                                          StandardError standardError) {
    return posix::startCommand(launchPath, arguments, standardError);
}

bool LinuxPlatform::fileExists(const std::string& path) { return posix::fileExists(path); }

std::optional<Dictionary> LinuxPlatform::readPropertyList(const std::string& path) {
    auto bytes = posix::readSmallFile(path, propertyListFileLimit);
    if (!bytes) return std::nullopt;
    return parsePropertyList(*bytes);
}

std::optional<std::string> LinuxPlatform::currentUserName() { return posix::currentUserName(); }

std::int32_t LinuxPlatform::processId() { return posix::processId(); }

std::vector<PowerSource> LinuxPlatform::powerSources() { return readPowerSupplies(powerSupplyFolder_); }

VolumeCapacity LinuxPlatform::availableCapacity() {
    struct statvfs info;
    if (::statvfs("/", &info) != 0) return {std::nullopt, std::string("statvfs(\"/\"): ") + std::strerror(errno)};
    std::uint64_t bytes = 0;
    if (__builtin_mul_overflow(static_cast<std::uint64_t>(info.f_bavail), static_cast<std::uint64_t>(info.f_frsize),
                               &bytes) ||
        bytes > static_cast<std::uint64_t>(INT64_MAX))
        return {std::nullopt, std::nullopt};
    return {static_cast<std::int64_t>(bytes), std::nullopt};
}

}  // namespace gatewarden

namespace gatewarden {

std::unique_ptr<Platform> makePlatform(const std::string& program) { return std::make_unique<LinuxPlatform>(program); }

}  // namespace gatewarden
