#include <plist/plist.h>

#include <cstdlib>
#include <memory>

#include "platform/linux/LinuxPlatform.h"

namespace gatewarden {

namespace {

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistHolder = std::unique_ptr<void, PlistDeleter>;

struct MallocDeleter {
    void operator()(char* text) const { std::free(text); }
};
using MallocText = std::unique_ptr<char, MallocDeleter>;

std::optional<Value> convert(plist_t node, int depth);

std::optional<Value> convertArray(plist_t node, int depth) {
    Array array;
    std::uint32_t count = plist_array_get_size(node);
    array.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        auto item = convert(plist_array_get_item(node, i), depth + 1);
        if (!item) return std::nullopt;
        array.push_back(std::move(*item));
    }
    return Value(std::move(array));
}

std::optional<Value> convertDictionary(plist_t node, int depth) {
    Dictionary dictionary;
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(node, &iterator);
    std::unique_ptr<void, void (*)(void*)> iteratorHolder(iterator, std::free);
    for (;;) {
        char* rawKey = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iterator, &rawKey, &item);
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
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            std::uint8_t value = 0;
            plist_get_bool_val(node, &value);
            return Value(value != 0);
        }
        case PLIST_UINT: {
            // Stored as 64 bits: negative integers come back in two's complement.
            std::uint64_t value = 0;
            plist_get_uint_val(node, &value);
            return Value(static_cast<std::int64_t>(value));
        }
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            return Value(value);
        }
        case PLIST_STRING: {
            std::uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            return Value(text ? std::string(text, length) : std::string());
        }
        case PLIST_DATA: {
            std::uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            Data data;
            if (bytes) data.bytes.assign(bytes, bytes + length);
            return Value(std::move(data));
        }
        case PLIST_DATE: {
            std::int32_t seconds = 0, microseconds = 0;
            plist_get_date_val(node, &seconds, &microseconds);
            return Value(Date{seconds + microseconds / 1e6});
        }
        case PLIST_UID: {
            // Written as {"CF$UID" = n} in the XML encoding; kept in that form.
            std::uint64_t value = 0;
            plist_get_uid_val(node, &value);
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
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    PlistHolder holder(root);
    if (!root || plist_get_node_type(root) != PLIST_DICT) return std::nullopt;
    auto value = convert(root, 0);
    if (!value) return std::nullopt;
    return std::move(std::get<Dictionary>(value->content));
}

}  // namespace gatewarden
