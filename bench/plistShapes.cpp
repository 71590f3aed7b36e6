// Writes a patch data file of one shape, as large as both the given size and the reading rules
// allow, to standard output: plistShapes SHAPE BYTES [STATUS]. Its top dictionary holds
// "OSPatchingViaMDMStatus" = 1, so that a run that read it ends with 0, or the given STATUS: with 0,
// a run that read it goes on to the login check as one that refused it does.
//
// "ordinary-xml" and "ordinary-binary" are what the agent writes, grown: records of a patch list, in
// the layout of Apple's writer, which stores an equal text, number or date once in binary. The other
// shapes are those that cost the readers most per byte: long dictionaries, arrays and keys, and in
// binary the references that make a small file stand for a large tree (keys shared by many
// dictionaries, one text named many times, arrays that hold the next one twice). Then keys chosen to
// fall together in a reader's table, made against the rules' model of each table: all of them
// ("one-bucket-xml", "one-cf-hash-xml", "one-cf-hash-binary", "cf-windows-xml",
// "cf-shared-keys"), which the rules refuse, or the most of them the rules still take among
// ordinary keys of the same length ("...-admitted", and "one-bucket-xml-spread" with ordinary keys
// only); and keys of one std::hash, which the rules once identified keys by ("one-std-hash-binary").

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "reading/PropertyListRules.h"
#include "reading/ReaderTables.h"

namespace {

using gatewarden::propertyListExpansionLimit;

// An object of a binary property list: its encoded bytes, or a collection's marker and references.
struct Object {
    std::string bytes;
    int marker = 0;  // 0xA0 for an array, 0xD0 for a dictionary
    std::vector<std::size_t> references;
};

std::string bigEndian(std::uint64_t value, int size) {
    std::string out(static_cast<std::size_t>(size), '\0');
    for (int k = size - 1; k >= 0; --k, value >>= 8) out[static_cast<std::size_t>(k)] = static_cast<char>(value);
    return out;
}

int widthFor(std::uint64_t largest) {
    return largest < 1u << 8 ? 1 : largest < 1u << 16 ? 2 : largest < 1ull << 32 ? 4 : 8;
}

// A marker with its count, as Apple's writer writes it: in its low four bits, or after it as an integer.
std::string counted(int marker, std::size_t count) {
    if (count < 15) return std::string(1, static_cast<char>(marker | static_cast<int>(count)));
    int width = widthFor(count), power = width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3;
    return std::string(1, static_cast<char>(marker | 0xF)) + static_cast<char>(0x10 | power) + bigEndian(count, width);
}

std::uint64_t status = 1;  // of the patch data

class Binary {
public:
    std::size_t add(Object object) { return objects_.push_back(std::move(object)), objects_.size() - 1; }
    // A text, number, date or boolean is stored once, as Apple's writer does.
    std::size_t scalar(const std::string& bytes) {
        auto found = scalars_.find(bytes);
        return found != scalars_.end() ? found->second : scalars_[bytes] = add({bytes, 0, {}});
    }
    std::size_t text(const std::string& text) { return scalar(counted(0x50, text.size()) + text); }
    std::size_t integer(std::uint64_t value) { return scalar("\x13" + bigEndian(value, 8)); }
    std::size_t array(std::vector<std::size_t> items) { return add({"", 0xA0, std::move(items)}); }
    std::size_t dictionary(const std::vector<std::pair<std::size_t, std::size_t>>& entries) {
        Object object{"", 0xD0, {}};
        for (const auto& entry : entries) object.references.push_back(entry.first);
        for (const auto& entry : entries) object.references.push_back(entry.second);
        return add(std::move(object));
    }
    // The file, with top as its top object.
    std::string file(std::size_t top) const {
        int reference = widthFor(objects_.size());
        std::string body = "bplist00";
        std::vector<std::size_t> offsets;
        for (const auto& object : objects_) {
            offsets.push_back(body.size());
            if (!object.marker) {
                body += object.bytes;
                continue;
            }
            std::size_t count = object.references.size() / (object.marker == 0xD0 ? 2 : 1);
            body += counted(object.marker, count);
            for (auto index : object.references) body += bigEndian(index, reference);
        }
        int offset = widthFor(body.size());
        std::string table;
        for (auto at : offsets) table += bigEndian(at, offset);
        return body + table + std::string(6, '\0') + static_cast<char>(offset) + static_cast<char>(reference) +
               bigEndian(objects_.size(), 8) + bigEndian(top, 8) + bigEndian(body.size(), 8);
    }

private:
    std::vector<Object> objects_;
    std::map<std::string, std::size_t> scalars_;
};

// The top dictionary of a binary file: the status, then the shape's own entries.
std::string binaryFile(Binary& binary, std::vector<std::pair<std::size_t, std::size_t>> entries) {
    entries.insert(entries.begin(), {binary.text("OSPatchingViaMDMStatus"), binary.integer(status)});
    std::size_t top = binary.dictionary(entries);
    return binary.file(top);
}

std::string xmlFile(const std::string& entries) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n<dict>\n"
           "\t<key>OSPatchingViaMDMStatus</key>\n\t<integer>" +
           std::to_string(status) + "</integer>\n" + entries + "</dict>\n</plist>\n";
}

std::string numbered(const char* format, std::size_t n) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, n);
    return buffer;
}

// One record of the agent's patch list, as text and value pairs; r picks its values.
std::vector<std::pair<std::string, std::string>> record(std::size_t r) {
    static const char* states[] = {"installed", "pending", "failed"};
    return {{"attempts", std::to_string(r % 4)},
            {"name", numbered("Security Update 2026-%03zu", r % 1000)},
            {"patchId", numbered("QZ-%07zu", r)},
            {"rebootRequired", r % 2 ? "true" : "false"},
            {"size", std::to_string(1000000 + r * 7919 % 900000000)},
            {"status", states[r % 3]},
            {"version", numbered("14.%zu", r % 8) + "." + std::to_string(r % 5)}};
}
bool isNumber(const std::string& key) { return key == "attempts" || key == "size"; }

std::string ordinaryXml(std::size_t records) {
    std::string entries =
        "\t<key>isMDMPatchingEnabled</key>\n\t<string>true</string>\n\t<key>patches</key>\n\t<array>\n";
    for (std::size_t r = 0; r < records; ++r) {
        entries += "\t\t<dict>\n";
        for (const auto& [key, value] : record(r)) {
            entries += "\t\t\t<key>" + key + "</key>\n\t\t\t";
            if (key == "rebootRequired") entries += "<" + value + "/>\n";
            else if (isNumber(key)) entries += "<integer>" + value + "</integer>\n";
            else entries += "<string>" + value + "</string>\n";
        }
        entries += "\t\t</dict>\n";
    }
    return xmlFile(entries + "\t</array>\n");
}

std::string ordinaryBinary(std::size_t records) {
    Binary binary;
    std::vector<std::size_t> patches;
    for (std::size_t r = 0; r < records; ++r) {
        std::vector<std::pair<std::size_t, std::size_t>> entries;
        for (const auto& [key, value] : record(r)) {
            std::size_t item = key == "rebootRequired" ? binary.scalar(value == "true" ? "\x09" : "\x08")
                               : isNumber(key)         ? binary.integer(std::stoull(value))
                                                       : binary.text(value);
            entries.emplace_back(binary.text(key), item);
        }
        patches.push_back(binary.dictionary(entries));
    }
    return binaryFile(binary, {{binary.text("isMDMPatchingEnabled"), binary.text("true")},
                               {binary.text("patches"), binary.array(patches)}});
}

using gatewarden::Expansion;
// Nine tenths of what a file of the given size may expand to, less the bytes its padding takes.
Expansion nineTenths(std::size_t size) {
    Expansion limit = propertyListExpansionLimit(size);
    return {limit.values * 9 / 10, limit.bytes * 9 / 10 - size};
}

// A binary file whose entry "a" is the given object and whose entry "padding" holds data of n bytes.
std::string padded(Binary& binary, std::size_t object, std::size_t n) {
    std::size_t data = binary.add({counted(0x40, n) + std::string(n, '\0'), 0, {}});
    return binaryFile(binary, {{binary.text("a"), object}, {binary.text("padding"), data}});
}

// A text in UTF-8, and as a UTF-16 text object of a binary file.
std::string utf8Of(const std::u16string& units) {
    std::string text;
    for (char32_t unit : units) {
        if (unit < 0x80) text += static_cast<char>(unit);
        else if (unit < 0x800)
            text += static_cast<char>(0xC0 | unit >> 6), text += static_cast<char>(0x80 | (unit & 0x3F));
        else
            text += static_cast<char>(0xE0 | unit >> 12), text += static_cast<char>(0x80 | (unit >> 6 & 0x3F)),
                text += static_cast<char>(0x80 | (unit & 0x3F));  // no surrogates here
    }
    return text;
}
std::string utf16Object(const std::u16string& units) {
    std::string object = counted(0x60, units.size());
    for (char16_t unit : units) object += static_cast<char>(unit >> 8), object += static_cast<char>(unit & 0xFF);
    return object;
}

// Six letters and digits that libplist puts in bucket 0: four from the key's number, then two that
// bring the bucket to 0, every pair that does.
std::string oneBucketKey(std::size_t k) {
    static std::vector<std::string> keys;
    static std::size_t prefix = 0;
    static const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz",
                             tail = letters + "0123456789";
    for (; keys.size() <= k; ++prefix) {
        std::string key;
        for (std::size_t p = prefix, i = 0; i < 4; ++i, p /= letters.size()) key += letters[p % letters.size()];
        for (char a : tail)
            for (char b : tail)
                if (gatewarden::libplistKeyBucket(key + a + b) == 0) keys.push_back(key + a + b);
    }
    return keys[k];
}
// An ordinary key of the same length: digits, which no key above holds first.
std::string ordinaryKey(std::size_t k) { return numbered("0%05zu", k); }

// 28 units of one CFString hash: in each group of four units, (a, b) may stand as (a + 1, b - 257)
// and (c, d) as (c + 1, d - 257) without changing its sum, so seven groups give 16,384 texts.
std::u16string oneCfHashKey(std::size_t k) {
    std::u16string units;
    for (std::size_t group = 0; group < 7; ++group, k >>= 2)
        units += {static_cast<char16_t>(0x4E00 + (k & 1)), static_cast<char16_t>(0x5000 - 257 * (k & 1)),
                  static_cast<char16_t>(0x5200 + (k >> 1 & 1)), static_cast<char16_t>(0x5400 - 257 * (k >> 1 & 1))};
    return units;
}
// 32 units of one CFString hash and few bytes: sixteen pairs of units that stand as ("a", U+0200)
// or ("b", U+00FF), 65,536 texts.
std::u16string shortCfHashKey(std::size_t k) {
    std::u16string units;
    for (std::size_t pair = 0; pair < 16; ++pair, k >>= 1) units += k & 1 ? u"b\u00FF" : u"a\u0200";
    return units;
}
// 28 units from the key's number, all hashed apart.
std::u16string ordinaryWideKey(std::size_t k) {
    std::u16string units(28, u'\x6000');
    for (std::size_t i = 0; i < 28; ++i, k /= 7) units[i] = static_cast<char16_t>(0x6000 + 97 * i + k % 7);
    return units;
}
// 120 characters that differ only where CFString's hash does not look: between its first, middle and
// last 32.
std::string cfWindowsKey(std::size_t k) {
    std::string key(120, 'w');
    for (std::size_t i = 32; i < 44; ++i, k /= 26) key[i] = static_cast<char>('a' + k % 26);
    return key;
}

// Eight UTF-16 units whose bytes have one std::hash: the first four from the key's number, the last
// four from inverting the hash's step for the second block of eight bytes (libstdc++'s _Hash_bytes).
std::optional<std::u16string> oneStdHashKey(std::size_t k) {
    constexpr std::uint64_t mul = 0xc6a4a7935bd1e995ull, seed = 0xc70f6907ull, target = 0x5eed;
    auto inverse = [](std::uint64_t a) {  // of an odd number, modulo 2^64
        std::uint64_t x = a;
        for (int i = 0; i < 6; ++i) x *= 2 - a * x;
        return x;
    };
    auto shiftMix = [](std::uint64_t v) { return v ^ (v >> 47); };
    auto load = [](const std::string& bytes, std::size_t at) {
        std::uint64_t v = 0;
        for (std::size_t i = 8; i-- > 0;) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
        return v;
    };
    std::u16string units;
    for (std::size_t i = 0; i < 4; ++i, k /= 4096) units += static_cast<char16_t>(0x4E00 + k % 4096);
    std::string bytes = utf16Object(units).substr(1);
    std::uint64_t hash = (seed ^ (16 * mul));
    hash = (hash ^ shiftMix(load(bytes, 0) * mul) * mul) * mul;
    std::uint64_t data = (target * inverse(mul)) ^ hash;                 // the second block's mixed value
    std::uint64_t block = shiftMix(data * inverse(mul)) * inverse(mul);  // shiftMix is its own inverse
    for (std::size_t i = 0; i < 4; ++i) {
        auto unit = static_cast<char16_t>((block >> (16 * i)) & 0xFF) << 8 | ((block >> (16 * i + 8)) & 0xFF);
        if (unit == 0 || (unit >= 0xD800 && unit <= 0xDFFF)) return std::nullopt;  // not a text on its own
        units += static_cast<char16_t>(unit);
    }
    // Where the standard library hashes otherwise, these keys show nothing: say so rather than mislead.
    static const std::size_t first = std::hash<std::string_view>()(utf16Object(units).substr(1));
    if (std::hash<std::string_view>()(utf16Object(units).substr(1)) != first) {
        std::fprintf(stderr, "plistShapes: this standard library's std::hash is not libstdc++'s\n");
        std::exit(1);
    }
    return units;
}

// An XML dictionary "d" of keys, each holding true.
std::string xmlKeys(const std::vector<std::string>& keys) {
    std::string entries = "\t<key>d</key>\n\t<dict>\n";
    for (const auto& key : keys) entries += "\t\t<key>" + key + "</key>\n\t\t<true/>\n";
    return xmlFile(entries + "\t</dict>\n");
}
std::string binaryKeys(const std::vector<std::string>& keyObjects) {
    Binary binary;
    std::vector<std::pair<std::size_t, std::size_t>> entries;
    for (const auto& key : keyObjects) entries.emplace_back(binary.add({key, 0, {}}), binary.scalar("\x09"));
    return binaryFile(binary, {{binary.text("d"), binary.dictionary(entries)}});
}
// As many keys as a file of size holds, the first n of them chosen to collide: a file of n or more
// keys that fits, and one that does not once n is more than all of them.
template <typename Key, typename File>
std::string admitted(std::size_t n, std::size_t size, Key colliding, Key ordinary, File file) {
    static std::size_t all = 0;  // found once: a process writes one file
    if (all == 0)
        for (std::size_t step = std::size_t{1} << 16; step > 0; step /= 2)
            while (file(std::vector(all + step, ordinary(0))).size() <= size) all += step;
    if (n > all) return std::string(size + 1, ' ');
    std::vector<decltype(ordinary(0))> keys;
    for (std::size_t k = 0; k < all; ++k) keys.push_back(k < n ? colliding(k) : ordinary(k));
    return file(keys);
}
auto xmlOf = [](const std::vector<std::u16string>& keys) {
    std::vector<std::string> texts;
    for (const auto& key : keys) texts.push_back(utf8Of(key));
    return xmlKeys(texts);
};
auto binaryOf = [](const std::vector<std::u16string>& keys) {
    std::vector<std::string> objects;
    for (const auto& key : keys) objects.push_back(utf16Object(key));
    return binaryKeys(objects);
};
template <typename Key>
std::vector<decltype(std::declval<Key>()(0))> first(std::size_t n, Key key) {
    std::vector<decltype(key(0))> keys;
    for (std::size_t k = 0; k < n; ++k) keys.push_back(key(k));
    return keys;
}

// The shapes, each growing with n.
const std::map<std::string, std::function<std::string(std::size_t, std::size_t)>> shapes = {
    {"ordinary-xml", [](std::size_t n, std::size_t) { return ordinaryXml(n); }},
    {"ordinary-binary", [](std::size_t n, std::size_t) { return ordinaryBinary(n); }},
    {"long-dictionary-xml",
     [](std::size_t n, std::size_t) {
         std::string entries = "\t<key>d</key>\n\t<dict>\n";
         for (std::size_t k = 0; k < n; ++k) entries += "\t\t<key>" + numbered("k%07zu", k) + "</key>\n\t\t<true/>\n";
         return xmlFile(entries + "\t</dict>\n");
     }},
    {"long-dictionary-binary",
     [](std::size_t n, std::size_t) {
         Binary binary;
         std::vector<std::pair<std::size_t, std::size_t>> entries;
         for (std::size_t k = 0; k < n; ++k)
             entries.emplace_back(binary.text(numbered("k%07zu", k)), binary.scalar("\x09"));
         return binaryFile(binary, {{binary.text("d"), binary.dictionary(entries)}});
     }},
    {"long-array-xml",
     [](std::size_t n, std::size_t) {
         std::string entries = "\t<key>a</key>\n\t<array>\n";
         for (std::size_t k = 0; k < n; ++k) entries += "\t\t<integer>" + std::to_string(k) + "</integer>\n";
         return xmlFile(entries + "\t</array>\n");
     }},
    {"long-array-binary",
     [](std::size_t n, std::size_t) {
         Binary binary;
         std::vector<std::size_t> items;
         for (std::size_t k = 0; k < n; ++k) items.push_back(binary.integer(k));
         return binaryFile(binary, {{binary.text("a"), binary.array(items)}});
     }},
    // Four keys of n characters each.
    {"long-keys-xml",
     [](std::size_t n, std::size_t) {
         std::string entries;
         for (char c : {'a', 'b', 'c', 'd'}) entries += "\t<key>" + std::string(n, c) + "</key>\n\t<true/>\n";
         return xmlFile(entries);
     }},
    {"long-keys-binary",
     [](std::size_t n, std::size_t) {
         Binary binary;
         std::vector<std::pair<std::size_t, std::size_t>> entries;
         for (char c : {'a', 'b', 'c', 'd'})
             entries.emplace_back(binary.text(std::string(n, c)), binary.scalar("\x09"));
         return binaryFile(binary, entries);
     }},
    // The references below expand to nearly what a file of the given size may expand to, and data of
    // n bytes fills the file: n dictionaries that share two keys; one text named many times;
    // arrays that each hold the next one twice, below arrays that each hold the next one once, to
    // the depth limit.
    {"shared-keys",
     [](std::size_t n, std::size_t size) {
         Expansion most = nineTenths(size);
         std::size_t count = std::min(most.values / 5, size / 32),
                     length = std::max<std::size_t>(1, most.bytes / (2 * count));
         Binary binary;
         std::size_t first = binary.text(std::string(length, 'K')), second = binary.text(std::string(length, 'J'));
         std::vector<std::size_t> dictionaries;
         for (std::size_t k = 0; k < count; ++k)
             dictionaries.push_back(
                 binary.dictionary({{first, binary.scalar("\x09")}, {second, binary.scalar("\x08")}}));
         return padded(binary, binary.array(dictionaries), n);
     }},
    {"shared-text",
     [](std::size_t n, std::size_t size) {
         Expansion most = nineTenths(size);
         Binary binary;
         std::size_t count = std::min(most.values, size / 4);
         std::size_t text = binary.text(std::string(std::max<std::size_t>(1, most.bytes / count), 'x'));
         return padded(binary, binary.array(std::vector<std::size_t>(count, text)), n);
     }},
    {"deep-sharing",
     [](std::size_t n, std::size_t size) {
         Expansion most = nineTenths(size);
         std::size_t levels = 0;
         while (std::size_t{8} << levels <= most.values) ++levels;
         std::size_t count = (most.values >> levels) - 2;  // of references to the text in the lowest array
         Binary binary;
         std::size_t text = binary.text(std::string(std::max<std::size_t>(1, (most.bytes >> levels) / count), 'x'));
         std::size_t below = binary.array(std::vector<std::size_t>(count, text));
         for (std::size_t level = 0; level < levels; ++level) below = binary.array({below, below});
         for (std::size_t level = levels; level + 4 < gatewarden::propertyListDepthLimit; ++level)
             below = binary.array({below});
         return padded(binary, below, n);
     }},
    {"one-bucket-xml", [](std::size_t n, std::size_t) { return xmlKeys(first(n, oneBucketKey)); }},
    {"one-bucket-xml-admitted",
     [](std::size_t n, std::size_t size) { return admitted(n, size, oneBucketKey, ordinaryKey, xmlKeys); }},
    // The same dictionary with ordinary keys only, to tell what its length costs from what the
    // colliding keys cost.
    {"one-bucket-xml-spread",
     [](std::size_t n, std::size_t size) { return admitted(n, size, ordinaryKey, ordinaryKey, xmlKeys); }},
    {"one-cf-hash-xml",
     [](std::size_t n, std::size_t size) {
         return n > 16384 ? std::string(size + 1, ' ') : xmlOf(first(n, oneCfHashKey));
     }},
    {"one-cf-hash-xml-admitted",
     [](std::size_t n, std::size_t size) { return admitted(n, size, oneCfHashKey, ordinaryWideKey, xmlOf); }},
    {"one-cf-hash-binary",
     [](std::size_t n, std::size_t size) {
         return n > 16384 ? std::string(size + 1, ' ') : binaryOf(first(n, oneCfHashKey));
     }},
    {"one-cf-hash-binary-admitted",
     [](std::size_t n, std::size_t size) { return admitted(n, size, oneCfHashKey, ordinaryWideKey, binaryOf); }},
    {"cf-windows-xml", [](std::size_t n, std::size_t) { return xmlKeys(first(n, cfWindowsKey)); }},
    // Seven dictionaries that share the same keys of one hash, as many as the expansion limits let
    // seven dictionaries name.
    {"cf-shared-keys",
     [](std::size_t n, std::size_t size) {
         Binary binary;
         std::vector<std::pair<std::size_t, std::size_t>> entries;
         std::size_t bytes = 0;  // of the keys in UTF-8, at every reference
         for (std::size_t k = 0; k < n; ++k) {
             entries.emplace_back(binary.add({utf16Object(shortCfHashKey(k)), 0, {}}), binary.scalar("\x09"));
             bytes += 7 * utf8Of(shortCfHashKey(k)).size();
         }
         std::vector<std::size_t> dictionaries;
         for (int d = 0; d < 7; ++d) dictionaries.push_back(binary.dictionary(entries));
         std::string file = binaryFile(binary, {{binary.text("d"), binary.array(dictionaries)}});
         return n > 65536 || bytes > nineTenths(file.size()).bytes ? std::string(size + 1, ' ') : file;
     }},
    {"one-std-hash-binary",
     [](std::size_t n, std::size_t) {
         std::vector<std::string> objects;
         for (std::size_t k = 0; objects.size() < n; ++k)
             if (auto key = oneStdHashKey(k)) objects.push_back(utf16Object(*key));
         return binaryKeys(objects);
     }},
};

}  // namespace

int main(int argc, char** argv) {
    auto shape = argc == 3 || argc == 4 ? shapes.find(argv[1]) : shapes.end();
    if (shape == shapes.end()) {
        std::fprintf(stderr, "usage: plistShapes SHAPE BYTES [STATUS]; shapes:");
        for (const auto& [name, make] : shapes) std::fprintf(stderr, " %s", name.c_str());
        std::fprintf(stderr, "\n");
        return 2;
    }
    std::size_t size = std::strtoull(argv[2], nullptr, 10);
    if (argc == 4) status = std::strtoull(argv[3], nullptr, 10);
    // The largest n whose file is within size, by doubling and then halving the step; then, if the
    // rules refuse it, the largest n below it that they take.
    auto largest = [&](std::size_t n, auto fits) {
        std::size_t step = 1;
        while (fits(n + step)) n += step, step *= 2;
        for (; step > 0; step /= 2)
            if (fits(n + step)) n += step;
        return n;
    };
    auto file = [&](std::size_t n) { return shape->second(n, size); };
    std::size_t n = largest(0, [&](std::size_t k) { return file(k).size() <= size; });
    auto taken = [&](std::size_t k) { return gatewarden::propertyListFollowsRules(file(k)); };
    // The shapes of keys that all collide are written whole: what the rules refuse.
    static const std::set<std::string> colliding = {"one-bucket-xml", "one-cf-hash-xml", "one-cf-hash-binary",
                                                    "cf-windows-xml", "cf-shared-keys"};
    bool whole = colliding.count(shape->first) > 0;
    if (n > 0 && !whole && !taken(n)) n = largest(0, [&](std::size_t k) { return k <= n && taken(k); });
    if (n == 0) return std::fprintf(stderr, "plistShapes: no %s file fits in %zu bytes\n", argv[1], size), 1;
    std::string bytes = file(n);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    return 0;
}
