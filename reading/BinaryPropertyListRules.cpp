// The binary rules: every check Apple's reader makes, so that libplist is never given a file that
// Apple's reader refuses, and only the object kinds Apple's writer writes for property lists.

#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "reading/PropertyListRules.h"
#include "reading/ReaderTables.h"

namespace gatewarden {

namespace {

constexpr std::size_t headerSize = 8, trailerSize = 32;

// A walk over the graph of a binary property list's objects, from the top object, without
// recursion.
class BinaryWalk {
public:
    explicit BinaryWalk(std::string_view bytes) : bytes_(bytes) {}

    bool follows() { return layoutFollows() && graphFollows() && keysFollow(); }

private:
    struct Object {
        std::uint64_t index = 0;
        std::size_t first = 0;         // where its content (or its list of references) starts
        std::size_t type = 0;          // the marker's high four bits
        std::uint64_t count = 0;       // of items, entries, bytes or code units
        std::uint64_t references = 0;  // for arrays their items, for dictionaries keys then values
        std::size_t bytes = 0;         // of a text in UTF-8, or of data
    };

    // The trailer and the offset table, as Apple's reader checks them before any object.
    bool layoutFollows() {
        if (bytes_.size() < headerSize + 1 + trailerSize) return false;
        std::size_t trailer = bytes_.size() - trailerSize;
        offsetSize_ = byteAt(trailer + 6);
        referenceSize_ = byteAt(trailer + 7);
        objects_ = number(trailer + 8, 8);
        std::uint64_t top = number(trailer + 16, 8), table = number(trailer + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || referenceSize_ < 1 || referenceSize_ > 8 || objects_ == 0 ||
            objects_ > trailer - table || top >= objects_ || table < headerSize + 1 || table >= trailer)
            return false;
        // The table fills the bytes between the objects and the trailer exactly, and its entries
        // and the references are wide enough for the table's position and the number of objects.
        if (trailer - table != objects_ * offsetSize_ || (offsetSize_ < 8 && table >> (8 * offsetSize_) != 0) ||
            (referenceSize_ < 8 && objects_ >> (8 * referenceSize_) != 0))
            return false;
        table_ = static_cast<std::size_t>(table);
        top_ = top;
        // Every entry, used or not, points past the header and before the table.
        for (std::uint64_t index = 0; index < objects_; ++index)
            if (offsetOf(index) < headerSize || offsetOf(index) >= table_) return false;
        return true;
    }

    bool graphFollows() {
        // Height and expansion of each object whose walk is done (height 0 while unknown); onPath
        // marks the objects of the current walk, so that a cycle shows. Each object is read and
        // walked once, however many references name it.
        auto objects = static_cast<std::size_t>(objects_);
        std::vector<std::uint8_t> height(objects, 0);
        std::vector<Expansion> expansion(objects);
        std::vector<bool> onPath(objects, false);
        keySlot_.assign(objects, 0);
        const Expansion limit = propertyListExpansionLimit(bytes_.size());
        auto within = [&](Expansion& total, const Expansion& more) {
            total.values += more.values, total.bytes += more.bytes;
            return total.values <= limit.values && total.bytes <= limit.bytes;
        };
        struct Frame {
            Object object;
            std::uint64_t next = 0;
            unsigned tallest = 0;
            Expansion below;  // this object and everything below it, expanded
        };
        std::vector<Frame> path;
        auto enter = [&](std::uint64_t index) {
            Frame frame{};
            if (path.size() > static_cast<std::size_t>(propertyListDepthLimit) || !read(index, frame.object) ||
                (frame.object.type == 0xD && !keysAreTexts(frame.object)))
                return false;
            frame.below = {1, frame.object.bytes};
            onPath[index] = true;
            path.push_back(frame);
            return true;
        };
        if (!enter(top_)) return false;
        while (!path.empty()) {
            Frame& frame = path.back();
            if (frame.next == frame.object.references) {
                auto index = static_cast<std::size_t>(frame.object.index);
                unsigned own = frame.tallest + 1;
                onPath[index] = false;
                height[index] = static_cast<std::uint8_t>(own);
                expansion[index] = frame.below;
                path.pop_back();
                if (!path.empty()) {
                    path.back().tallest = std::max(path.back().tallest, own);
                    if (!within(path.back().below, expansion[index])) return false;
                }
                continue;
            }
            std::uint64_t child = reference(frame.object, frame.next++);
            if (onPath[child]) return false;
            if (height[child] == 0) {
                if (!enter(child)) return false;
                continue;
            }
            if (path.size() + height[child] > static_cast<std::size_t>(propertyListDepthLimit) + 1) return false;
            frame.tallest = std::max<unsigned>(frame.tallest, height[child]);
            if (!within(frame.below, expansion[child])) return false;
        }
        return true;
    }

    std::size_t byteAt(std::size_t offset) const { return static_cast<unsigned char>(bytes_[offset]); }

    // The big-endian unsigned number of size bytes at offset, which the caller has checked to lie
    // within the file.
    std::uint64_t number(std::size_t offset, std::size_t size) const {
        std::uint64_t value = 0;
        for (std::size_t k = 0; k < size; ++k) value = value << 8 | byteAt(offset + k);
        return value;
    }

    std::uint64_t offsetOf(std::uint64_t index) const {
        return number(table_ + static_cast<std::size_t>(index) * offsetSize_, offsetSize_);
    }

    // The object that reference number k of a collection names; read checked that it exists.
    std::uint64_t reference(const Object& object, std::uint64_t k) const {
        return number(object.first + static_cast<std::size_t>(k) * referenceSize_, referenceSize_);
    }

    // Where an object starts, what it holds, and whether its content is acceptable and lies
    // before the offset table.
    bool read(std::uint64_t index, Object& object) const {
        auto offset = static_cast<std::size_t>(offsetOf(index));
        std::size_t marker = byteAt(offset);
        object.index = index;
        object.first = offset + 1;
        std::size_t type = object.type = marker >> 4;
        std::uint64_t& count = object.count = marker & 0xF;
        if ((type == 0x4 || type == 0x5 || type == 0x6 || type == 0xA || type == 0xD) && count == 0xF) {
            // A longer count follows as an integer object of its own, of 1 to 8 bytes.
            if (object.first >= table_ || byteAt(object.first) >> 4 != 0x1 || (byteAt(object.first) & 0xF) > 3)
                return false;
            std::size_t size = std::size_t{1} << (byteAt(object.first) & 0xF);
            if (table_ - object.first - 1 < size) return false;
            count = number(object.first + 1, size);
            object.first += 1 + size;
        }
        std::uint64_t room = table_ - object.first;
        switch (type) {
            case 0x0:  // false and true; null and fill are no property-list values
                return marker == 0x08 || marker == 0x09;
            case 0x1:  // an integer of 2^count bytes: 16 bytes only for a value below 2^64
                return count <= 3 ? room >= (1u << count) : count == 4 && room >= 16 && highHalfIsZero(object.first);
            case 0x2:  // a real of 4 or 8 bytes
                return (count == 2 || count == 3) && room >= (1u << count);
            case 0x3:  // a date
                return marker == 0x33 && room >= 8;
            case 0x4:  // data
                object.bytes = static_cast<std::size_t>(count);
                return count <= room;
            case 0x5:  // ASCII text, without a NUL: libplist would cut the text there
                object.bytes = static_cast<std::size_t>(count);
                return count <= room &&
                       std::all_of(bytes_.begin() + static_cast<std::ptrdiff_t>(object.first),
                                   bytes_.begin() + static_cast<std::ptrdiff_t>(object.first + count),
                                   [](char c) { return c != 0 && static_cast<unsigned char>(c) < 0x80; });
            case 0x6: {  // UTF-16 text: Apple's reader refuses an empty one (Apple's writer writes ASCII)
                if (count == 0 || count > room / 2) return false;
                auto length = utf8Length(object.first, count);
                object.bytes = length.value_or(0);
                return length.has_value();
            }
            case 0xA:
            case 0xD:
                object.references = count * (type == 0xD ? 2 : 1);
                return count <= room && object.references <= room / referenceSize_ && allReferencesInRange(object);
            default:  // UIDs, sets and kinds that no writer of property lists writes
                return false;
        }
    }

    bool allReferencesInRange(const Object& object) const {
        for (std::uint64_t k = 0; k < object.references; ++k)
            if (reference(object, k) >= objects_) return false;
        return true;
    }

    // Apple's reader reads only the low half of a 16-byte integer, as unsigned: a value of 2^64 or
    // more, or below zero, would be read as another one.
    bool highHalfIsZero(std::size_t first) const {
        return std::all_of(bytes_.begin() + static_cast<std::ptrdiff_t>(first),
                           bytes_.begin() + static_cast<std::ptrdiff_t>(first + 8), [](char c) { return c == 0; });
    }

    // Code unit i of a UTF-16 text whose units start at first.
    std::size_t unitAt(std::size_t first, std::size_t i) const {
        return byteAt(first + 2 * i) << 8 | byteAt(first + 2 * i + 1);
    }

    // The length in UTF-8 of a UTF-16 text, or nothing when it holds a NUL or an unpaired surrogate,
    // which has no UTF-8 form.
    std::optional<std::size_t> utf8Length(std::size_t first, std::uint64_t units) const {
        std::size_t length = 0;
        bool highBefore = false;
        for (std::size_t i = 0; i < units; ++i) {
            std::size_t unit = unitAt(first, i);
            bool high = unit >= 0xD800 && unit <= 0xDBFF, low = unit >= 0xDC00 && unit <= 0xDFFF;
            if (unit == 0 || low != highBefore)
                return std::nullopt;  // a low surrogate alone, or a high one not followed by one
            highBefore = high;
            length += unit < 0x80 ? 1 : unit < 0x800 || high || low ? 2 : 3;  // a pair takes 4
        }
        if (highBefore) return std::nullopt;
        return length;
    }

    // Keys are texts (libplist asserts, and so ends the process, on any other). Each key object is
    // read once, however many dictionaries name it.
    bool keysAreTexts(const Object& dictionary) {
        for (std::uint64_t k = 0; k < dictionary.references / 2; ++k) {
            auto index = static_cast<std::size_t>(reference(dictionary, k));
            if (keySlot_[index] != 0) continue;
            Object key;
            if (!read(index, key) || (key.type != 0x5 && key.type != 0x6)) return false;
            keys_.push_back(key);
            keySlot_[index] = static_cast<std::uint32_t>(keys_.size());
        }
        dictionaries_.push_back(dictionary);
        return true;
    }

    // No two keys of a dictionary are the same text, whether stored as ASCII or as UTF-16, and the
    // readers' tables spend no more on the keys than the file allows. Each key object's text is
    // taken once and stands for an id from then on; equal texts are found by sorting, not through a
    // hash whose function and seed anyone can read.
    bool keysFollow() {
        struct Text {
            bool utf16;
            std::string_view bytes;
            std::size_t key;  // its place in keys_
        };
        std::vector<Text> texts;
        std::deque<std::string> asciiCopies;  // of UTF-16 keys that hold only ASCII
        std::vector<TableKey> tableKeys;
        for (const Object& key : keys_) {
            bool ascii = key.type == 0x5;
            std::size_t units = static_cast<std::size_t>(key.count);
            std::u16string text(units, u'\0');
            for (std::size_t i = 0; i < units; ++i)
                text[i] = static_cast<char16_t>(ascii ? byteAt(key.first + i) : unitAt(key.first, i));
            tableKeys.push_back({coreFoundationTextHash(text), units});
            std::string_view bytes = bytes_.substr(key.first, ascii ? units : 2 * units);
            if (!ascii && std::all_of(text.begin(), text.end(), [](char16_t unit) { return unit < 0x80; }))
                bytes = asciiCopies.emplace_back(text.begin(), text.end()), ascii = true;
            texts.push_back({!ascii, bytes, texts.size()});
        }
        std::sort(texts.begin(), texts.end(),
                  [](const Text& a, const Text& b) { return a.utf16 != b.utf16 ? b.utf16 : a.bytes < b.bytes; });
        std::vector<std::uint32_t> ids(texts.size(), 0);
        for (std::size_t k = 0; k < texts.size(); ++k) {
            bool same = k > 0 && texts[k].utf16 == texts[k - 1].utf16 && texts[k].bytes == texts[k - 1].bytes;
            ids[texts[k].key] = same ? ids[texts[k - 1].key] : static_cast<std::uint32_t>(k + 1);
        }
        CoreFoundationTableWork work(bytes_.size());
        for (const Object& dictionary : dictionaries_) {
            std::vector<std::uint32_t> named;
            std::vector<TableKey> inserted;
            for (std::uint64_t k = 0; k < dictionary.references / 2; ++k) {
                std::size_t key = keySlot_[static_cast<std::size_t>(reference(dictionary, k))] - 1;
                named.push_back(ids[key]);
                inserted.push_back(tableKeys[key]);
            }
            std::sort(named.begin(), named.end());
            if (std::adjacent_find(named.begin(), named.end()) != named.end() || !work.addDictionary(inserted, false))
                return false;
        }
        return true;
    }

    std::string_view bytes_;
    std::size_t table_ = 0, offsetSize_ = 0, referenceSize_ = 0;
    std::uint64_t objects_ = 0, top_ = 0;
    std::vector<std::uint32_t> keySlot_;  // of each object read as a key, its place in keys_ plus 1, else 0
    std::vector<Object> keys_;            // each key object once
    std::vector<Object> dictionaries_;    // each dictionary once
};

}  // namespace

bool binaryPropertyListFollowsRules(std::string_view bytes) { return BinaryWalk(bytes).follows(); }

}  // namespace gatewarden
