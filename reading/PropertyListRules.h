#pragma once

// What the bytes of a property list must be before either system's parser is given them.
//
// macOS reads property lists with CoreFoundation, Linux with libplist, and the two differ on almost
// everything that Apple's own writer does not write: other encodings, comments, attributes, CDATA,
// lenient numbers, binary layouts that one of them checks and the other does not. Both recurse
// without limit, and both expand a value that is referred to from many places once per reference.
// So only what Apple's writer writes is let through, in the encoding it was written in, within
// limits of size: the two parsers read every such file alike. Everything else is refused, and a
// refused patch data file means that the login check runs, the safe side.

#include <cstddef>
#include <string_view>

namespace gatewarden {

// The agent's property lists are a few kilobytes, a few levels deep and hold a few dozen values.
constexpr std::size_t propertyListFileLimit = 16u << 20;
constexpr int propertyListDepthLimit = 128;
// Values once every reference is expanded: a few hundred bytes of shared references can stand
// for billions of them.
constexpr std::size_t propertyListValueLimit = 1'000'000;

// True when bytes are a property list that may be parsed: at most propertyListFileLimit bytes,
// at most propertyListDepthLimit levels below the top, at most propertyListValueLimit values once
// shared references are expanded, no NUL in a text (libplist would cut the text there), no key
// twice in one dictionary, and either of:
bool propertyListFollowsRules(std::string_view bytes);

// XML exactly as Apple's writer lays it out: its declaration (UTF-8) and document type, then
// <plist version="1.0">, elements without attributes with blanks between them, texts with "&lt;",
// "&gt;" and "&amp;" for the three characters the writer escapes, and numbers, dates and data in
// the forms below. A dictionary whose only key is "CF$UID" holding a number is refused: Apple's
// reader turns it into an archiver's UID, which the tool cannot read on either system.
bool xmlPropertyListFollowsRules(std::string_view bytes);

// "bplist00" with every check Apple's reader makes (the offset table exactly fills the space
// before the trailer, every entry points into the objects, references and offsets wide enough
// for what they address, every object within the objects), and of its object kinds only those
// Apple's writer writes for property lists: booleans, integers (16-byte ones below 2^64), reals,
// dates, data, ASCII and UTF-16 texts, arrays and dictionaries with text keys. Every reference in
// range and without a cycle.
bool binaryPropertyListFollowsRules(std::string_view bytes);

// The forms Apple's writer gives values in XML:
// - an integer: "0", or an optional "-" and digits without a leading zero, from -2^63 to 2^64 - 1;
// - a real: "nan", "+infinity", "-infinity", or an optional "-", digits, an optional fraction and
//   an optional exponent ("0.0", "1", "0.10000000000000001", "1e+300");
// - a date: "2026-12-06T07:00:45Z", the year of at least four characters ("0099", "-001",
//   "12345") and below 2^31;
// - data: canonical base64, with blanks anywhere.
bool isPropertyListInteger(std::string_view text);
bool isPropertyListReal(std::string_view text);
bool isPropertyListDate(std::string_view text);
bool isPropertyListData(std::string_view text);

// A text of an XML property list as Apple's reader reads it: a U+FEFF at its start is taken for a
// byte-order mark and left out.
std::string_view withoutByteOrderMark(std::string_view text);

}  // namespace gatewarden
