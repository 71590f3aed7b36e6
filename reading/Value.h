#pragma once

// The value tree that property lists and power-source entries are read into. Every type stays
// apart from the others: a boolean is not a number, an integer is not a real.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace gatewarden {

struct Value;

using Array = std::vector<Value>;
using Dictionary = std::map<std::string, Value>;

struct Data {
    std::vector<std::uint8_t> bytes;
    bool operator==(const Data&) const = default;
};

// An integer from 2^63 to 2^64 - 1, beyond the signed 64 bits of every other integer: Apple's
// writer stores an unsigned 64-bit number so. No decision takes it for a number.
struct UnsignedInteger {
    std::uint64_t value = 0;
    bool operator==(const UnsignedInteger&) const = default;
};

// Seconds since 2001-01-01 00:00:00 UTC, as property lists store dates.
struct Date {
    double secondsSinceReferenceDate = 0;
    bool operator==(const Date&) const = default;
};

struct Value {
    std::variant<bool, std::int64_t, UnsignedInteger, double, std::string, Data, Date, Array, Dictionary> content;

    Value() : content(false) {}
    Value(bool v) : content(v) {}
    Value(int v) : content(std::int64_t{v}) {}
    Value(std::int64_t v) : content(v) {}
    Value(UnsignedInteger v) : content(v) {}
    Value(double v) : content(v) {}
    Value(const char* v) : content(std::string(v)) {}
    Value(std::string v) : content(std::move(v)) {}
    Value(Data v) : content(std::move(v)) {}
    Value(Date v) : content(v) {}
    Value(Array v) : content(std::move(v)) {}
    Value(Dictionary v) : content(std::move(v)) {}

    template <typename T>
    const T* get() const {
        return std::get_if<T>(&content);
    }

    bool operator==(const Value&) const = default;
};

// The value under key when it exists and has type T; nothing otherwise.
template <typename T>
const T* lookup(const Dictionary& dictionary, const std::string& key) {
    auto found = dictionary.find(key);
    return found == dictionary.end() ? nullptr : found->second.get<T>();
}

// A number with a whole value: an integer, or a real without a fractional part that fits in 64 bits.
// Booleans, texts and everything else give nothing.
std::optional<std::int64_t> wholeNumber(const Value& value);

// The integer that a platform hands over as its conversions to a signed 64-bit integer and to a
// double, each with whether it was exact: a signed 64-bit integer, or an unsigned one from 2^63 (of
// which an exact integer conversion gives the low 64 bits), whichever both conversions agree with.
// Nothing when neither does (a value beyond 64 bits, which the low bits alone would misread), or
// when a lossy integer conversion leaves only an inexact double.
std::optional<Value> integerFromConversions(std::int64_t integer, bool integerExact, double real, bool realExact);

// True for an integer 1 or a real 1.0; a boolean or a text never counts.
bool isNumberEqualToOne(const Value& value);

// The integer rule for texts from outside: an optional "+" or "-", then one or more ASCII digits and
// nothing else, within the signed 64-bit range. Anything else gives nothing.
std::optional<std::int64_t> parseSignedInteger(std::string_view text);

// Equal when letter case is ignored. ASCII letters only: the texts compared this way ("AC Power",
// "true") hold no letters whose case folding leaves ASCII.
bool equalsIgnoringCase(std::string_view text, std::string_view expected);

// A stable, readable rendering: {"key" = value; ...} with keys in byte order, texts quoted.
std::string describe(const Value& value);

// A text in double quotes with ", \ and control characters escaped (\n, \t, \r, \0, \u{XX}).
std::string quoted(const std::string& text);

// The shortest decimal that reads back as the same double, always with a fractional part and never
// with an exponent: 1.0, 0.5, 9.313225746154785e-10 as 0.0000000009313225746154785; "nan", "-nan",
// "inf" and "-inf" for the others.
std::string shortestDecimal(double value);

}  // namespace gatewarden
