#include "reading/PropertyListRules.h"

#include <cstdint>

namespace gatewarden {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The length of the run of decimal digits that text begins with.
std::size_t digitRun(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && isDigit(text[n])) ++n;
    return n;
}

// Whether decimal digits stand for a value of at most limit.
bool digitsWithin(std::string_view digits, std::uint64_t limit) {
    std::uint64_t value = 0;
    for (char c : digits) {
        auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (limit - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return true;
}

// Two digits from low to high.
bool twoDigits(std::string_view text, int low, int high) {
    if (text.size() != 2 || !isDigit(text[0]) || !isDigit(text[1])) return false;
    int value = (text[0] - '0') * 10 + (text[1] - '0');
    return value >= low && value <= high;
}

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (isDigit(c)) return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

bool isPropertyListInteger(std::string_view text) {
    bool negative = text.starts_with('-');
    if (negative) text.remove_prefix(1);
    if (text.empty() || digitRun(text) != text.size() || (text[0] == '0' && (negative || text.size() > 1)))
        return false;
    return digitsWithin(text, negative ? std::uint64_t{1} << 63 : UINT64_MAX);
}

bool isPropertyListReal(std::string_view text) {
    if (text == "nan" || text == "+infinity" || text == "-infinity") return true;
    if (text.starts_with('-')) text.remove_prefix(1);
    std::size_t whole = digitRun(text);
    if (whole == 0) return false;
    text.remove_prefix(whole);
    if (text.starts_with('.')) {
        text.remove_prefix(1);
        std::size_t fraction = digitRun(text);
        if (fraction == 0) return false;
        text.remove_prefix(fraction);
    }
    if (text.starts_with('e')) {
        text.remove_prefix(1);
        if (!text.starts_with('+') && !text.starts_with('-')) return false;
        text.remove_prefix(1);
        std::size_t exponent = digitRun(text);
        if (exponent == 0) return false;
        text.remove_prefix(exponent);
    }
    return text.empty();
}

bool isPropertyListDate(std::string_view text) {
    // The writer pads the year to four characters, a minus sign included.
    std::size_t sign = text.starts_with('-') ? 1 : 0, digits = digitRun(text.substr(sign));
    if (sign + digits < 4 || !digitsWithin(text.substr(sign, digits), INT32_MAX)) return false;
    std::string_view rest = text.substr(sign + digits);
    constexpr std::string_view form = "-00-00T00:00:00Z";
    if (rest.size() != form.size()) return false;
    for (std::size_t i = 0; i < form.size(); ++i)
        if (form[i] != '0' && rest[i] != form[i]) return false;
    return twoDigits(rest.substr(1, 2), 1, 12) && twoDigits(rest.substr(4, 2), 1, 31) &&
           twoDigits(rest.substr(7, 2), 0, 23) && twoDigits(rest.substr(10, 2), 0, 59) &&
           twoDigits(rest.substr(13, 2), 0, 59);
}

bool isPropertyListData(std::string_view text) {
    // Quads of the alphabet; only the last may end in one or two "=", and the bits that padding
    // leaves over are zero, so that every decoder reads the same bytes.
    std::size_t symbols = 0, padding = 0;
    int last = 0;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if (c == '=') {
            if (++padding > 2) return false;
        } else {
            if (padding > 0 || (last = base64Value(c)) < 0) return false;
        }
        ++symbols;
    }
    if (symbols % 4 != 0) return false;
    return padding == 0 || (last & (padding == 1 ? 0x3 : 0xF)) == 0;
}

std::string_view withoutByteOrderMark(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    return text;
}

bool propertyListFollowsRules(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > propertyListFileLimit) return false;
    return bytes.starts_with("bplist00") ? binaryPropertyListFollowsRules(bytes) : xmlPropertyListFollowsRules(bytes);
}

}  // namespace gatewarden
