// Writes a patch data file of one shape, as large as both the given size and the reading rules
// allow, to standard output: plistShapes SHAPE BYTES. Its top dictionary holds
// "OSPatchingViaMDMStatus" = 1, so that a run that read it ends with 0.
//
// "ordinary-xml" and "ordinary-binary" are what the agent writes, grown: records of a patch list, in
// the layout of Apple's writer, which stores an equal text, number or date once in binary. The other
// shapes are those that cost the readers most per byte: long dictionaries, arrays and keys, and in
// binary the references that make a small file stand for a large tree (keys shared by many
// dictionaries, one text named many times, arrays that hold the next one twice).

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "reading/PropertyListRules.h"

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
    entries.insert(entries.begin(), {binary.text("OSPatchingViaMDMStatus"), binary.integer(1)});
    std::size_t top = binary.dictionary(entries);
    return binary.file(top);
}

std::string xmlFile(const std::string& entries) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n<dict>\n"
           "\t<key>OSPatchingViaMDMStatus</key>\n\t<integer>1</integer>\n" +
           entries + "</dict>\n</plist>\n";
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
};

}  // namespace

int main(int argc, char** argv) {
    auto shape = argc == 3 ? shapes.find(argv[1]) : shapes.end();
    if (shape == shapes.end()) {
        std::fprintf(stderr, "usage: plistShapes SHAPE BYTES; shapes:");
        for (const auto& [name, make] : shapes) std::fprintf(stderr, " %s", name.c_str());
        std::fprintf(stderr, "\n");
        return 2;
    }
    std::size_t size = std::strtoull(argv[2], nullptr, 10);
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
    if (n > 0 && !taken(n)) n = largest(0, [&](std::size_t k) { return k <= n && taken(k); });
    if (n == 0) return std::fprintf(stderr, "plistShapes: no %s file fits in %zu bytes\n", argv[1], size), 1;
    std::string bytes = file(n);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    return 0;
}
