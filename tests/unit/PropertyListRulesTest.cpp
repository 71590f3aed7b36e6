#include <gtest/gtest.h>

#include "platform/PropertyListRules.h"

namespace gatewarden {
namespace {

using namespace std::literals;

TEST(PropertyListNumbers, IntegersAndRealsOnlyInTheirWholeExactForms) {
    for (auto integer : {"1"sv, "+1"sv, "-1"sv, "01"sv, "0x1"sv, "-0X1f"sv, "9223372036854775807"sv,
                         "-9223372036854775808"sv, "0x7fffffffffffffff"sv, "-0x8000000000000000"sv})
        EXPECT_TRUE(isPropertyListInteger(integer)) << integer;
    for (auto no : {""sv, "1.0"sv, "1abc"sv, " 1"sv, "1 "sv, "-18446744073709551615"sv, "9223372036854775808"sv,
                    "0x8000000000000000"sv, "0x"sv, "0x1g"sv, "1e0"sv, "&#49;"sv, "+-1"sv})
        EXPECT_FALSE(isPropertyListInteger(no)) << no;
    for (auto real : {"1"sv, "1.0"sv, "-.5"sv, "1."sv, "+1e5"sv, "2.5E-3"sv, "nan"sv, "-INF"sv, "Infinity"sv})
        EXPECT_TRUE(isPropertyListReal(real)) << real;
    for (auto no : {""sv, "1abc"sv, "."sv, "1e"sv, "0x1p0"sv, " 1"sv, "1,5"sv, "-nan"sv, "e5"sv})
        EXPECT_FALSE(isPropertyListReal(no)) << no;
}

std::string plist(const std::string& entries) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n<dict>" +
           entries + "</dict>\n</plist>\n";
}

TEST(PropertyListRules, XmlInTheFormAppleReadsOnly) {
    const std::string one = "<key>OSPatchingViaMDMStatus</key><integer>1</integer>";
    EXPECT_TRUE(propertyListFollowsRules(plist(
        one + "<!-- note --><key>a &lt;&amp;&gt; <![CDATA[<x>]]></key><array><real>1.5</real><true/><false></false>"
              "<date>2026-12-06T07:00:45Z</date><data>AQI=\n</data><string/><dict/></array>")));
    for (const std::string& wrong : {
             one + "<key>k<!-- c --></key><string/>", one + "<key>k</key>",  one + "text",
             one + "<key>k</key><string>&#49;</string>", one + "<key>k</key><strung/>",
             one + "<key>k</key><true>x</true>", one + "<key>k</key><date>2026-12-06</date>",
             one + "<key>k</key><data>AQ*I</data>", one + "<key>k</key><integer/>", one + "<string/>",
             one + "<key>k</key><string>\xFF</string>"}) {
        EXPECT_FALSE(propertyListFollowsRules(plist(wrong))) << wrong;
    }
    const std::string document = plist(one);
    for (const std::string& wrong : {document + "<plist><dict/></plist>", "<plist><dict/><dict/></plist>"s, "<plist/>"s,
                                     "<!DOCTYPE plist [<!ENTITY s \"1\">]><plist><dict/></plist>"s, "<plist><dict>"s})
        EXPECT_FALSE(propertyListFollowsRules(wrong)) << wrong;
}

std::string bigEndian(std::uint64_t value, int size = 3) {
    return size > 0 ? bigEndian(value >> 8, size - 1) + static_cast<char>(value) : "";
}
std::string ref(std::size_t index) { return bigEndian(index); }
// A binary property list of the encoded objects, the first on top, with 3-byte offsets and references.
std::string binaryOf(const std::vector<std::string>& objects) {
    std::string body = "bplist00", table;
    for (const auto& object : objects) table += bigEndian(body.size()), body += object;
    return body + table + std::string(6, '\0') + "\x03\x03" + bigEndian(objects.size(), 8) + bigEndian(0, 8) +
           bigEndian(body.size(), 8);
}
// {"k" = value}
std::string keyed(const std::string& value) { return binaryOf({"\xD1" + ref(1) + ref(2), "\x51k", value}); }
// {"k" = a0}, where each of count arrays holds the next one twice: 2^count + 1 values in all.
std::string doubling(std::size_t count) {
    std::vector<std::string> objects{"\xD1" + ref(1) + ref(2), "\x51k"};
    for (std::size_t index = 2; index < count + 2; ++index)
        objects.push_back(index + 1 < count + 2 ? "\xA2" + ref(index + 1) + ref(index + 1) : "\xA0");
    return binaryOf(objects);
}

TEST(PropertyListRules, BinaryWithinSixtyFourBitsAValueBoundAndTextsThatConvert) {
    const std::string zero8(8, '\0'), ones8(8, '\xFF');
    const std::pair<std::string, bool> rows[] = {
        {keyed("\x09"), true},                                       // true, a marker and nothing more, last
        {keyed("\x14" + zero8 + bigEndian(1, 8)), true},             // 1 in 16 bytes
        {keyed("\x14" + ones8 + ones8), true},                        // -1 in 16 bytes
        {keyed("\x14" + bigEndian(1, 8) + bigEndian(1, 8)), false},   // 2^64 + 1
        {keyed("\x14" + zero8 + ones8), false},                       // 2^64 - 1
        {keyed("\x52\x41\xE9"), false},                               // a byte beyond ASCII in an ASCII text
        {keyed("\x62\xD8\x3D\xDE\x00"s), true},                       // a surrogate pair
        {keyed("\x61\xD8\x3D"s), false},                              // a high surrogate alone
        {keyed("\x61\xDE\x00"s), false},                              // a low surrogate alone
        {binaryOf({"\xD1" + ref(1) + ref(2), "\x52\x41\0"s, "\x10\x01"}), false},  // a NUL in a key
        {binaryOf({"\xD1" + ref(1) + ref(0), "\x51k"}), false},                    // a cycle
        {doubling(19), true}, {doubling(20), false},  // 2^19 + 1 values, then 2^20 + 1: beyond a million
    };
    for (std::size_t row = 0; row < std::size(rows); ++row)
        EXPECT_EQ(propertyListFollowsRules(rows[row].first), rows[row].second) << "row " << row;
}

}  // namespace
}  // namespace gatewarden
