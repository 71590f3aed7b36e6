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

TEST(Numbers, TheIntegerRuleAndTheFormsAppleWritesTakeOnlyWholeExactValues) {
    const std::pair<std::string_view, std::optional<std::int64_t>> rows[] = {{"+30", 30},
                                                                             {"030", 30},
                                                                             {"-5", -5},
                                                                             {"-0", 0},
                                                                             {"-9223372036854775808", INT64_MIN},
                                                                             {"9223372036854775807", INT64_MAX},
                                                                             {"9223372036854775808", none},
                                                                             {"-9223372036854775809", none},
                                                                             {"18446744073709551626", none},
                                                                             {"", none},
                                                                             {"+", none},
                                                                             {"-", none},
                                                                             {"+-5", none},
                                                                             {" 5", none},
                                                                             {"5 ", none},
                                                                             {"1.0", none},
                                                                             {"0x10", none},
                                                                             {"5\0"sv, none},
                                                                             {"\u0661", none}};
    for (const auto& [text, value] : rows) EXPECT_EQ(parseSignedInteger(text), value) << '"' << text << '"';
    using Form = bool (*)(std::string_view);
    for (auto [form, text, taken] : std::initializer_list<std::tuple<Form, std::string_view, bool>>{
             {isPropertyListInteger, "0", true},
             {isPropertyListInteger, "-9223372036854775808", true},
             {isPropertyListInteger, "18446744073709551615", true},
             {isPropertyListInteger, "18446744073709551616", false},
             {isPropertyListInteger, "-9223372036854775809", false},
             {isPropertyListInteger, "-0", false},
             {isPropertyListInteger, "01", false},
             {isPropertyListInteger, "+1", false},
             {isPropertyListInteger, "0x1", false},
             {isPropertyListInteger, " 1", false},
             {isPropertyListInteger, "", false},
             {isPropertyListInteger, "-", false},
             {isPropertyListReal, "nan", true},
             {isPropertyListReal, "-infinity", true},
             {isPropertyListReal, "0.0", true},
             {isPropertyListReal, "1", true},
             {isPropertyListReal, "-0.10000000000000001", true},
             {isPropertyListReal, "1e+300", true},
             {isPropertyListReal, "inf", false},
             {isPropertyListReal, "NaN", false},
             {isPropertyListReal, "+1", false},
             {isPropertyListReal, ".5", false},
             {isPropertyListReal, "1.", false},
             {isPropertyListReal, "1e5", false},
             {isPropertyListReal, "1E+5", false},
             {isPropertyListReal, "1e+", false},
             {isPropertyListReal, "0x1p0", false},
             {isPropertyListDate, "2026-12-06T07:00:45Z", true},
             {isPropertyListDate, "-1168-02-16T14:13:20Z", true},
             {isPropertyListDate, "-001-01-01T00:00:00Z", true},
             {isPropertyListDate, "2147483647-12-31T23:59:59Z", true},
             {isPropertyListDate, "2147483648-01-01T00:00:00Z", false},
             {isPropertyListDate, "999-01-01T00:00:00Z", false},
             {isPropertyListDate, "-01-01-01T00:00:00Z", false},
             {isPropertyListDate, "2026-13-01T00:00:00Z", false},
             {isPropertyListDate, "2026-12-00T00:00:00Z", false},
             {isPropertyListDate, "2026-12-06T24:00:00Z", false},
             {isPropertyListDate, "2026-12-06T07:60:00Z", false},
             {isPropertyListDate, "2026-12-06T07:00:45", false},
             {isPropertyListDate, "2026-12-06 07:00:45Z", false},
             {isPropertyListDate, "2026-0:-06T07:00:45Z", false},
             {isPropertyListData, "", true},
             {isPropertyListData, "\n\tAQID\n\tBA==\n", true},
             {isPropertyListData, "AQI=", true},
             {isPropertyListData, "AQJ=", false},
             {isPropertyListData, "AR==", false},
             {isPropertyListData, "AQI", false},
             {isPropertyListData, "AQ=I", false},
             {isPropertyListData, "A===", false},
             {isPropertyListData, "AQ*I", false}})
        EXPECT_EQ(form(text), taken) << text;
    // An integer handed over as its low 64 bits and its nearest double.
    for (auto [low, nearest, value] : std::initializer_list<std::tuple<std::int64_t, double, std::optional<Value>>>{
             {-1, -1.0, Value(-1)},
             {INT64_MIN, -0x1p63, Value(INT64_MIN)},
             {-1, 0x1p64, Value(UnsignedInteger{UINT64_MAX})},
             {INT64_MIN, 0x1p63, Value(UnsignedInteger{std::uint64_t{1} << 63})},
             {1, 0x1p64, none},
             {0, -0x1p64, none},
             {INT64_MAX, 0x1p64 + 0x1p63, none}})
        EXPECT_EQ(integerFromLowBits(low, nearest), value) << low << " " << nearest;
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
    for (auto [value, text] : {std::pair{1.0, "1.0"sv},
                               {-2.5, "-2.5"},
                               {NAN, "nan"},
                               {-INFINITY, "-inf"},
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
    for (auto [bytes, replaced] : {std::pair{"\xC0\x80"sv, "\uFFFD\uFFFD"sv},
                                   {"\xE0\x80\x80", "\uFFFD\uFFFD\uFFFD"},
                                   {"\xE0\x9F\xBF", "\uFFFD\uFFFD\uFFFD"},
                                   {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},
                                   {"\xF0\x8F\xBF\xBF", "\uFFFD\uFFFD\uFFFD\uFFFD"},
                                   {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},
                                   {"\xF5\x80", "\uFFFD\uFFFD"},
                                   {"a\xC3", "a\uFFFD"},
                                   {"\xE2\x82", "\uFFFD"},
                                   {"\xF0\x9F\x98z", "\uFFFDz"},
                                   {"a\xBF"
                                    "b",
                                    "a\uFFFD"
                                    "b"},
                                   {"\xC3\x28", "\uFFFD("},
                                   {"\xE2\x82\xAC\xAC", "\xE2\x82\xAC\uFFFD"}}) {
        EXPECT_EQ(decodeUtf8(bytes), none) << ::testing::PrintToString(std::string(bytes));
        EXPECT_EQ(decodeUtf8Replacing(bytes), replaced) << ::testing::PrintToString(std::string(bytes));
    }
    for (auto [bytes, tail] : {std::pair{"abc"sv, 0},
                               {"\xC3\xA9", 0},
                               {"\xF0\x9F\x98\x80", 0},
                               {"a\xC3", 1},
                               {"\xC3\xA9\xE2\x82", 2},
                               {"a\xF0\x9F\x98", 3},
                               {"\xC0", 0},
                               {"\xE0\x80", 0},
                               {"\xED\xA0", 0},
                               {"\xF4\x90\x80", 0},
                               {"\xE2\x28", 0},
                               {"\x80\x80\x80", 0}})  // unfinished but so far valid endings
        EXPECT_EQ(incompleteUtf8Tail(bytes), static_cast<std::size_t>(tail))
            << ::testing::PrintToString(std::string(bytes));
}

TEST(TextRules, CaseBlindEqualityQuotingAndPlaceholders) {
    for (auto [text, equal] : {std::pair{"true"sv, true},
                               {"TRUE", true},
                               {"tRuE", true},
                               {"nope", false},
                               {"xrue", false},
                               {"truee", false},
                               {"tru", false},
                               {"true ", false}})
        EXPECT_EQ(equalsIgnoringCase(text, "true"), equal) << text;
    EXPECT_EQ(quoted(std::string("a\"b\\c\nd\te\rf\0g\x01h\x1Bi\x7F\xC3\xA9"sv)),
              R"("a\"b\\c\nd\te\rf\0g\u{1}h\u{1B}i\u{7F})"
              "\xC3\xA9\"");
    EXPECT_EQ(substitutePlaceholders("%s %d %% %@ %@ %@ %", {"%@ 100%d", none}), "%s %d %% %@ 100%d (null) %@ %");
}

// A document as Apple's writer lays it out, its top dictionary holding "a" = true and entries.
std::string written(const std::string& entries) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist "
           "version=\"1.0\">\n<dict>\n\t<key>a</key>\n\t<true/>\n" +
           entries + "</dict>\n</plist>\n";
}
std::string replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

TEST(PropertyListRules, XmlAsAppleWritesItAndNothingElse) {
    auto nested = [](int levels) {  // {"k" = ((...))}, levels arrays deep under the top dictionary
        std::string opening, closing;
        for (int level = 0; level < levels; ++level) opening += "<array>", closing += "</array>";
        return "<key>k</key>" + opening + closing;
    };
    const std::string empty = written("");
    const std::pair<std::string, bool> rows[] = {
        {empty, true},
        {written(nested(128)), true},
        {written(nested(129)), false},
        {written("\t<key>k &lt;&amp;&gt; "
                 "'\"\r\x01</key>\n\t<array>\n\t\t<real>1.5</real><false/><date>-1168-02-16T14:13:20Z</date>"
                 "<data>\n\t\tAQI=\n\t\t</data><string></string><dict/><array/><integer>18446744073709551615</integer>"
                 "<dict><key>CF$UID</key><string>1</string></dict></array>\n"),
         true},
        // Where the two systems' parsers part ways: encodings, attributes, comments, instructions,
        // document types, entities, empty keys, a U+FEFF where Apple's reader drops it.
        {replaced(empty, "UTF-8", "UTF-7"), false},
        {replaced(empty, "<plist version=\"1.0\">", "<plist version=\"1>0\">"), false},
        {replaced(empty, "<!DOCTYPE plist PUBLIC \"-//Apple//", "<!DOCTYPE plist PUBLIC \"-//Apple Computer//"), true},
        {replaced(empty, "<!DOCTYPE plist PUBLIC", "<!DOCTYPE plist [<!ENTITY e \">\">]> PUBLIC"), false},
        {"\xEF\xBB\xBF" + empty, false},
        {empty + "<!-- -->", false},
        {replaced(empty, "<dict>", "<?>\n<dict>"), false},
        {written("<key>k</key><dict a=\">\"><key>b</key><true/></dict>"), false},
        {written("<!----><key>k</key><true/>"), false},
        {written("<key/><true/>"), false},
        {written("<key>k</key><string/>"), false},
        {written("<key>k</key><true></true>"), false},
        {written("<key>k</key><string><![CDATA[x]]></string>"), false},
        {written("<key>k</key><string>&apos;</string>"), false},
        {written("<key>k</key><string>&#49;</string>"), false},
        {written("<key>k</key><string>a>b</string>"), false},
        {written("<key>k</key><string>\xFF</string>"), false},
        {written("<key>k</key><string>a\0b</string>"s), false},
        {written("<key>k</key><integer> 1</integer>"), false},
        {written("<key>k</key><date>2026-12-06</date>"), false},
        // A key twice, also once Apple's reader has dropped a U+FEFF; an archiver's UID.
        {written("<key>a</key><false/>"), false},
        {written("<key>\xEF\xBB\xBF"
                 "a</key><false/>"),
         false},
        {written("<key>k</key><dict><key>CF$UID</key><integer>1</integer></dict>"), false}};
    for (std::size_t row = 0; row < std::size(rows); ++row)
        EXPECT_EQ(propertyListFollowsRules(rows[row].first), rows[row].second) << "row " << row;
}

std::string bigEndian(std::uint64_t value, int size = 3) {
    return size > 0 ? bigEndian(value >> 8, size - 1) + static_cast<char>(value) : "";
}
// A binary property list of the encoded objects, the first on top, with offsets and references of
// the given width, and unused entries at the end of its offset table.
std::string binaryOf(const std::vector<std::string>& objects, int width = 3,
                     const std::vector<std::uint64_t>& unused = {}) {
    std::string body = "bplist00", table;
    for (const auto& object : objects) table += bigEndian(body.size(), width), body += object;
    for (auto offset : unused) table += bigEndian(offset, width);
    return body + table + std::string(6, '\0') + static_cast<char>(width) + static_cast<char>(width) +
           bigEndian(objects.size() + unused.size(), 8) + bigEndian(0, 8) + bigEndian(body.size(), 8);
}
std::string keyed(const std::string& value) {
    return binaryOf({"\xD1" + bigEndian(1) + bigEndian(2), "\x51k", value});
}  // {"k" = value}
// {"k" = a0}, where each of count arrays holds the next one twice: 2^count + 1 values in all.
std::string doubling(std::size_t count) {
    std::vector<std::string> objects{"\xD1" + bigEndian(1) + bigEndian(2), "\x51k"};
    for (std::size_t next = 3; next < count + 3; ++next)
        objects.push_back(next < count + 2 ? "\xA2" + bigEndian(next) + bigEndian(next) : "\xA0");
    return binaryOf(objects);
}

// {"k" = (c, (c))}, where c is a chain of arrays levels deep: the second c lies one level deeper.
std::string sharedDeeper(std::size_t levels) {
    std::vector<std::string> objects{"\xD1" + bigEndian(1) + bigEndian(2), "\x51k",
                                     "\xA2" + bigEndian(4) + bigEndian(3), "\xA1" + bigEndian(4)};
    for (std::size_t next = 5; next < levels + 5; ++next)
        objects.push_back(next < levels + 4 ? "\xA1" + bigEndian(next) : "\xA0");
    return binaryOf(objects);
}

TEST(PropertyListRules, BinaryAsAppleReadsItWithinBoundsAndWithTextsThatConvert) {
    const std::string zero8(8, '\0'), ones8(8, '\xFF'), atTop = keyed("\x09");
    auto many = [](int width) {  // 256 objects
        std::vector<std::string> objects{"\xD1" + bigEndian(1, width) + bigEndian(2, width), "\x51k", "\x09"};
        objects.resize(256, "\x08");
        return binaryOf(objects, width);
    };
    const std::pair<std::string, bool> rows[] = {
        {atTop, true},  // true, a marker and nothing more, stored last
        {keyed("\x14" + zero8 + bigEndian(1, 8)), true},
        {keyed("\x14" + zero8 + ones8), true},  // 1 and 2^64 - 1 in 16 bytes
        {keyed("\x14" + ones8 + ones8), false},
        {keyed("\x14" + bigEndian(1, 8) + bigEndian(1, 8)), false},  // -1 and 2^64 + 1
        {keyed("\x33" + zero8), true},
        {keyed("\x34" + zero8), false},
        {keyed("\x00"), false},
        {keyed("\x0F"), false},  // a date; no nulls
        {keyed("\x80\x01"), false},
        {binaryOf({"\xD1" + bigEndian(1) + bigEndian(2), "\x51k", "\xC1" + bigEndian(1)}), false},  // UID, set
        // Beyond their first 15 characters, whose count follows the marker: a byte beyond ASCII, a high surrogate
        // alone.
        {keyed("\x5F\x10\x10" + std::string(15, 'a') + "\xE9"), false},
        {keyed("\x6F\x10\x10" + std::string(15, 'a') + "\xD8\x3D"), false},
        {keyed("\x62\xD8\x3D\xDE\x00"s), true},
        {keyed("\x61\xDE\x00"s), false},  // a surrogate pair; a low surrogate alone
        {binaryOf({"\xD1" + bigEndian(1) + bigEndian(2), "\x52\x41\0"s, "\x10\x01"}), false},  // a NUL in a key
        {keyed("\x53"
               "a\0b"s),
         false},
        {keyed("\x62\0a\0\0"s), false},                                                     // and in a value
        {binaryOf({"\xD1" + bigEndian(1) + bigEndian(2), "\x10\x01", "\x10\x01"}), false},  // a key that is no text
        {binaryOf({"\xD2" + bigEndian(1) + bigEndian(2) + bigEndian(3) + bigEndian(3), "\x51k", "\x61\0k"s, "\x09"}),
         false},                                                             // "k" twice
        {binaryOf({"\xD1" + bigEndian(1) + bigEndian(0), "\x51k"}), false},  // a cycle
        {doubling(19), true},
        {doubling(20), false},  // 2^19 + 1 values, then 2^20 + 1: beyond a million
        {sharedDeeper(126), true},
        {sharedDeeper(127), false},  // a subtree seen once more, one level deeper
        // The layout as Apple's reader checks it.
        {many(2), true},
        {many(1), false},  // 256 objects: one byte cannot name them all
        {binaryOf({"\xD1\x01\x02", "\x51k", "\x5F\x10\xC8" + std::string(200, 'x')}, 1),
         true},  // a table one byte can reach
        {binaryOf({"\xD1\x01\x02", "\x51k", "\x5F\x11\x01\x00" + std::string(256, 'x')}, 1),
         false},  // and one it cannot
        {binaryOf({"\xD1" + bigEndian(1) + bigEndian(2), "\x51k", "\x09"}, 3, {8}), true},
        {binaryOf({"\xD1" + bigEndian(1) + bigEndian(2), "\x51k", "\x09"}, 3, {0}),
         false},  // an unused entry into the header
        {binaryOf({"\xD1" + bigEndian(1) + bigEndian(2), "\x51k", "\x09"}, 3, {18}), false},  // or at the table
        {replaced(atTop, std::string(6, '\0') + "\x03\x03", std::string(7, '\0') + "\x03\x03"),
         false},  // a byte before the trailer
        {keyed("\x53"
               "ab"),
         false}};  // a text reaching into the offset table
    for (std::size_t row = 0; row < std::size(rows); ++row)
        EXPECT_EQ(propertyListFollowsRules(rows[row].first), rows[row].second) << "row " << row;
}

}  // namespace
}  // namespace gatewarden
