// Pure rules whose edge cases are cheaper to state as rows than as machines: the integer rule and the
// forms Apple's writer uses, the shortest decimal, UTF-8, and the bytes of property lists.
#include <gtest/gtest.h>

#include <regex>

#include "platform/Platform.h"
#include "reading/PropertyListRules.h"
#include "reading/ReaderTables.h"
#include "reading/Utf8.h"

namespace gatewarden {
namespace {

using namespace std::literals;

TEST(Numbers, TheIntegerRuleAndTheFormsAppleWritesTakeOnlyWholeExactValues) {
    for (auto [text, value] : {std::pair{"-9223372036854775808"sv, INT64_MIN}, {"9223372036854775807", INT64_MAX}})
        EXPECT_EQ(parseSignedInteger(text), value) << text;
    for (auto text : std::initializer_list<std::string_view>{"9223372036854775808", "18446744073709551626", "", "+",
                                                             "-", "+-5", " 5", "5 ", "1.0", "0x10", "\u0661"})
        EXPECT_EQ(parseSignedInteger(text), std::nullopt) << text;
    using Form = bool (*)(std::string_view);
    const std::tuple<Form, std::vector<std::string_view>, std::vector<std::string_view>> forms[] = {
        {isPropertyListInteger,
         {"0", "-9223372036854775808", "18446744073709551615"},
         {"18446744073709551616", "-9223372036854775809", "-0", "01", "+1", " 1", "", "-"}},
        {isPropertyListReal,
         {"nan", "-infinity", "-0.10000000000000001", "1e+300", "1e-7"},
         {"+1", ".5", "1.", "1e55", "1e+", "0x1p0"}},
        {isPropertyListDate,
         {"2026-12-06T07:00:45Z", "-001-01-01T00:00:00Z", "2147483647-12-31T23:59:59Z"},
         {"2147483648-01-01T00:00:00Z", "2026-13-01T00:00:00Z", "2026-12-00T00:00:00Z", "2026-12-06T07:00:45",
          "2026-12-06T07:00:45ZZ", "2026+12-06T07:00:45Z", "2026-0:-06T07:00:45Z", "2026-12-32T00:00:00Z",
          "2026-12-06T24:00:00Z", "2026-12-06T07:60:00Z", "2026-12-06T07:00:60Z"}},
        {isPropertyListData,
         {"", "\n\tAQID\n\tBA==\n", "+/az09AZAQ0=", "AQw=", "AQ=="},
         {"AQJ=", "AR==", "AA/=", "AQ=I", "A===", "QUJDRA!=", "AAA"}}};
    for (const auto& [form, taken, refused] : forms) {
        for (auto text : taken) EXPECT_TRUE(form(text)) << text;
        for (auto text : refused) EXPECT_FALSE(form(text)) << text;
    }
    // An integer handed over as its conversions to 64 bits and to a double, each exact or not.
    for (auto [low, integerExact, nearest, value] :
         std::initializer_list<std::tuple<std::int64_t, bool, double, std::optional<Value>>>{
             {-1, true, -1.0, Value(-1)},
             {-1, true, 0x1p64, Value(UnsignedInteger{UINT64_MAX})},
             {INT64_MAX, false, 0x1p63, Value(UnsignedInteger{std::uint64_t{1} << 63})},  // clamped, exact double
             {INT64_MAX, false, 0x1.8p63, std::nullopt}})                                 // clamped, inexact double
        EXPECT_EQ(integerFromConversions(low, integerExact, nearest, nearest == 0x1p63 || nearest == -1.0), value)
            << low << " " << nearest;
}

TEST(ShortestDecimal, FewestDigitsThatReadBackWithFractionAndNoExponent) {
    EXPECT_EQ(shortestDecimal(0x1p-24), "0.00000005960464477539063");  // 64 bytes: rounded up
    EXPECT_EQ(shortestDecimal(-0x1p-24), "-0.00000005960464477539063");
}

TEST(Utf8, StrictDecodingAndReplacementOfEachInvalidSequence) {
    for (auto valid :
         {"plain a\0b"sv, "\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"sv})
        EXPECT_EQ(decodeUtf8(valid), std::string(valid));
    for (auto [bytes, replaced] : {std::pair{"\xC1\x80"sv, "\uFFFD\uFFFD"sv},
                                   {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},
                                   {"\xF0\x8F\xBF\xBF", "\uFFFD\uFFFD\uFFFD\uFFFD"},
                                   {"\xF5\x80", "\uFFFD\uFFFD"},
                                   {"\xC3\x7F\xC3\xC0", "\uFFFD\x7F\uFFFD\uFFFD"},
                                   {"\xC3\xA9\x80", "\xC3\xA9\uFFFD"}}) {
        EXPECT_EQ(decodeUtf8(bytes), std::nullopt) << ::testing::PrintToString(std::string(bytes));
        EXPECT_EQ(decodeUtf8Replacing(bytes), replaced) << ::testing::PrintToString(std::string(bytes));
    }
    // Unfinished but so far valid endings, by the bytes they hold.
    const std::pair<std::size_t, std::vector<std::string_view>> tails[] = {
        {0, {"\xC0", "\xE0\x80", "\xED\xA0", "\xF4\x90\x80", "\x80"}},
        {1, {"a\xC3"}},
        {2, {"\xC3\xA9\xE2\x80"}},
        {3, {"a\xF0\x9F\x98", "\xF0\x9F\xBF"}}};
    for (const auto& [tail, endings] : tails)
        for (auto bytes : endings)
            EXPECT_EQ(incompleteUtf8Tail(bytes), tail) << ::testing::PrintToString(std::string(bytes));
    EXPECT_EQ(utf16Of("a\xC3\xA9\xEF\xBF\xBF\xF0\x90\x80\x80"), u"a\u00E9\uFFFF\U00010000");
}

// n copies of part.
std::string times(const std::string& part, std::size_t n) {
    std::string all;
    for (std::size_t k = 0; k < n; ++k) all += part;
    return all;
}
// A document as Apple's writer lays it out, its top dictionary holding "a" = true and entries.
std::string written(const std::string& entries) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist "
           "version=\"1.0\">\n<dict>\n\t<key>a</key>\n\t<true/>\n" +
           entries + "</dict>\n</plist>\n";
}

TEST(PropertyListRules, XmlAsAppleWritesItAndNothingElse) {
    auto nested = [](int levels) { return "<key>k</key>" + times("<array>", levels) + times("</array>", levels); };
    const std::string empty = written("");
    for (const auto& file :
         {empty, written(nested(64)), std::regex_replace(empty, std::regex("Apple//"), "Apple Computer//"),
          written("<key></key><true/><key>&gt;</key><true/>\t<key>k &lt;&amp;&gt; '\"\r\x01</key>\n\t<array>\n\t\t"
                  "<real>1.5</real><false/><date>-1168-02-16T14:13:20Z</date><data>\n\t\tAQI=\n\t\t</data>"
                  "<string></string><dict/><array/><integer>18446744073709551615</integer>"
                  "<dict><key>CF$UID</key><string>1</string></dict></array>\n")})
        EXPECT_TRUE(propertyListFollowsRules(file)) << file;
    // Where the two systems' parsers part ways: depth, a byte past the size limit, depth passed where only </plist>
    // follows, document types, a byte order mark, comments, attributes, a document cut off in a date, a NUL, no
    // </plist>, a key twice (also once Apple's reader has dropped a U+FEFF), an archiver's UID, a dictionary that
    // </plist> ends.
    for (const auto& file :
         {written(nested(65)), written(std::string((1 << 20) + 1 - empty.size(), '\n')),
          std::regex_replace(written("<key>k</key>" + times("<array>", 64)), std::regex("</dict>\n"), ""),
          std::regex_replace(empty, std::regex("<!DOCTYPE plist"), "<!DOCTYPE plist [<!ENTITY e \">\">]>"),
          "\xEF\xBB\xBF" + empty, empty + "<!-- -->", written("<key>k</key><dict a=\">\"><key>b</key><true/></dict>"),
          std::regex_replace(empty, std::regex("</dict>"), "<key>k</key><date>2026-12-06T07:00:45Z"),
          written("<key>k</key><string>a\0b</string>"s), empty.substr(0, empty.size() - 9),
          written("<key>b</key><true/><key>\uFEFFa</key><false/>"),
          written("<key>k</key><dict><key>CF$UID</key><integer>1</integer></dict>"),
          std::regex_replace(empty, std::regex("\t<key>a</key>\n\t<true/>\n</dict>\n"), "")})
        EXPECT_FALSE(propertyListFollowsRules(file)) << file.substr(0, 400);
}

std::string bigEndian(std::uint64_t value, int size = 3) {
    return size > 0 ? bigEndian(value >> 8, size - 1) + static_cast<char>(value) : "";
}
// A binary property list of the encoded objects, the first on top unless told, with offsets and
// references of the given width (references of 3 bytes with offsets of 9), and unused entries at the
// end of its offset table.
std::string binaryOf(const std::vector<std::string>& objects, int width = 3,
                     const std::vector<std::uint64_t>& unused = {}, std::uint64_t top = 0) {
    std::string body = "bplist00", table;
    for (const auto& object : objects) table += bigEndian(body.size(), width), body += object;
    for (auto offset : unused) table += bigEndian(offset, width);
    return body + table + std::string(6, '\0') + static_cast<char>(width) + static_cast<char>(width == 9 ? 3 : width) +
           bigEndian(objects.size() + unused.size(), 8) + bigEndian(top, 8) + bigEndian(body.size(), 8);
}
// {"k" = value}, with further objects after it.
std::string keyed(const std::string& value, std::vector<std::string> more = {}) {
    more.insert(more.begin(), {"\xD1" + bigEndian(1) + bigEndian(2), "\x51k", value});
    return binaryOf(more);
}
// {"k" = (o, o, ...)}: the first of the objects named count times, the others after it.
std::string named(std::size_t count, std::vector<std::string> objects) {
    return keyed("\xAF\x12" + bigEndian(count, 4) + times(bigEndian(3), count), std::move(objects));
}
// {"k" = (x, b)}: x of ten nested arrays, and below b a chain of arrays that each hold the next, the
// last of which holds x again: x's deepest array at 11 levels below the top, then at levels + 11.
std::string walkedAgain(std::size_t levels) {
    std::vector<std::string> objects;
    for (std::size_t k = 3; k < 13 + levels; ++k)
        objects.push_back(k == 12 ? "\xA0" : "\xA1" + bigEndian(k + 1 == 13 + levels ? 3 : k + 1));
    return keyed("\xA2" + bigEndian(3) + bigEndian(13), objects);
}

TEST(PropertyListRules, BinaryAsAppleReadsItWithinBoundsAndWithTextsThatConvert) {
    const std::string zero8(8, '\0'), ones8(8, '\xFF'), dels(239, '\x7F');
    const std::string utf16 = "\x65\x00\x80\x07\xFF\xD8\x3D\xDE\x00\x08\x00"s;  // 5 units, 11 bytes in UTF-8
    std::vector<std::string> doubling;  // for {"k" = a}: a and 11 arrays after it each hold the next one twice
    for (std::size_t next = 4; next < 15; ++next) doubling.push_back("\xA2" + bigEndian(next) + bigEndian(next));
    doubling.push_back("\xA0");
    // Values {"k" = value} cannot hold: five items with room for one; a reference to no object; data of 32 bytes
    // with room for 15; 2^64 in 16 bytes, and an integer of 16 bytes cut at the offset table; a date with another
    // marker, and one with fewer bytes; a UID outside an archive; a count in a real rather than an integer; a long
    // count cut at the offset table, and one of 16 bytes; a NUL in an ASCII text, and in a UTF-16 one; a byte no
    // ASCII text holds; an empty UTF-16 text, which Apple's reader refuses; a high surrogate at the end; a UTF-16 text
    // and a real cut at the offset table.
    for (auto value :
         {"\xA5\0\0\x01"s, "\xA1\0\0\x03"s, "\x4F\x10 ddddddddddddddd"s, "\x14\0\0\0\0\0\0\0\x01\0\0\0\0\0\0\0\0"s,
          "\x14\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"s, "\x34\0\0\0\0\0\0\0\0"s, "\x33\0\0\0\0\0\0\0"s, "\x80\x01"s,
          "\x5F\x20\x01x"s, "\x4F\x10"s, "\x4F\x14\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x01\x64"s, "\x52\x61\x00"s,
          "\x61\x00\x00"s, "\x51\x80"s, "\x60"s, "\x62\x00\x61\xD8\x00"s, "\x62\x00\x61\x61"s, "\x23\0\0\0\0\0\0\0"s})
        EXPECT_FALSE(propertyListFollowsRules(keyed(value))) << ::testing::PrintToString(value);
    const std::pair<std::string, bool> rows[] = {
        // Objects that end at the offset table: a text of 15 units and a long count; the largest integer of 16 bytes;
        // a date.
        {keyed("\x6F\x11\x00\x0F"s + times("\0a"s, 13) + "\xD8\x3D\xDE\x00"s), true},
        {keyed("\x14" + zero8 + ones8), true},
        {keyed("\x33" + zero8), true},
        // Long counts: one of 8 bytes whose integer ends at the offset table, and one whose integer would begin at
        // the offset table, which starts with an integer's marker.
        {keyed("\x4F\x13" + zero8), true},
        {"bplist00" + zero8 + "\xD1\x01\x02\x51k\x4F\x10\x13\x15" + std::string(6, '\0') + "\x01\x01" +
             bigEndian(3, 8) + zero8 + bigEndian(22, 8),
         false},
        // Surrogate pairs at the edges of their ranges, between the units just outside them.
        {keyed("\x66\xD7\xFF\xD8\x00\xDC\x00\xDB\xFF\xDF\xFF\xE0\x00"s), true},
        // Dictionaries and the graph: a key that is no text; U+007F twice; U+00E9 twice in UTF-16, another key between;
        // "AB" in ASCII and U+4142 in UTF-16, of the same bytes; a cycle; 64 levels below the top, then 65 through an
        // array walked before.
        {binaryOf({"\xD1" + bigEndian(1) + bigEndian(2), "\x10\x01", "\x10\x01"}), false},
        {binaryOf({"\xD2\x01\x02\x03\x03", "\x51\x7F", "\x61\0\x7F"s, "\x09"}, 1), false},
        {binaryOf({"\xD3\x01\x02\x03\x04\x04\x04", "\x61\0\xE9"s, "\x51z", "\x61\0\xE9"s, "\x09"}, 1), false},
        {binaryOf({"\xD2\x01\x02\x03\x03", "\x52\x41\x42", "\x61\x41\x42", "\x09"}, 1), true},
        {binaryOf({"\xD1" + bigEndian(1) + bigEndian(0), "\x51k"}), false},
        {walkedAgain(53), true},
        {walkedAgain(54), false},
        // What shared references expand to: 8,193 values in 179 bytes (the limit is 4,096 and one per 3 bytes); a
        // text of 11 bytes in UTF-8 named 52,459 times in 157,455 bytes, then once more (256 KiB and twice the file).
        {keyed("\xA2" + bigEndian(3) + bigEndian(3), doubling), false},
        {named(52459, {utf16}), true},
        {named(52460, {utf16}), false},
        // The layout as Apple's reader checks it: a table one byte can just reach (after a text of DELs, which ASCII
        // holds) of the 255 entries one-byte references can name, and one it cannot reach; references of 8 bytes;
        // offsets of 9; an archiver's UID that only an unused top would name; an unused first entry at the table; too
        // short for a trailer.
        {binaryOf({"\xD1\x01\x02", "\x51k", "\x5F\x10\xEF" + dels}, 1, std::vector<std::uint64_t>(252, 8)), true},
        {binaryOf({"\xD1\x01\x02", "\x51k", "\x5F\x10\xF0" + dels + '\x7F'}, 1), false},
        {binaryOf({"\xD1" + bigEndian(1, 8) + bigEndian(2, 8), "\x51k", "\x09"}, 8), true},
        {binaryOf({"\xD1" + bigEndian(1) + bigEndian(2), "\x51k", "\x09"}, 9), false},
        {binaryOf({"\x80\x01", "\xD1" + bigEndian(2) + bigEndian(3), "\x51k", "\x09"}, 3, {}, 1), true},
        {binaryOf({"\x09", "\xD1\x02\x03", "\x51k", "\x09"}, 1, {}, 1).replace(15, 1, "\x0F"), false},
        {"bplist00", false}};
    for (std::size_t row = 0; row < std::size(rows); ++row)
        EXPECT_EQ(propertyListFollowsRules(rows[row].first), rows[row].second) << "row " << row;
}

// n keys of blocks that a reader's hash cannot tell apart, block k as bit k of the key's number:
// "Ez" and "FY" for libplist, (a, b) and (a + 1, b - 257) in UTF-16 for CoreFoundation.
std::vector<std::string> colliding(std::size_t n, std::size_t blocks, const std::string& zero, const std::string& one) {
    std::vector<std::string> keys(n);
    for (std::size_t k = 0; k < n; ++k)
        for (std::size_t block = 0; block < blocks; ++block) keys[k] += k >> block & 1 ? one : zero;
    return keys;
}
std::string xmlDictionary(const std::vector<std::string>& keys) {
    std::string entries;
    for (const auto& key : keys) entries += "<key>" + key + "</key><true/>";
    return written("<key>d</key><dict>" + entries + "</dict>");
}
TEST(PropertyListRules, KeysChosenToFallTogetherInAReadersTableAreRefusedAndOrdinaryOnesRead) {
    // CoreFoundation's hash as its open-source release computes it: units summed in 32 bits, and a
    // long text by its first, middle and last 32 units.
    std::u16string wide(97, u'\0'), tail = u"\xFF00\xFF01\xFF02\xFF03\xFF04\xFF05\xFF06", four = tail.substr(0, 4);
    for (std::size_t i = 0; i < wide.size(); ++i) wide[i] = static_cast<char16_t>(0x4E00 + 37 * i % 1000);
    for (auto [text, hash] : {std::pair{wide, 6744199684710908691ull}, {tail, 1108023433973652252}, {four, 5159522474}})
        EXPECT_EQ(coreFoundationTextHash(text), hash) << text.size();
    // Its table sizes are odd primes: keys whose hashes step by two meet no other key in the one sized for them.
    for (std::size_t n = 1; n < 340000; n += n / 16 + 1) {
        std::vector<TableKey> keys(n);
        for (std::size_t k = 0; k < n; ++k) keys[k] = {2 * k, std::size_t{1} << 40};
        EXPECT_TRUE(CoreFoundationTableWork(0).addDictionary(keys, false)) << n;
    }
    // Three keys of the last bucket fill the table of three as a probe past its end goes on at the first bucket. 700
    // keys of one hash: within what a file may spend when the table is sized once for them, but not when it grows to
    // hold them, placing every key again at each size.
    EXPECT_TRUE(CoreFoundationTableWork(0).addDictionary(std::vector<TableKey>(3, {2, 0}), false));
    EXPECT_TRUE(CoreFoundationTableWork(0).addDictionary(std::vector<TableKey>(700), false));
    EXPECT_FALSE(CoreFoundationTableWork(0).addDictionary(std::vector<TableKey>(700), true));
    // libplist's bucket: djb2 over the bytes as signed chars, of 4,096. A dictionary of 257 keys may hold 2,080 pairs
    // of keys that share one: 65 keys in one bucket (and one in the last, which is no other), but not one pair more.
    EXPECT_EQ(libplistKeyBucket("k\xC3\xA9"), 476u);
    std::vector<unsigned> buckets(257);
    for (unsigned k = 0; k < 257; ++k) buckets[k] = k < 65 ? 0 : k < 256 ? k : 4095;
    EXPECT_TRUE(libplistKeysSpread(buckets));
    buckets[256] = 255;
    EXPECT_FALSE(libplistKeysSpread(buckets));
    std::vector<std::string> ordinary;
    for (std::size_t k = 0; k < 3000; ++k) ordinary.push_back("k" + std::to_string(10000 + k));
    EXPECT_TRUE(propertyListFollowsRules(xmlDictionary(ordinary)));
    EXPECT_FALSE(propertyListFollowsRules(xmlDictionary(colliding(512, 9, "Ez", "FY"))));  // libplist's bucket
    EXPECT_FALSE(propertyListFollowsRules(xmlDictionary(colliding(1024, 10, "\u4E00\u5000", "\u4E01\u4EFF"))));  // CF's
    // A dictionary of 300 keys of one hash, in UTF-16 and of long counts, named eight times but built once.
    std::vector<std::string> shared{"\xDF\x11" + bigEndian(300, 2)};
    for (std::size_t k = 0; k < 600; ++k) shared[0] += bigEndian(k < 300 ? 4 + k : 304);
    for (const auto& key : colliding(300, 10, "\x4E\x00\x50\x00"s, "\x4E\x01\x4E\xFF"s))
        shared.push_back("\x6F\x10\x14" + key);
    shared.push_back("\x09");
    EXPECT_TRUE(propertyListFollowsRules(named(8, shared)));
}

}  // namespace
}  // namespace gatewarden
