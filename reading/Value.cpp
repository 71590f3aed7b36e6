#include "reading/Value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace gatewarden {

std::optional<std::int64_t> wholeNumber(const Value& value) {
    if (auto integer = value.get<std::int64_t>()) return *integer;
    if (auto real = value.get<double>()) {
        // 2^63 itself is not representable; every double below it in magnitude is.
        constexpr double limit = 9223372036854775808.0;
        if (std::isfinite(*real) && std::trunc(*real) == *real && *real >= -limit && *real < limit)
            return static_cast<std::int64_t>(*real);
    }
    return std::nullopt;
}

std::optional<Value> integerFromConversions(std::int64_t integer, bool integerExact, double real, bool realExact) {
    if (integerExact) {
        // A value that differs from its low bits does so by a multiple of 2^64, so its double differs
        // too, for either reading of those bits.
        if (static_cast<double>(integer) == real) return Value(integer);
        auto unsignedInteger = static_cast<std::uint64_t>(integer);
        if (integer < 0 && static_cast<double>(unsignedInteger) == real) return Value(UnsignedInteger{unsignedInteger});
        return std::nullopt;
    }
    // Beyond the signed range the integer conversion may be lossy: an exact double is then the value.
    if (realExact && real >= 0x1p63 && real < 0x1p64) return Value(UnsignedInteger{static_cast<std::uint64_t>(real)});
    return std::nullopt;
}

bool isNumberEqualToOne(const Value& value) {
    if (auto integer = value.get<std::int64_t>()) return *integer == 1;
    if (auto real = value.get<double>()) return *real == 1.0;
    return false;
}

std::optional<std::int64_t> parseSignedInteger(std::string_view text) {
    bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    std::uint64_t magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        if (__builtin_mul_overflow(magnitude, std::uint64_t{10}, &magnitude) ||
            __builtin_add_overflow(magnitude, static_cast<std::uint64_t>(c - '0'), &magnitude))
            return std::nullopt;
    }
    constexpr std::uint64_t largest = 9223372036854775807ull;
    if (magnitude > largest + (negative ? 1 : 0)) return std::nullopt;
    return negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
}

bool equalsIgnoringCase(std::string_view text, std::string_view expected) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (text.size() != expected.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (lower(text[i]) != lower(expected[i])) return false;
    return true;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '\0': out += "\\0"; break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    char escaped[16];
                    std::snprintf(escaped, sizeof escaped, "\\u{%X}", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

namespace {

// The fixed-point text one unit of its last digit farther from zero (up) or nearer to it; the
// sign, if any, is left alone.
std::string stepLastDigit(std::string text, bool up) {
    std::size_t first = (!text.empty() && text[0] == '-') ? 1 : 0;
    std::size_t i = text.size();
    while (i-- > first) {
        char& digit = text[i];
        if (digit == '.') continue;
        if (up ? digit != '9' : digit != '0') {
            digit = static_cast<char>(digit + (up ? 1 : -1));
            break;
        }
        digit = up ? '0' : '9';
        if (i == first) {
            if (up) text.insert(first, 1, '1');
            break;
        }
    }
    // A borrow may leave a leading zero before other integer digits: "09.9" is "9.9".
    if (text.size() > first + 1 && text[first] == '0' && text[first + 1] != '.') text.erase(first, 1);
    return text;
}

}  // namespace

std::string shortestDecimal(double value) {
    if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    // The fewest fractional digits that read back as the same double. printf rounds to the nearest
    // p-digit decimal; when that misses (the gap below a power of two is half the gap above it, and
    // ties round to even), the neighbour on the other side of the value may still read back.
    char buffer[400];
    for (int precision = 1; precision <= 1100; ++precision) {
        int length = std::snprintf(buffer, sizeof buffer, "%.*f", precision, value);
        if (length < 0 || static_cast<std::size_t>(length) >= sizeof buffer) break;
        std::string rounded = buffer;
        if (std::strtod(rounded.c_str(), nullptr) == value) return rounded;
        for (bool up : {true, false}) {
            std::string neighbour = stepLastDigit(rounded, up);
            if (std::strtod(neighbour.c_str(), nullptr) == value) return neighbour;
        }
    }
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

namespace {

struct Describer {
    std::string& out;

    void operator()(bool v) const { out += v ? "true" : "false"; }
    void operator()(std::int64_t v) const { out += std::to_string(v); }
    void operator()(UnsignedInteger v) const { out += std::to_string(v.value); }
    void operator()(double v) const { out += shortestDecimal(v); }
    void operator()(const std::string& v) const { out += quoted(v); }
    void operator()(const Data& v) const {
        static const char digits[] = "0123456789abcdef";
        out += '<';
        for (auto byte : v.bytes) {
            out += digits[byte >> 4];
            out += digits[byte & 0xf];
        }
        out += '>';
    }
    void operator()(const Date& v) const { out += "date " + shortestDecimal(v.secondsSinceReferenceDate); }
    void operator()(const Array& v) const {
        out += '(';
        for (std::size_t i = 0; i < v.size(); ++i) {
            if (i) out += ", ";
            std::visit(*this, v[i].content);
        }
        out += ')';
    }
    void operator()(const Dictionary& v) const {
        out += '{';
        bool first = true;
        for (const auto& [key, item] : v) {
            if (!first) out += "; ";
            first = false;
            out += quoted(key) + " = ";
            std::visit(*this, item.content);
        }
        out += '}';
    }
};

}  // namespace

std::string describe(const Value& value) {
    std::string out;
    std::visit(Describer{out}, value.content);
    return out;
}

}  // namespace gatewarden
