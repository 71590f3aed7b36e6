#pragma once

// What the bytes of a property list must be before either system's parser is given them.
//
// The parsers of both systems recurse without limit, expand a value that is referred to from many
// places once per reference, and Linux's reads malformed numbers ("1abc", "1.0" as an integer) as
// values. One walk over the bytes keeps all of that away from them, and makes the two systems
// refuse the same files. What the walk cannot vouch for is refused: a refused patch data file
// means that the login check runs, the safe side.

#include <cstddef>
#include <string_view>

namespace gatewarden {

// The agent's property lists are a few kilobytes, a few levels deep and hold a few dozen values.
constexpr std::size_t propertyListFileLimit = 16u << 20;
constexpr int propertyListDepthLimit = 128;
// Values once every reference is expanded: a few hundred bytes of shared references can stand
// for billions of them.
constexpr std::size_t propertyListValueLimit = 1'000'000;

// True when bytes are a property list that may be parsed:
// - XML: a plist document in the form Apple's reader takes, strictly: known elements only, keys
//   and values alternating in dictionaries, one value in <plist>, texts with the five named
//   entities and CDATA only, numbers, dates and data in their exact forms, valid UTF-8;
// - binary ("bplist00"): every reference in range and acyclic, dictionary keys texts, ASCII texts
//   ASCII, UTF-16 texts convertible, integers within 64 bits;
// - both: no NUL in a text (libplist would cut the text there, CoreFoundation would not);
//   at most propertyListDepthLimit levels below the top, at most propertyListValueLimit values
//   once shared references are expanded, at most propertyListFileLimit bytes.
bool propertyListFollowsRules(std::string_view bytes);

// The number forms an XML property list may hold. An integer is an optional sign and decimal
// digits, or "0x" and hexadecimal digits, within the signed 64-bit range. A real is an optional
// sign, digits with an optional fraction and exponent, or a word for not-a-number or infinity.
bool isPropertyListInteger(std::string_view text);
bool isPropertyListReal(std::string_view text);

}  // namespace gatewarden
