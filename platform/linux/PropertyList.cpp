#include <dlfcn.h>
#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

#include "platform/linux/LinuxPlatform.h"
#include "reading/PropertyListRules.h"

namespace gatewarden {

namespace {
// libplist is loaded on first use, not at start: only Apple silicon runs read a property list, and
// loading a shared library costs more than a tenth of an Intel run. When it cannot be loaded, no
// property list can be read, as if the file were not there.
// clang-format off
#define GATEWARDEN_LIBPLIST_FUNCTIONS(X)                                                                  \
    X(plist_array_new_iter) X(plist_array_next_item) X(plist_dict_new_iter) X(plist_dict_next_item)     \
    X(plist_free) X(plist_from_memory) X(plist_get_bool_val) X(plist_get_data_ptr) X(plist_get_date_val) \
    X(plist_get_node_type) X(plist_get_real_val) X(plist_get_string_ptr) X(plist_get_uint_val)         \
    X(plist_to_xml)
// clang-format on

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

// One tree's conversion: texts from XML are taken as Apple's reader takes them, without a leading
// U+FEFF, and the budget is what the rules admitted of values and bytes.
struct Conversion {
    bool xml;
    ExpansionBudget budget;
};

// The tree is at most propertyListDepthLimit deep: the rules were checked before libplist parsed it.
std::optional<Value> convert(plist_t node, Conversion& conversion);

// libplist 2.2 holds every integer in 64 bits, negative ones in two's complement. Whether one above
// 2^63 - 1 is unsigned it keeps, but no call tells: its XML writer shows it, without a minus sign.
std::optional<Value> convertInteger(plist_t node) {
    std::uint64_t value = 0;
    library->plist_get_uint_val(node, &value);
    if (value <= INT64_MAX) return Value(static_cast<std::int64_t>(value));
    char* rawXml = nullptr;
    std::uint32_t length = 0;
    library->plist_to_xml(node, &rawXml, &length);
    MallocText xml(rawXml);
    if (!xml) return std::nullopt;
    if (std::string_view(xml.get(), length).find("<integer>-") != std::string_view::npos)
        return Value(static_cast<std::int64_t>(value));
    return Value(UnsignedInteger{value});
}

std::optional<Value> convertArray(plist_t node, Conversion& conversion) {
    // Walked with an iterator: libplist 2.2 finds an item by its index by counting from the first
    // one, unless the array was built by appending, which its binary parser does not do.
    Array array;
    plist_array_iter iterator = nullptr;
    library->plist_array_new_iter(node, &iterator);
    std::unique_ptr<void, void (*)(void*)> iteratorHolder(iterator, std::free);
    for (;;) {
        plist_t item = nullptr;
        library->plist_array_next_item(node, iterator, &item);
        if (!item) return Value(std::move(array));
        auto value = convert(item, conversion);
        if (!value) return std::nullopt;
        array.push_back(std::move(*value));
    }
}

std::optional<Value> convertDictionary(plist_t node, Conversion& conversion) {
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
        std::string_view text = conversion.xml ? withoutByteOrderMark(key.get()) : key.get();
        if (!conversion.budget.charge(text.size())) return std::nullopt;
        auto value = convert(item, conversion);
        // A key twice: the systems' readers disagree on which entry counts, so none does.
        if (!value || !dictionary.emplace(text, std::move(*value)).second) return std::nullopt;
    }
}

// The bytes of a text or of data, as the budget counts them.
std::string_view contentOf(plist_t node, plist_type type, bool xml) {
    std::uint64_t length = 0;
    const char* bytes = type == PLIST_STRING ? library->plist_get_string_ptr(node, &length)
                                             : library->plist_get_data_ptr(node, &length);
    std::string_view content = bytes ? std::string_view(bytes, length) : std::string_view();
    return type == PLIST_STRING && xml ? withoutByteOrderMark(content) : content;
}

std::optional<Value> convert(plist_t node, Conversion& conversion) {
    if (!node) return std::nullopt;
    plist_type type = library->plist_get_node_type(node);
    std::string_view content =
        type == PLIST_STRING || type == PLIST_DATA ? contentOf(node, type, conversion.xml) : std::string_view();
    if (!conversion.budget.charge(content.size())) return std::nullopt;
    switch (type) {
        case PLIST_BOOLEAN: {
            std::uint8_t value = 0;
            library->plist_get_bool_val(node, &value);
            return Value(value != 0);
        }
        case PLIST_UINT: return convertInteger(node);
        case PLIST_REAL: {
            // CoreFoundation reads every NaN as the positive one; libplist keeps the sign.
            double value = 0;
            library->plist_get_real_val(node, &value);
            return Value(std::isnan(value) ? std::numeric_limits<double>::quiet_NaN() : value);
        }
        case PLIST_STRING: return Value(std::string(content));
        case PLIST_DATA: return Value(Data{{content.begin(), content.end()}});
        case PLIST_DATE: {
            // Only approximately: libplist 2.2 holds 32-bit seconds and microseconds, so a date
            // before 1933 or after 2069 is lost. No decision reads a date.
            std::int32_t seconds = 0, microseconds = 0;
            library->plist_get_date_val(node, &seconds, &microseconds);
            return Value(Date{seconds + microseconds / 1e6});
        }
        case PLIST_ARRAY: return convertArray(node, conversion);
        case PLIST_DICT: return convertDictionary(node, conversion);
        default: return std::nullopt;
    }
}

}  // namespace

std::optional<Dictionary> parsePropertyList(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > UINT32_MAX) return std::nullopt;
    library = loadLibplist();
    if (!library || !propertyListFollowsRules(bytes)) return std::nullopt;
    plist_t root = nullptr;
    library->plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    PlistHolder holder(root);
    if (!root || library->plist_get_node_type(root) != PLIST_DICT) return std::nullopt;
    Conversion conversion{!bytes.starts_with("bplist00"), ExpansionBudget(bytes.size())};
    auto value = convert(root, conversion);
    if (!value) return std::nullopt;
    return std::move(std::get<Dictionary>(value->content));
}

}  // namespace gatewarden
