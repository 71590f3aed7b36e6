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

// The agent's property lists are a few kilobytes, a few levels deep and hold a few dozen values. The
// limits leave a margin of hundreds and keep the costliest file they admit to a fraction of a second
// on both systems' readers, and to no more than about twice what an ordinary file of the same size
// costs.
constexpr std::size_t propertyListFileLimit = 1u << 20;
constexpr int propertyListDepthLimit = 64;

// What a file may stand for once every shared reference is expanded, as the parsers and the
// conversion into values build it: values (keys included), and the bytes of texts, keys and data
// (texts in UTF-8). A few hundred bytes of shared references can stand for billions of either, so
// both grow only with the file: the densest of a thousand real property lists holds one value per
// 3.1 bytes, and an ordinary one expands to about its own size. The constants leave room for a
// small file that refers to one text a few thousand times.
struct Expansion {
    std::size_t values = 0, bytes = 0;
};
constexpr Expansion propertyListExpansionLimit(std::size_t fileBytes) {
    return {4096 + fileBytes / 3, (256u << 10) + 2 * fileBytes};
}

// What a conversion into values may still build of a file's expansion limit: each value is charged
// as it is built, so that a conversion never builds more than the rules admitted, whatever the
// system's parser shares between references.
class ExpansionBudget {
public:
    explicit ExpansionBudget(std::size_t fileBytes) : left_(propertyListExpansionLimit(fileBytes)) {}
    // One value holding bytes of text, key or data; false once the limit is passed.
    bool charge(std::size_t bytes) {
        if (left_.values == 0 || left_.bytes < bytes) return false;
        --left_.values, left_.bytes -= bytes;
        return true;
    }

private:
    Expansion left_;
};

// True when bytes are a property list that may be parsed: at most propertyListFileLimit bytes,
// at most propertyListDepthLimit levels below the top, within propertyListExpansionLimit once
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
// for what they address, every object within the objects, no empty UTF-16 text), and of its object
// kinds only those Apple's writer writes for property lists: booleans, integers (16-byte ones below
// 2^64), reals, dates, data, ASCII and UTF-16 texts, arrays and dictionaries with text keys. Every
// reference in range and without a cycle.
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
