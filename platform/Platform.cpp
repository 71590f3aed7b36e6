#include "platform/Platform.h"

namespace gatewarden {

std::string substitutePlaceholders(std::string_view format, std::initializer_list<FormatValue> values) {
    std::size_t length = format.size();
    for (const auto& value : values) length += value ? value->size() : 6;
    std::string out;
    out.reserve(length);
    auto next = values.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '@' && next != values.end()) {
            const FormatValue& value = *next++;
            out += value ? *value : "(null)";
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

void Platform::logFormat(std::string_view format, std::initializer_list<FormatValue> values) {
    log(substitutePlaceholders(format, values));
}

PowerSource makePowerSource(std::optional<Value> entry, std::string_view typeName) {
    if (entry && entry->get<Dictionary>()) {
        std::string description = describe(*entry);
        return {std::move(*entry), std::move(description)};
    }
    return {Value(Array{}), "<" + std::string(typeName) + ">"};
}

std::string ChildProcess::readToEnd() {
    std::string bytes;
    char buffer[16384];
    while (std::size_t count = readSome(buffer, sizeof buffer)) bytes.append(buffer, count);
    return bytes;
}

}  // namespace gatewarden
