#include "reading/PropertyListRules.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "reading/Utf8.h"
#include "reading/Value.h"

namespace gatewarden {

namespace {

constexpr std::string_view blanks = " \t\r\n";
constexpr auto npos = std::string_view::npos;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The length of the run of decimal digits that text begins with.
std::size_t digitRun(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && isDigit(text[n])) ++n;
    return n;
}

// "2026-12-06T07:00:45Z", the one form dates are written in.
bool isPropertyListDate(std::string_view text) {
    constexpr std::string_view form = "0000-00-00T00:00:00Z";
    if (text.size() != form.size()) return false;
    for (std::size_t i = 0; i < form.size(); ++i)
        if (form[i] == '0' ? !isDigit(text[i]) : text[i] != form[i]) return false;
    return true;
}

bool isBase64(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || isDigit(c) || c == '+' || c == '/' || c == '=' ||
               blanks.find(c) != npos;
    });
}

// A walk over an XML property list, element by element, without recursion.
class XmlWalk {
public:
    explicit XmlWalk(std::string_view text) : text_(text) {}

    bool follows() {
        if (!isUtf8(text_) || text_.find('\0') != npos) return false;  // a NUL would cut a text short
        // The prolog: the declaration, comments, and a document type without an internal subset.
        for (;;) {
            if (!skipBetweenElements() || at_ == text_.size()) return false;
            if (!rest().starts_with("<!DOCTYPE")) break;
            std::size_t end = text_.find('>', at_);
            if (end == npos || text_.substr(at_, end - at_).find('[') != npos) return false;
            at_ = end + 1;
        }
        struct Open {
            std::string_view name;
            bool keyDue = true;   // a dictionary expects a key next
            bool filled = false;  // <plist> holds its value
        };
        std::vector<Open> open;
        int depth = 0;  // dictionaries and arrays open
        do {
            if (!skipBetweenElements() || !rest().starts_with("<")) return false;
            if (rest().starts_with("</")) {
                if (open.empty()) return false;
                const Open& element = open.back();
                if (!element.keyDue || (element.name == "plist" && !element.filled) || !closeTag(element.name))
                    return false;
                if (element.name != "plist") --depth;
                open.pop_back();
                continue;
            }
            std::size_t end = text_.find('>', at_);
            if (end == npos) return false;
            std::string_view tag = text_.substr(at_ + 1, end - at_ - 1);
            std::string_view name = tag.substr(0, tag.find_first_of(" \t\r\n/"));
            bool empty = tag.ends_with('/');
            at_ = end + 1;
            if (!open.empty()) {
                Open& parent = open.back();
                if (name == "plist" || parent.filled || (parent.name == "dict" && (name == "key") != parent.keyDue))
                    return false;
                if (parent.name == "dict") parent.keyDue = !parent.keyDue;
                if (parent.name == "plist") parent.filled = true;
            }
            if (depth > propertyListDepthLimit) return false;
            if (name == "plist" || name == "dict" || name == "array") {
                if (empty && name == "plist") return false;
                if (empty) continue;
                open.push_back({name, true, false});
                if (name != "plist") ++depth;
            } else if (name == "key" || name == "string") {
                if (!empty && !textContent(name)) return false;
            } else if (name == "true" || name == "false") {
                if (!empty && !closeTag(name)) return false;
            } else if (name == "integer") {
                if (empty || !scalar(name, isPropertyListInteger)) return false;
            } else if (name == "real") {
                if (empty || !scalar(name, isPropertyListReal)) return false;
            } else if (name == "date") {
                if (empty || !scalar(name, isPropertyListDate)) return false;
            } else if (name == "data") {
                if (empty || !scalar(name, isBase64)) return false;
            } else {
                return false;
            }
        } while (!open.empty());
        return skipBetweenElements() && at_ == text_.size();
    }

private:
    std::string_view rest() const { return text_.substr(at_); }

    // Moves past end, looked for from skip bytes on; false when it never comes.
    bool skipPast(std::size_t skip, std::string_view end) {
        std::size_t found = text_.find(end, at_ + skip);
        if (found == npos) return false;
        at_ = found + end.size();
        return true;
    }

    // Blanks, comments and processing instructions, which may stand between elements.
    bool skipBetweenElements() {
        for (;;) {
            at_ = std::min(text_.find_first_not_of(blanks, at_), text_.size());
            if (rest().starts_with("<!--")) {
                if (!skipPast(4, "-->")) return false;
            } else if (rest().starts_with("<?")) {
                if (!skipPast(2, "?>")) return false;
            } else {
                return true;
            }
        }
    }

    bool closeTag(std::string_view name) {
        if (!rest().starts_with("</") || !rest().substr(2).starts_with(name)) return false;
        at_ = std::min(text_.find_first_not_of(blanks, at_ + 2 + name.size()), text_.size());
        return rest().starts_with(">") && skipPast(0, ">");
    }

    // A key's or string's text: characters, the five named entities and CDATA sections. A comment
    // or a numeric reference is not read alike by every parser, so it is not taken.
    bool textContent(std::string_view name) {
        for (;;) {
            at_ = std::min(text_.find_first_of("<&", at_), text_.size());
            if (rest().starts_with("<![CDATA[")) {
                if (!skipPast(9, "]]>")) return false;
            } else if (rest().starts_with("&")) {
                std::string_view entity = rest().substr(0, rest().find(';') + 1);
                if (entity != "&lt;" && entity != "&gt;" && entity != "&amp;" && entity != "&apos;" &&
                    entity != "&quot;")
                    return false;
                at_ += entity.size();
            } else {
                return closeTag(name);
            }
        }
    }

    // A number's, date's or data's text, nothing but the value up to its closing tag.
    bool scalar(std::string_view name, bool (*valid)(std::string_view)) {
        std::size_t end = std::min(text_.find('<', at_), text_.size());
        std::string_view content = text_.substr(at_, end - at_);
        at_ = end;
        return valid(content) && closeTag(name);
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

// A walk over the graph of a binary property list's objects, from the top object, without
// recursion.
class BinaryWalk {
public:
    explicit BinaryWalk(std::string_view bytes) : bytes_(bytes) {}

    bool follows() {
        if (bytes_.size() < 8 + 32) return false;
        trailer_ = bytes_.size() - 32;
        offsetSize_ = byteAt(trailer_ + 6);
        referenceSize_ = byteAt(trailer_ + 7);
        std::uint64_t top = 0, table = 0;
        if (!number(trailer_ + 8, 8, objects_) || !number(trailer_ + 16, 8, top) || !number(trailer_ + 24, 8, table))
            return false;
        if (offsetSize_ == 0 || offsetSize_ > 8 || referenceSize_ == 0 || referenceSize_ > 8 || objects_ == 0 ||
            objects_ > propertyListValueLimit || top >= objects_ || table > trailer_ ||
            objects_ > (trailer_ - table) / offsetSize_)
            return false;
        table_ = static_cast<std::size_t>(table);

        // Height and expanded size of each object whose walk is done (height 0 while unknown);
        // onPath marks the objects of the current walk, so a cycle shows.
        std::vector<std::uint8_t> height(static_cast<std::size_t>(objects_), 0);
        std::vector<std::uint32_t> size(static_cast<std::size_t>(objects_), 0);
        std::vector<bool> onPath(static_cast<std::size_t>(objects_), false);
        struct Frame {
            Object object;
            std::uint64_t next = 0;
            unsigned tallest = 0;
            std::uint64_t values = 1;  // this object and everything below it, expanded
        };
        std::vector<Frame> path;
        auto enter = [&](std::uint64_t index) {
            Frame frame{};
            if (path.size() > static_cast<std::size_t>(propertyListDepthLimit) || !read(index, frame.object))
                return false;
            onPath[index] = true;
            path.push_back(frame);
            return true;
        };
        if (!enter(top)) return false;
        while (!path.empty()) {
            Frame& frame = path.back();
            if (frame.next == frame.object.references) {
                auto index = static_cast<std::size_t>(frame.object.index);
                unsigned own = frame.tallest + 1;
                std::uint64_t values = frame.values;
                onPath[index] = false;
                height[index] = static_cast<std::uint8_t>(own);
                size[index] = static_cast<std::uint32_t>(values);
                path.pop_back();
                if (!path.empty()) {
                    path.back().tallest = std::max(path.back().tallest, own);
                    if ((path.back().values += values) > propertyListValueLimit) return false;
                }
                continue;
            }
            std::uint64_t child = 0;
            bool key = frame.object.dictionary && frame.next < frame.object.references / 2;
            if (!number(frame.object.first + static_cast<std::size_t>(frame.next++) * referenceSize_, referenceSize_,
                        child) ||
                child >= objects_ || onPath[child] || (key && !isKey(child)))
                return false;
            if (height[child] == 0) {
                if (!enter(child)) return false;
                continue;
            }
            if (path.size() + height[child] > static_cast<std::size_t>(propertyListDepthLimit) + 1) return false;
            frame.tallest = std::max<unsigned>(frame.tallest, height[child]);
            if ((frame.values += size[child]) > propertyListValueLimit) return false;
        }
        return true;
    }

private:
    struct Object {
        std::uint64_t index = 0;
        unsigned type = 0;      // the marker's high four bits
        std::size_t first = 0;  // where its content (or its list of references) starts
        std::uint64_t count = 0;
        std::uint64_t references = 0;  // for arrays and sets their items, for dictionaries keys then values
        bool dictionary = false;
    };

    std::size_t byteAt(std::size_t offset) const { return static_cast<unsigned char>(bytes_[offset]); }

    // The big-endian unsigned number of size bytes at offset, which must lie before the trailer
    // or, for the trailer's own fields, within it.
    bool number(std::size_t offset, std::size_t size, std::uint64_t& value) const {
        if (size == 0 || size > 8 || offset > bytes_.size() || bytes_.size() - offset < size) return false;
        value = 0;
        for (std::size_t k = 0; k < size; ++k) value = value << 8 | byteAt(offset + k);
        return true;
    }

    // Where an object starts, its type, its count (of items, entries, bytes or code units), and
    // whether its own content is acceptable.
    bool read(std::uint64_t index, Object& object) const {
        std::uint64_t offset = 0;
        if (!number(table_ + static_cast<std::size_t>(index) * offsetSize_, offsetSize_, offset) || offset >= trailer_)
            return false;
        std::size_t marker = byteAt(static_cast<std::size_t>(offset));
        object.index = index;
        object.type = static_cast<unsigned>(marker >> 4);
        object.first = static_cast<std::size_t>(offset) + 1;
        object.count = marker & 0xF;
        bool counted = object.type >= 0x4 && object.type != 0x8;  // data, texts and collections
        if (counted && object.count == 0xF) {
            // A longer count follows as an integer object of its own, of 1 to 8 bytes.
            if (object.first >= trailer_ || byteAt(object.first) >> 4 != 0x1 || (byteAt(object.first) & 0xF) > 3)
                return false;
            std::size_t size = std::size_t{1} << (byteAt(object.first) & 0xF);
            if (!number(object.first + 1, size, object.count)) return false;
            object.first += 1 + size;
        }
        // The bytes of its content, which must lie before the offset table.
        std::uint64_t room = trailer_ - std::min(object.first, trailer_), units = object.count;
        switch (object.type) {
            case 0x1:  // an integer of 2^count bytes: 16 bytes only for a value within 64 bits
                return object.count <= 3 ? room >= (1u << object.count)
                                         : object.count == 4 && room >= 16 && sixteenByteIntegerFits(object.first);
            case 0x2:  // a real of 4 or 8 bytes
                return (object.count == 2 || object.count == 3) && room >= (1u << object.count);
            case 0x3:  // a date
                return room >= 8;
            case 0x4:  // data
                return units <= room;
            case 0x5:  // ASCII text, without a NUL: libplist would cut the text there
                return units <= room &&
                       std::all_of(bytes_.begin() + static_cast<std::ptrdiff_t>(object.first),
                                   bytes_.begin() + static_cast<std::ptrdiff_t>(object.first + units),
                                   [](char c) { return c > 0 && static_cast<unsigned char>(c) < 0x80; });
            case 0x6:  // UTF-16 text, without a NUL or an unpaired surrogate (which has no UTF-8 form)
                return units <= room / 2 && utf16Paired(object.first, units);
            case 0x8:  // a UID of count + 1 bytes
                return room > object.count;
            case 0xA:
            case 0xC:
            case 0xD:
                object.dictionary = object.type == 0xD;
                object.references = units * (object.dictionary ? 2 : 1);
                return units <= room && object.references <= room / referenceSize_;
            default:  // false, true, null and fill, whose marker is all there is
                return true;
        }
    }

    // A 16-byte integer is two's complement; its value fits 64 bits when the high half only
    // extends the low half's sign.
    bool sixteenByteIntegerFits(std::size_t first) const {
        std::uint64_t high = 0, low = 0;
        if (first + 16 > trailer_ || !number(first, 8, high) || !number(first + 8, 8, low)) return false;
        return high == (low >> 63 ? UINT64_MAX : 0);
    }

    bool utf16Paired(std::size_t first, std::uint64_t units) const {
        bool highBefore = false;
        for (std::size_t i = 0; i < units; ++i) {
            std::size_t unit = byteAt(first + 2 * i) << 8 | byteAt(first + 2 * i + 1);
            bool high = unit >= 0xD800 && unit <= 0xDBFF, low = unit >= 0xDC00 && unit <= 0xDFFF;
            if (unit == 0 || low != highBefore) return false;  // a low surrogate alone, or a high one not followed by one
            highBefore = high;
        }
        return !highBefore;
    }

    // A dictionary key is a text: libplist asserts, and so ends the process, on any other.
    bool isKey(std::uint64_t index) const {
        Object object;
        return read(index, object) && (object.type == 0x5 || object.type == 0x6);
    }

    std::string_view bytes_;
    std::size_t trailer_ = 0, table_ = 0, offsetSize_ = 0, referenceSize_ = 0;
    std::uint64_t objects_ = 0;
};

}  // namespace

bool isPropertyListInteger(std::string_view text) {
    bool negative = text.starts_with('-');
    std::string_view digits = text.substr(text.starts_with('-') || text.starts_with('+') ? 1 : 0);
    if (!digits.starts_with("0x") && !digits.starts_with("0X")) return parseSignedInteger(text).has_value();
    digits.remove_prefix(2);
    if (digits.empty() || digits.size() > 16) return false;
    std::uint64_t value = 0;
    for (char c : digits) {
        int digit = isDigit(c) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
        if (digit < 0) return false;
        value = value << 4 | static_cast<unsigned>(digit);
    }
    return value <= std::uint64_t{INT64_MAX} + (negative ? 1 : 0);
}

bool isPropertyListReal(std::string_view text) {
    for (std::string_view word : {"nan", "inf", "+inf", "-inf", "infinity", "+infinity", "-infinity"})
        if (equalsIgnoringCase(text, word)) return true;
    if (text.starts_with('+') || text.starts_with('-')) text.remove_prefix(1);
    std::size_t whole = digitRun(text), fraction = 0;
    text.remove_prefix(whole);
    if (text.starts_with('.')) {
        text.remove_prefix(1);
        fraction = digitRun(text);
        text.remove_prefix(fraction);
    }
    if (whole + fraction == 0) return false;
    if (text.starts_with('e') || text.starts_with('E')) {
        text.remove_prefix(1);
        if (text.starts_with('+') || text.starts_with('-')) text.remove_prefix(1);
        std::size_t exponent = digitRun(text);
        if (exponent == 0) return false;
        text.remove_prefix(exponent);
    }
    return text.empty();
}

bool propertyListFollowsRules(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > propertyListFileLimit) return false;
    return bytes.starts_with("bplist00") ? BinaryWalk(bytes).follows() : XmlWalk(bytes).follows();
}

}  // namespace gatewarden
