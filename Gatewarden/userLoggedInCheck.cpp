#include "Gatewarden/userLoggedInCheck.h"

#include <algorithm>
#include <array>
#include <set>
#include <string_view>

#include "Gatewarden/main.h"
#include "reading/Utf8.h"

namespace gatewarden {

namespace {

constexpr std::size_t chunkSize = 1024;

// Reads until the chunk is full or the output has ended, so chunk boundaries do not depend on
// how the pipe happened to deliver the bytes.
std::string readChunk(ChildProcess& child) {
    std::string chunk(chunkSize, '\0');
    std::size_t filled = 0;
    while (filled < chunkSize) {
        std::size_t count = child.readSome(chunk.data() + filled, chunkSize - filled);
        if (count == 0) break;
        filled += count;
    }
    chunk.resize(filled);
    return chunk;
}

// The login names that stand for nobody.
bool isAbsentName(const std::optional<std::string>& name) {
    static const std::array<std::string_view, 7> absent{"NULL", "nil", "(null)", "<none>", "<null>", "root", ""};
    if (!name) return true;
    for (auto value : absent)
        if (*name == value) return true;
    return false;
}

// UTF-8 encodings of the characters each trim removes, besides the ASCII ones handled directly.
constexpr std::array<std::string_view, 3> lineBreaks{"\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9"};
constexpr std::array<std::string_view, 16> blanks{"\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81",
                                                  "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85",
                                                  "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89",
                                                  "\xE2\x80\x8A", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80"};

template <std::size_t N>
std::string trim(const std::string& text, std::string_view ascii, const std::array<std::string_view, N>& others) {
    std::string_view view = text;
    auto strip = [&](bool front) {
        for (bool changed = true; changed && !view.empty();) {
            changed = false;
            char edge = front ? view.front() : view.back();
            if (ascii.find(edge) != std::string_view::npos) {
                front ? view.remove_prefix(1) : view.remove_suffix(1);
                changed = true;
                continue;
            }
            for (auto other : others) {
                if (front ? view.starts_with(other) : view.ends_with(other)) {
                    front ? view.remove_prefix(other.size()) : view.remove_suffix(other.size());
                    changed = true;
                    break;
                }
            }
        }
    };
    strip(true);
    strip(false);
    return std::string(view);
}

// Appends a chunk's text. A chunk that is not UTF-8 is still logged as undecodable, but only its
// invalid bytes are lost: dropping it whole would drop every login on its lines.
void appendDecoded(Platform& platform, std::string_view bytes, std::string& result) {
    if (isUtf8(bytes)) {
        result += bytes;
        return;
    }
    platform.log("strsample is nil \n");
    result += decodeUtf8Replacing(bytes);
}

}  // namespace

std::string trimLineBreaks(const std::string& text) { return trim(text, "\n\v\f\r", lineBreaks); }

std::string trimBlanks(const std::string& text) { return trim(text, " \t", blanks); }

std::optional<std::string> GetOutputForExecution(Platform& platform, const std::string& launchPath,
                                                 const std::vector<std::string>& arguments) {
    std::string result;
    try {
        auto child = platform.startCommand(launchPath, arguments, StandardError::Inherit);
        std::string carried;
        for (std::string chunk; !(chunk = readChunk(*child)).empty();) {
            std::string bytes = carried + chunk;
            // A character that the boundary cut in two is completed by the next chunk.
            std::size_t tail = incompleteUtf8Tail(bytes);
            carried = bytes.substr(bytes.size() - tail);
            bytes.resize(bytes.size() - tail);
            appendDecoded(platform, bytes, result);
        }
        // Bytes that no chunk completed are no character: they are dropped, not turned into a
        // U+FFFD on a line of its own, which would count as one more login.
        if (!carried.empty()) platform.log("strsample is nil \n");
        child->wait();
    } catch (const PlatformException& exception) {
        platform.logFormat("Caught exception in ExecutePrcess:name%@: reason:%@\n", {exception.name, exception.reason});
        return std::nullopt;
    }
    return result;
}

std::vector<std::string> loggedOnUserNames(const std::string& whoOutput) {
    // Marking " console" and then " ttys" with ";" and cutting each line at its first ";" takes the
    // text before the first of ";", " console" and " ttys": neither marking can make or break an
    // occurrence of the other, and none spans a line feed. So each line is cut where it stands,
    // without copies of an output that may be many megabytes long.
    std::set<std::string> names;
    std::string_view rest = whoOutput;
    for (;;) {
        std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        std::size_t cut = std::min({line.find(';'), line.find(" console"), line.find(" ttys")});
        std::string name = trimBlanks(std::string(line.substr(0, cut)));
        if (!name.empty() && name != "_mbsetupuser" && name != "root") names.insert(std::move(name));
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return {names.begin(), names.end()};
}

std::optional<std::string> GetLoggedOnUsers(Platform& platform) {
    try {
        auto output = GetOutputForExecution(platform, "/bin/sh", {"-c", "/usr/bin/who"});
        if (!output || output->empty()) return std::nullopt;
        platform.logFormat("Logged Users details: \n %@\n", {*output});
        std::string joined;
        for (const auto& name : loggedOnUserNames(*output)) joined += (joined.empty() ? "" : ",") + name;
        platform.logFormat("Loggedon users - %@", {joined});
        return joined;
    } catch (const PlatformException& exception) {
        platform.logFormat("GetLoggedOnUsers: Exception occurred: %@,%@", {exception.name, exception.reason});
        return std::nullopt;
    }
}

int getUserLoginStatus(Platform& platform) {
    platform.log("Is Any User Logged in Check Begin ");
    std::optional<std::string> consoleUser = platform.currentUserName();
    if (isAbsentName(consoleUser)) {
        platform.log("Finding username via terminal");
        auto owner = GetOutputForExecution(platform, "/bin/sh", {"-c", "/bin/sh -c 'stat -f %Su /dev/console'"});
        consoleUser = owner ? std::optional(trimBlanks(trimLineBreaks(*owner))) : std::nullopt;
    }

    std::vector<std::string> idArguments{"-u"};
    if (consoleUser) idArguments.push_back(*consoleUser);
    auto uid = GetOutputForExecution(platform, "/usr/bin/id", idArguments);
    std::optional<std::string> uidText = uid ? std::optional(trimBlanks(trimLineBreaks(*uid))) : std::nullopt;
    platform.logFormat("Console User Info UID %@ Console User %@", {uidText, consoleUser});

    if (isAbsentName(consoleUser)) {
        platform.log("User Not Logged in console user is nil");
        return noConsoleUser;
    }
    platform.log("User Logged in, checking if more than one user logged in ....");
    auto users = GetLoggedOnUsers(platform);
    // The pieces of the list between its commas: the empty list is one piece, no list none.
    std::size_t count = users ? static_cast<std::size_t>(std::count(users->begin(), users->end(), ',')) + 1 : 0;
    if (count >= 2) {
        platform.log("More than one user logged in");
        return severalUsersLoggedIn;
    }
    platform.log("Only once user logged in");
    return updateMayStart;
}

}  // namespace gatewarden
