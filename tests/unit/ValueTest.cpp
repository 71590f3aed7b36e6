#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "platform/Platform.h"

namespace gatewarden {
namespace {

using namespace std::literals;
constexpr auto none = std::nullopt;

TEST(ParseSignedInteger, TakesOnlyASignAndAsciiDigitsWithin64Bits) {
    const std::pair<std::string_view, std::optional<std::int64_t>> rows[] = {
        {"+30", 30}, {"030", 30}, {"-5", -5}, {"-0", 0}, {"-9223372036854775808", INT64_MIN},
        {"9223372036854775807", INT64_MAX},
        {"9223372036854775808", none}, {"-9223372036854775809", none}, {"18446744073709551626", none},
        {"", none}, {"+", none}, {"-", none}, {"+-5", none}, {" 5", none}, {"5 ", none}, {"1 0", none},
        {"1.0", none}, {"1,000", none}, {"0x10", none}, {"5\n", none}, {"5\0"sv, none}, {"\u0661", none}};
    for (const auto& [text, value] : rows) EXPECT_EQ(parseSignedInteger(text), value) << '"' << text << '"';
}

// Apple's library has the floating-point to_chars only from macOS 13.3; where it is missing, the
// figures are only read back.
#if !defined(__ENVIRONMENT_MAC_OS_X_VERSION_MIN_REQUIRED__) || __ENVIRONMENT_MAC_OS_X_VERSION_MIN_REQUIRED__ >= 130300
#define GATEWARDEN_TO_CHARS_FLOATING_POINT 1
std::string shortestByLibrary(double value) {  // the shortest fixed decimal that reads back, by <charconv>
    char buffer[1200];
    std::string text(buffer, std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed).ptr);
    return text.find('.') == std::string::npos ? text + ".0" : text;
}
#endif

TEST(ShortestDecimal, FewestDigitsThatReadBackWithFractionAndNoExponent) {
    const std::pair<double, std::string_view> rows[] = {
        {1.0, "1.0"}, {0.0, "0.0"}, {0.5, "0.5"}, {0.1, "0.1"}, {-2.5, "-2.5"},
        {79.85263442993164, "79.85263442993164"}, {8589934592.0, "8589934592.0"},
        {std::ldexp(1.0, -30), "0.0000000009313225746154785"},  // 1 byte in gibibytes
        {std::ldexp(1.0, -24), "0.00000005960464477539063"}};   // 64 bytes: 23 digits suffice, rounded up
    for (const auto& [value, text] : rows) EXPECT_EQ(shortestDecimal(value), text);
    // Byte counts around every power of two, as the free-space line shows them in gibibytes.
    for (int bit = 0; bit < 63; ++bit)
        for (std::int64_t delta : {-1, 0, 1}) {
            double gibibytes = static_cast<double>((std::int64_t{1} << bit) + delta) / 1073741824.0;
            EXPECT_EQ(std::strtod(shortestDecimal(gibibytes).c_str(), nullptr), gibibytes) << "2^" << bit << " + " << delta;
#ifdef GATEWARDEN_TO_CHARS_FLOATING_POINT
            EXPECT_EQ(shortestDecimal(gibibytes), shortestByLibrary(gibibytes)) << "2^" << bit << " + " << delta;
#endif
        }
}

TEST(DecodeUtf8, TakesWellFormedTextAndRefusesEverythingElse) {
    for (auto valid : {""sv, "plain"sv, "\xC3\xA9"sv, "\xE2\x82\xAC"sv, "\xED\x9F\xBF"sv, "\xF0\x9F\x98\x80"sv,
                       "\xF4\x8F\xBF\xBF"sv, "a\0b"sv})
        EXPECT_EQ(decodeUtf8(valid), std::string(valid));
    for (auto invalid : {"\xC0\x80"sv, "\xC1\xBF"sv, "\xE0\x80\x80"sv, "\xE0\x9F\xBF"sv, "\xED\xA0\x80"sv,
                         "\xF0\x8F\xBF\xBF"sv, "\xF4\x90\x80\x80"sv, "\xF5\x80\x80\x80"sv, "\xFF"sv, "a\xC3"sv,
                         "\xE2\x82"sv, "\xF0\x9F\x98"sv, "\x80"sv, "a\xBF" "b"sv, "\xC3\x28"sv, "\xE2\x82\xAC\xAC"sv})
        EXPECT_EQ(decodeUtf8(invalid), none) << ::testing::PrintToString(std::string(invalid));
}

TEST(IncompleteUtf8Tail, CountsOnlyAnUnfinishedButValidEnding) {
    const std::pair<std::string_view, std::size_t> rows[] = {
        {"", 0}, {"abc", 0}, {"\xC3\xA9", 0}, {"\xE2\x82\xAC", 0}, {"\xF0\x9F\x98\x80", 0}, {"a\xC3", 1}, {"\xE2", 1},
        {"\xC3\xA9\xE2\x82", 2}, {"\xF0", 1}, {"\xF0\x9F", 2}, {"a\xF0\x9F\x98", 3}, {"\xC0", 0}, {"\xF5", 0},
        {"\xE0\x80", 0}, {"\xED\xA0", 0}, {"\xF0\x8F", 0}, {"\xF4\x90\x80", 0}, {"\xE2\x28", 0}, {"\x80\x80\x80", 0}};
    for (const auto& [bytes, tail] : rows)
        EXPECT_EQ(incompleteUtf8Tail(bytes), tail) << ::testing::PrintToString(std::string(bytes));
}

TEST(Quoted, EscapesQuoteBackslashAndControlCharacters) {
    EXPECT_EQ(quoted("plain \xC3\xA9"), "\"plain \xC3\xA9\"");
    EXPECT_EQ(quoted(std::string("a\"b\\c\nd\te\rf\0g\x01h\x1Bi\x7F"sv)),
              R"("a\"b\\c\nd\te\rf\0g\u{1}h\u{1B}i\u{7F}")");
}

TEST(SubstitutePlaceholders, FillsOnlyAtSignPlaceholdersInOrder) {
    EXPECT_EQ(substitutePlaceholders("a %@ b %@.", {"x", none}), "a x b (null).");
    EXPECT_EQ(substitutePlaceholders("%s %d %% %@ %@ %", {"%@ 100%d"}), "%s %d %% %@ 100%d %@ %");
    EXPECT_EQ(substitutePlaceholders("%@", {}), "%@");
}

}  // namespace
}  // namespace gatewarden
