#pragma once

// Everything the tool learns from or does to the machine goes through this interface. The checks
// above it are the same on every operating system; each OS has one implementation below it.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reading/Value.h"

namespace gatewarden {

// A value for a "%@" placeholder: a text, or absent. It refers to the caller's text, which may be
// large (a whole command output), rather than copying it.
using FormatValue = std::optional<std::string_view>;

// Raised by the platform when a command cannot be started. Only the command-output capture of the
// login checks catches it; everything else that starts commands decides for itself.
struct PlatformException {
    std::string name;
    std::string reason;
};

// A started child whose standard output (and, if asked, standard error) is a pipe to the tool.
// Destroying it closes the pipe and reaps the child, on every path.
class ChildProcess {
public:
    virtual ~ChildProcess() = default;
    // Reads what is available, at most capacity bytes, waiting while there is nothing yet.
    // 0 means that every writer has closed the pipe.
    virtual std::size_t readSome(char* buffer, std::size_t capacity) = 0;
    // Waits for the child to end. The exit status, or the signal number when a signal ended it.
    virtual std::int32_t wait() = 0;

    // Everything up to the end of the output.
    std::string readToEnd();
};

enum class StandardError {
    Inherit,   // the child writes to the tool's own standard error
    Captured,  // the child's standard error goes into the same pipe as its standard output
};

// One power source, as the checks read it, and its rendering for the log.
struct PowerSource {
    Value entry;
    std::string description;
};

// A power source from the platform's entry. A dictionary is rendered by describe, on one stable
// line; anything else (which the battery check does not take) by the name of its type.
PowerSource makePowerSource(std::optional<Value> entry, std::string_view typeName);

// The volume's available capacity: a byte count, no value, or an error with its rendering.
struct VolumeCapacity {
    std::optional<std::int64_t> bytes;
    std::optional<std::string> error;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Writes one record, verbatim: no character of text is interpreted. Never fails its caller.
    virtual void log(std::string_view text) = 0;

    // Starts launchPath (absolute, used unchanged) with arguments, without a shell. Standard input,
    // environment and working directory are inherited. Throws PlatformException when it cannot start.
    virtual std::unique_ptr<ChildProcess> startCommand(const std::string& launchPath,
                                                       const std::vector<std::string>& arguments,
                                                       StandardError standardError) = 0;

    // True when a file or directory exists at path.
    virtual bool fileExists(const std::string& path) = 0;

    // The top-level dictionary of the property list at path, or nothing.
    virtual std::optional<Dictionary> readPropertyList(const std::string& path) = 0;

    // The login name of the user the tool runs as, or nothing when it has none.
    virtual std::optional<std::string> currentUserName() = 0;

    virtual std::int32_t processId() = 0;

    // The machine's power sources in the platform's order; empty when it has none.
    virtual std::vector<PowerSource> powerSources() = 0;

    // The space that the volume holding "/" can still take for important use.
    virtual VolumeCapacity availableCapacity() = 0;

    // Logs a format in which each "%@" takes the next value, "(null)" for an absent one. Nothing
    // else in the format or in the values is interpreted.
    void logFormat(std::string_view format, std::initializer_list<FormatValue> values);
};

// Fills "%@" placeholders in order; a placeholder without a value stays as it is.
std::string substitutePlaceholders(std::string_view format, std::initializer_list<FormatValue> values);

}  // namespace gatewarden
