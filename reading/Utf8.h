#pragma once

// UTF-8 as the tool reads it from commands and files: strictly, or with each invalid sequence
// replaced.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace gatewarden {

// Strict UTF-8: overlong forms, surrogates, code points above U+10FFFF and truncated sequences
// are not UTF-8, and decode to nothing.
bool isUtf8(std::string_view bytes);
std::optional<std::string> decodeUtf8(std::string_view bytes);

// The bytes as UTF-8 text, each invalid sequence (the longest start of a sequence that cannot be
// completed, at least one byte) replaced by U+FFFD and the rest kept.
std::string decodeUtf8Replacing(std::string_view bytes);

// Valid UTF-8 as UTF-16 code units, a character beyond U+FFFF as its surrogate pair.
std::u16string utf16Of(std::string_view utf8);

// The length of a trailing, incomplete but so far valid UTF-8 sequence (0 to 3 bytes), which
// more bytes may still complete.
std::size_t incompleteUtf8Tail(std::string_view bytes);

}  // namespace gatewarden
