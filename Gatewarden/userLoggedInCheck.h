#pragma once

// Login state: command output capture and the logged-on user check.

#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace gatewarden {

// Everything launchPath writes to standard output, as text; nil when it could not be run. The
// output is read in chunks of at most 1024 bytes, each decoded by itself. A chunk that is not UTF-8
// is logged, and its invalid sequences become U+FFFD. A character cut by a chunk boundary is
// carried over to the next chunk.
std::optional<std::string> GetOutputForExecution(Platform& platform, const std::string& launchPath,
                                                 const std::vector<std::string>& arguments);

// The distinct login names in who's output, as GetLoggedOnUsers keeps them: the name before
// " console" or " ttys" on each line (the whole trimmed line otherwise), without empty names,
// "_mbsetupuser" and "root", in byte order.
std::vector<std::string> loggedOnUserNames(const std::string& whoOutput);

// The distinct logged-on users joined by ","; nil when who printed nothing or could not run.
std::optional<std::string> GetLoggedOnUsers(Platform& platform);

// 0 when a user is at the console and at most one distinct user is logged in, 54 when nobody is
// at the console, 55 when several users are logged in.
int getUserLoginStatus(Platform& platform);

// Foundation's trims: line breaks (U+000A to U+000D, U+0085, U+2028, U+2029), and blanks (tab and
// the Unicode space separators), from both ends.
std::string trimLineBreaks(const std::string& text);
std::string trimBlanks(const std::string& text);

}  // namespace gatewarden
