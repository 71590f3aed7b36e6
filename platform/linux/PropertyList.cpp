#include <dlfcn.h>
#include <plist/plist.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "platform/linux/LinuxPlatform.h"

namespace gatewarden {

namespace {
// libplist is loaded on first use, not at start: only Apple silicon runs read a property list, and
// loading a shared library costs more than a tenth of an Intel run. When it cannot be loaded, no
// property list can be read, as if the file were not there.
#define GATEWARDEN_LIBPLIST_FUNCTIONS(X)                                                                  \
    X(plist_array_get_item) X(plist_array_get_size) X(plist_dict_new_iter) X(plist_dict_next_item)      \
    X(plist_free) X(plist_from_memory) X(plist_get_bool_val) X(plist_get_data_ptr) X(plist_get_date_val) \
    X(plist_get_node_type) X(plist_get_real_val) X(plist_get_string_ptr) X(plist_get_uid_val)          \
    X(plist_get_uint_val)

struct Libplist {
#define GATEWARDEN_DECLARE(name) decltype(&::name) name = nullptr;
    GATEWARDEN_LIBPLIST_FUNCTIONS(GATEWARDEN_DECLARE)
#undef GATEWARDEN_DECLARE
};

struct LibraryHandle {
    void* handle = ::dlopen("libplist-2.0.so.3", RTLD_NOW | RTLD_LOCAL);
    LibraryHandle() = default;
    LibraryHandle(const LibraryHandle&) = delete;
    LibraryHandle& operator=(const LibraryHandle&) = delete;
    ~LibraryHandle() {
        if (handle) ::dlclose(handle);
    }
};

// The library's functions, or nullptr when it or one of them is missing.
const Libplist* loadLibplist() {
    static LibraryHandle library;
    static const Libplist functions = [] {
        Libplist loaded;
        if (!library.handle) return loaded;
#define GATEWARDEN_LOAD(name) loaded.name = reinterpret_cast<decltype(loaded.name)>(::dlsym(library.handle, #name));
        GATEWARDEN_LIBPLIST_FUNCTIONS(GATEWARDEN_LOAD)
#undef GATEWARDEN_LOAD
        return loaded;
    }();
    static const bool complete = true
#define GATEWARDEN_PRESENT(name) &&functions.name != nullptr
        GATEWARDEN_LIBPLIST_FUNCTIONS(GATEWARDEN_PRESENT)
#undef GATEWARDEN_PRESENT
        ;
    return complete ? &functions : nullptr;
}

// Set by parsePropertyList before it converts anything.
const Libplist* library = nullptr;


struct PlistDeleter {
    void operator()(void* node) const { library->plist_free(static_cast<plist_t>(node)); }
};
using PlistHolder = std::unique_ptr<void, PlistDeleter>;

struct MallocDeleter {
    void operator()(char* text) const { std::free(text); }
};
using MallocText = std::unique_ptr<char, MallocDeleter>;

// libplist parses both encodings recursively and without a depth limit: a file nested a few
// hundred thousand levels deep overflows the stack. These checks walk the nesting first, without
// recursion, and refuse anything deeper than the tree conversion accepts.

// XML: every element that is opened and not closed at once adds a level; the <plist> element and
// the value's own element come on top of the tree's depth. Comments, declarations and processing
// instructions are skipped.
bool xmlNestingWithinLimit(std::string_view text) {
    int depth = 0;
    for (std::size_t i = text.find('<'); i != std::string_view::npos; i = text.find('<', i + 1)) {
        std::string_view rest = text.substr(i);
        std::string_view end = rest.starts_with("<!--")      ? "-->"
                               : rest.starts_with("<![CDATA[") ? "]]>"
                               : rest.starts_with("<?")        ? "?>"
                                                               : ">";
        std::size_t close = rest.find(end, 1);
        if (close == std::string_view::npos) return true;  // unterminated: the parser refuses it
        if (end == ">" && rest.size() > 1 && rest[1] != '!') {
            if (rest[1] == '/') --depth;
            else if (rest[close - 1] != '/' && ++depth > propertyListDepthLimit + 2) return false;
        }
        i += close;
    }
    return true;
}

// Binary: the objects form a graph of references from the top object. Its height must stay within
// the limit, and a cycle is refused outright.
bool binaryNestingWithinLimit(std::string_view bytes) {
    if (bytes.size() < 8 + 32) return true;  // too short to be one: the parser refuses it
    auto number = [&](std::size_t offset, std::size_t size, std::uint64_t& value) {
        if (size == 0 || size > 8 || offset > bytes.size() || bytes.size() - offset < size) return false;
        value = 0;
        for (std::size_t k = 0; k < size; ++k) value = value << 8 | static_cast<unsigned char>(bytes[offset + k]);
        return true;
    };
    std::size_t trailer = bytes.size() - 32;
    std::size_t offsetSize = static_cast<unsigned char>(bytes[trailer + 6]);
    std::size_t referenceSize = static_cast<unsigned char>(bytes[trailer + 7]);
    std::uint64_t objects = 0, top = 0, table = 0;
    if (!number(trailer + 8, 8, objects) || !number(trailer + 16, 8, top) || !number(trailer + 24, 8, table))
        return false;
    if (offsetSize == 0 || offsetSize > 8 || referenceSize == 0 || referenceSize > 8 || objects == 0 || top >= objects || table > trailer ||
        objects > (trailer - table) / offsetSize)
        return false;

    // Where an object starts, its type and its count (of items, entries, bytes or code units).
    auto header = [&](std::uint64_t object, unsigned& type, std::size_t& first, std::uint64_t& count) {
        std::uint64_t offset = 0;
        if (!number(static_cast<std::size_t>(table + object * offsetSize), offsetSize, offset) || offset >= trailer)
            return false;
        auto marker = static_cast<unsigned char>(bytes[offset]);
        type = marker >> 4;
        first = static_cast<std::size_t>(offset) + 1;
        count = marker & 0xF;
        if (count == 0xF && type >= 0x4) {
            if (first >= trailer) return false;
            std::size_t size = std::size_t{1} << (static_cast<unsigned char>(bytes[first]) & 0x3);
            if (!number(first + 1, size, count)) return false;
            first += 1 + size;
        }
        return count <= trailer;
    };
    // The references an object holds: for arrays and sets its items, for dictionaries its keys and
    // then its values. Other objects hold none.
    auto references = [&](std::uint64_t object, std::size_t& first, std::uint64_t& count, bool& dictionary) {
        unsigned type = 0;
        if (!header(object, type, first, count)) return false;
        dictionary = type == 0xD;
        if (type != 0xA && type != 0xC && type != 0xD) count = 0;
        if (dictionary) count *= 2;
        return count <= trailer / referenceSize;
    };
    // libplist asserts, and so ends the process, on a dictionary key that holds a NUL character:
    // a key must be a text without one.
    auto isKey = [&](std::uint64_t object) {
        unsigned type = 0;
        std::size_t first = 0;
        std::uint64_t count = 0;
        if (!header(object, type, first, count) || (type != 0x5 && type != 0x6)) return false;
        std::size_t unit = type == 0x6 ? 2 : 1;
        if (count > (trailer - first) / unit) return false;
        for (std::size_t i = 0; i < count; ++i)
            if (bytes[first + i * unit] == 0 && bytes[first + i * unit + unit - 1] == 0) return false;
        return true;
    };

    // Height of each object, 0 while unknown; onPath marks the objects of the current walk.
    std::vector<std::uint8_t> height(static_cast<std::size_t>(objects), 0);
    std::vector<bool> onPath(static_cast<std::size_t>(objects), false);
    struct Frame {
        std::uint64_t object;
        std::size_t first;
        std::uint64_t count, next;
        unsigned tallest;
        bool dictionary;
    };
    std::vector<Frame> path;
    auto enter = [&](std::uint64_t object) {
        Frame frame{object, 0, 0, 0, 0, false};
        if (!references(object, frame.first, frame.count, frame.dictionary)) return false;
        onPath[object] = true;
        path.push_back(frame);
        return path.size() <= static_cast<std::size_t>(propertyListDepthLimit) + 1;
    };
    if (!enter(top)) return false;
    while (!path.empty()) {
        Frame& frame = path.back();
        if (frame.next == frame.count) {
            unsigned own = frame.tallest + 1;
            onPath[frame.object] = false;
            height[frame.object] = static_cast<std::uint8_t>(own);
            path.pop_back();
            if (!path.empty()) path.back().tallest = std::max(path.back().tallest, own);
            continue;
        }
        std::uint64_t child = 0;
        bool key = frame.dictionary && frame.next < frame.count / 2;
        if (!number(frame.first + static_cast<std::size_t>(frame.next++) * referenceSize, referenceSize, child) ||
            child >= objects || onPath[child] || (key && !isKey(child)))
            return false;
        if (height[child] != 0) {
            if (path.size() + height[child] > static_cast<std::size_t>(propertyListDepthLimit) + 1) return false;
            frame.tallest = std::max<unsigned>(frame.tallest, height[child]);
        } else if (!enter(child)) {
            return false;
        }
    }
    return true;
}

std::optional<Value> convert(plist_t node, int depth);

std::optional<Value> convertArray(plist_t node, int depth) {
    Array array;
    std::uint32_t count = library->plist_array_get_size(node);
    array.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        auto item = convert(library->plist_array_get_item(node, i), depth + 1);
        if (!item) return std::nullopt;
        array.push_back(std::move(*item));
    }
    return Value(std::move(array));
}

std::optional<Value> convertDictionary(plist_t node, int depth) {
    Dictionary dictionary;
    plist_dict_iter iterator = nullptr;
    library->plist_dict_new_iter(node, &iterator);
    std::unique_ptr<void, void (*)(void*)> iteratorHolder(iterator, std::free);
    for (;;) {
        char* rawKey = nullptr;
        plist_t item = nullptr;
        library->plist_dict_next_item(node, iterator, &rawKey, &item);
        MallocText key(rawKey);
        if (!item) return Value(std::move(dictionary));
        if (!key) return std::nullopt;
        auto value = convert(item, depth + 1);
        if (!value) return std::nullopt;
        dictionary.insert_or_assign(std::string(key.get()), std::move(*value));
    }
}

std::optional<Value> convert(plist_t node, int depth) {
    if (!node || depth > propertyListDepthLimit) return std::nullopt;
    switch (library->plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            std::uint8_t value = 0;
            library->plist_get_bool_val(node, &value);
            return Value(value != 0);
        }
        case PLIST_UINT: {
            // Stored as 64 bits: negative integers come back in two's complement.
            std::uint64_t value = 0;
            library->plist_get_uint_val(node, &value);
            return Value(static_cast<std::int64_t>(value));
        }
        case PLIST_REAL: {
            double value = 0;
            library->plist_get_real_val(node, &value);
            return Value(value);
        }
        case PLIST_STRING: {
            std::uint64_t length = 0;
            const char* text = library->plist_get_string_ptr(node, &length);
            return Value(text ? std::string(text, length) : std::string());
        }
        case PLIST_DATA: {
            std::uint64_t length = 0;
            const char* bytes = library->plist_get_data_ptr(node, &length);
            Data data;
            if (bytes) data.bytes.assign(bytes, bytes + length);
            return Value(std::move(data));
        }
        case PLIST_DATE: {
            std::int32_t seconds = 0, microseconds = 0;
            library->plist_get_date_val(node, &seconds, &microseconds);
            return Value(Date{seconds + microseconds / 1e6});
        }
        case PLIST_UID: {
            // Written as {"CF$UID" = n} in the XML encoding; kept in that form.
            std::uint64_t value = 0;
            library->plist_get_uid_val(node, &value);
            return Value(Dictionary{{"CF$UID", static_cast<std::int64_t>(value)}});
        }
        case PLIST_ARRAY: return convertArray(node, depth);
        case PLIST_DICT: return convertDictionary(node, depth);
        default: return std::nullopt;
    }
}

}  // namespace

std::optional<Dictionary> parsePropertyList(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > UINT32_MAX) return std::nullopt;
    library = loadLibplist();
    if (!library) return std::nullopt;
    bool binary = bytes.starts_with("bplist00");
    if (!(binary ? binaryNestingWithinLimit(bytes) : xmlNestingWithinLimit(bytes))) return std::nullopt;
    plist_t root = nullptr;
    library->plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    PlistHolder holder(root);
    if (!root || library->plist_get_node_type(root) != PLIST_DICT) return std::nullopt;
    auto value = convert(root, 0);
    if (!value) return std::nullopt;
    return std::move(std::get<Dictionary>(value->content));
}

}  // namespace gatewarden
