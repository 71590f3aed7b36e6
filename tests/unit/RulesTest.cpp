// The pure rules: numbers, decimals, UTF-8, texts, renderings and the bytes of property lists.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>

#include "platform/Platform.h"
#include "reading/PropertyListRules.h"
#include "reading/Utf8.h"

namespace gatewarden {
namespace {

using namespace std::literals;
constexpr auto none = std::nullopt;

TEST(Numbers, TheIntegerRuleAndThePropertyListFormsTakeOnlyWholeExactNumbers) {
    const std::pair<std::string_view, std::optional<std::int64_t>> rows[] = {
        {"+30", 30}, {"030", 30}, {"-5", -5}, {"-0", 0}, {"-9223372036854775808", INT64_MIN}, {"9223372036854775807", INT64_MAX},
        {"9223372036854775808", none}, {"-9223372036854775809", none}, {"18446744073709551626", none}, {"", none}, {"+", none},
        {"-", none}, {"+-5", none}, {" 5", none}, {"5 ", none}, {"1.0", none}, {"0x10", none}, {"5\0"sv, none}, {"\u0661", none}};
    for (const auto& [text, value] : rows) EXPECT_EQ(parseSignedInteger(text), value) << '"' << text << '"';
    for (auto [text, integer, real] : {std::tuple{"1"sv, true, true}, {"-0X1f", true, false}, {"0x7fffffffffffffff", true, false},
                                       {"-0x8000000000000000", true, false}, {"0x8000000000000000", false, false}, {"1.0", false, true},
                                       {"-.5", false, true}, {"1.", false, true}, {"+1e5", false, true}, {"2.5E-3", false, true},
                                       {"-INF", false, true}, {"Infinity", false, true}, {"nan", false, true}, {"-nan", false, false},
                                       {"1abc", false, false}, {" 1", false, false}, {"0x", false, false}, {"0x1g", false, false},
                                       {"&#49;", false, false}, {"-18446744073709551615", false, true}, {".", false, false},
                                       {"1e", false, false}, {"0x1p0", false, false}, {"1,5", false, false}, {"e5", false, false}}) {
        EXPECT_EQ(isPropertyListInteger(text), integer) << text;
        EXPECT_EQ(isPropertyListReal(text), real) << text;
    }
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
    for (auto [value, text] : {std::pair{1.0, "1.0"sv}, {-2.5, "-2.5"}, {NAN, "nan"}, {-INFINITY, "-inf"},
                               {std::ldexp(1.0, -30), "0.0000000009313225746154785"},  // 1 byte in gibibytes
                               {std::ldexp(1.0, -24), "0.00000005960464477539063"}})   // 64 bytes: rounded up
        EXPECT_EQ(shortestDecimal(value), text);
    // Byte counts around every power of two and at random, as the free-space line shows them in gibibytes.
    std::mt19937_64 random(7);
    for (int bit = 0; bit < 63; ++bit)
        for (std::int64_t bytes : {(std::int64_t{1} << bit) - 1, std::int64_t{1} << bit, (std::int64_t{1} << bit) + 1,
                                   static_cast<std::int64_t>(random() >> (bit + 1))}) {
            double gibibytes = static_cast<double>(bytes) / 1073741824.0;
            EXPECT_EQ(std::strtod(shortestDecimal(gibibytes).c_str(), nullptr), gibibytes) << bytes;
#ifdef GATEWARDEN_TO_CHARS_FLOATING_POINT
            EXPECT_EQ(shortestDecimal(gibibytes), shortestByLibrary(gibibytes)) << bytes;
#endif
        }
}

TEST(Utf8, StrictDecodingAndReplacementOfEachInvalidSequence) {
    for (auto valid : {"plain a\0b"sv, "\xC3\xA9\xE2\x82\xAC\xED\x9F\xBF\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"sv})
        EXPECT_EQ(decodeUtf8(valid), std::string(valid));
    for (auto [bytes, replaced] : {std::pair{"\xC0\x80"sv, "\uFFFD\uFFFD"sv}, {"\xE0\x80\x80", "\uFFFD\uFFFD\uFFFD"},
                                   {"\xE0\x9F\xBF", "\uFFFD\uFFFD\uFFFD"}, {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},
                                   {"\xF0\x8F\xBF\xBF", "\uFFFD\uFFFD\uFFFD\uFFFD"}, {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},
                                   {"\xF5\x80", "\uFFFD\uFFFD"}, {"a\xC3", "a\uFFFD"}, {"\xE2\x82", "\uFFFD"}, {"\xF0\x9F\x98z", "\uFFFDz"},
                                   {"a\xBF" "b", "a\uFFFD" "b"}, {"\xC3\x28", "\uFFFD("}, {"\xE2\x82\xAC\xAC", "\xE2\x82\xAC\uFFFD"}}) {
        EXPECT_EQ(decodeUtf8(bytes), none) << ::testing::PrintToString(std::string(bytes));
        EXPECT_EQ(decodeUtf8Replacing(bytes), replaced) << ::testing::PrintToString(std::string(bytes));
    }
    for (auto [bytes, tail] : {std::pair{"abc"sv, 0}, {"\xC3\xA9", 0}, {"\xF0\x9F\x98\x80", 0}, {"a\xC3", 1}, {"\xC3\xA9\xE2\x82", 2},
                               {"a\xF0\x9F\x98", 3}, {"\xC0", 0}, {"\xE0\x80", 0}, {"\xED\xA0", 0}, {"\xF4\x90\x80", 0},
                               {"\xE2\x28", 0}, {"\x80\x80\x80", 0}})  // unfinished but so far valid endings
        EXPECT_EQ(incompleteUtf8Tail(bytes), static_cast<std::size_t>(tail)) << ::testing::PrintToString(std::string(bytes));
}

TEST(TextRules, CaseBlindEqualityQuotingAndPlaceholders) {
    for (auto [text, equal] : {std::pair{"true"sv, true}, {"TRUE", true}, {"tRuE", true}, {"nope", false},
                               {"xrue", false}, {"truee", false}, {"tru", false}, {"true ", false}})
        EXPECT_EQ(equalsIgnoringCase(text, "true"), equal) << text;
    EXPECT_EQ(quoted(std::string("a\"b\\c\nd\te\rf\0g\x01h\x1Bi\x7F\xC3\xA9"sv)), R"("a\"b\\c\nd\te\rf\0g\u{1}h\u{1B}i\u{7F})" "\xC3\xA9\"");
    EXPECT_EQ(substitutePlaceholders("%s %d %% %@ %@ %@ %", {"%@ 100%d", none}), "%s %d %% %@ 100%d (null) %@ %");
}

TEST(PropertyListRules, XmlInTheFormAppleReadsOnly) {
    auto plist = [](const std::string& entries) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
               "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n<dict><key>a</key><true/>" + entries + "</dict>\n</plist>\n";
    };
    auto nested = [](int levels) {  // {"k" = ((...))}, levels arrays deep under the top dictionary
        std::string opening, closing;
        for (int level = 0; level < levels; ++level) opening += "<array>", closing += "</array>";
        return "<key>k</key>" + opening + closing;
    };
    for (const std::string& right : {nested(128), "<!-- note --><key>a &lt;&amp;&gt; <![CDATA[<x>]]></key><array><real>1.5</real><false></false>"
                                                  "<date>2026-12-06T07:00:45Z</date><data>AQI=\n</data><string/><dict/><integer>-0x1</integer></array>"s})
        EXPECT_TRUE(propertyListFollowsRules(plist(right))) << right;
    for (const std::string& wrong : std::initializer_list<std::string>{"<key>k<!-- c --></key><string/>", "<key>k</key>", "text", "<key>k</key><string>&#49;</string>",
                                     "<key>k</key><strung/>", "<key>k</key><true>x</true>", "<key>k</key><date>2026-12-06</date>",
                                     "<key>k</key><data>AQ*I</data>", "<key>k</key><integer/>", "<string/>",
                                     "<key>k</key><string>\xFF</string>", "<key>k</key><string>a\0b</string>"s, nested(129)})
        EXPECT_FALSE(propertyListFollowsRules(plist(wrong))) << wrong;
    for (const std::string& wrong : {plist("") + "<plist><dict/></plist>", "<plist><dict/><dict/></plist>"s, "<plist/>"s,
                                     "<!DOCTYPE plist [<!ENTITY s \"1\">]><plist><dict/></plist>"s, "<plist><dict>"s})
        EXPECT_FALSE(propertyListFollowsRules(wrong)) << wrong;
}

std::string bigEndian(std::uint64_t value, int size = 3) { return size > 0 ? bigEndian(value >> 8, size - 1) + static_cast<char>(value) : ""; }
// A binary property list of the encoded objects, the first on top, with 3-byte offsets and references.
std::string binaryOf(const std::vector<std::string>& objects) {
    std::string body = "bplist00", table;
    for (const auto& object : objects) table += bigEndian(body.size()), body += object;
    return body + table + std::string(6, '\0') + "\x03\x03" + bigEndian(objects.size(), 8) + bigEndian(0, 8) + bigEndian(body.size(), 8);
}
std::string keyed(const std::string& value) { return binaryOf({"\xD1" + bigEndian(1) + bigEndian(2), "\x51k", value}); }  // {"k" = value}
// {"k" = a0}, where each of count arrays holds the next one twice: 2^count + 1 values in all.
std::string doubling(std::size_t count) {
    std::vector<std::string> objects{"\xD1" + bigEndian(1) + bigEndian(2), "\x51k"};
    for (std::size_t next = 3; next < count + 3; ++next) objects.push_back(next < count + 2 ? "\xA2" + bigEndian(next) + bigEndian(next) : "\xA0");
    return binaryOf(objects);
}

TEST(PropertyListRules, BinaryWithinSixtyFourBitsAValueBoundAndTextsThatConvert) {
    const std::string zero8(8, '\0'), ones8(8, '\xFF');
    const std::pair<std::string, bool> rows[] = {
        {keyed("\x09"), true},  // true, a marker and nothing more, stored last
        {keyed("\x14" + zero8 + bigEndian(1, 8)), true}, {keyed("\x14" + ones8 + ones8), true},                 // 1 and -1 in 16 bytes
        {keyed("\x14" + bigEndian(1, 8) + bigEndian(1, 8)), false}, {keyed("\x14" + zero8 + ones8), false},    // 2^64 + 1, 2^64 - 1
        {keyed("\x52\x41\xE9"), false}, {keyed("\x62\xD8\x3D\xDE\x00"s), true},  // a byte beyond ASCII; a surrogate pair
        {keyed("\x61\xD8\x3D"s), false}, {keyed("\x61\xDE\x00"s), false},         // a high or a low surrogate alone
        {binaryOf({"\xD1" + bigEndian(1) + bigEndian(2), "\x52\x41\0"s, "\x10\x01"}), false},  // a NUL in a key
        {keyed("\x53" "a\0b"s), false}, {keyed("\x62\0a\0\0"s), false},                         // and in a value
        {binaryOf({"\xD1" + bigEndian(1) + bigEndian(2), "\x10\x01", "\x10\x01"}), false},      // a key that is no text
        {binaryOf({"\xD1" + bigEndian(1) + bigEndian(0), "\x51k"}), false},                     // a cycle
        {doubling(19), true}, {doubling(20), false}};  // 2^19 + 1 values, then 2^20 + 1: beyond a million
    for (std::size_t row = 0; row < std::size(rows); ++row) EXPECT_EQ(propertyListFollowsRules(rows[row].first), rows[row].second) << "row " << row;
}

}  // namespace
}  // namespace gatewarden
