// Property lists read from real files, and command output read from real processes.
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Gatewarden/userLoggedInCheck.h"
#include "agent/OmbrixAgent.h"
#include "platform/PropertyListRules.h"
#include "platform/linux/LinuxPlatform.h"
#include "support/FakePlatform.h"

namespace gatewarden {
namespace {

// Records every log record; commands run for real.
struct RealCommandsPlatform : testing::FakePlatform {
    LinuxPlatform real{"gatewarden-test"};
    std::unique_ptr<ChildProcess> startCommand(const std::string& launchPath, const std::vector<std::string>& arguments,
                                               StandardError standardError) override {
        return real.startCommand(launchPath, arguments, standardError);
    }
};

std::string xml(const std::string& value) { return R"(<?xml version="1.0"?><plist>)" + value + "</plist>"; }

std::string nestedXml(int depth) {
    std::string opening, closing;
    for (int i = 0; i < depth; ++i) opening += "<array>", closing += "</array>";
    return xml("<dict><key>k</key>" + opening + closing + "</dict>");
}

std::string binaryFromXml(const std::string& text) {
    plist_t root = nullptr;
    plist_from_xml(text.data(), static_cast<std::uint32_t>(text.size()), &root);
    char* bytes = nullptr;
    std::uint32_t length = 0;
    if (root) plist_to_bin(root, &bytes, &length);
    std::string binary = bytes ? std::string(bytes, length) : "";
    plist_free(root), std::free(bytes);
    return binary;
}

std::string bigEndian(std::uint64_t value, int size = 3) {
    return size > 0 ? bigEndian(value >> 8, size - 1) + static_cast<char>(value) : "";
}
// A binary property list of the encoded objects, the first on top, with 3-byte offsets and references.
std::string binaryOf(const std::vector<std::string>& objects) {
    std::string body = "bplist00", table;
    for (const auto& object : objects) table += bigEndian(body.size()), body += object;
    return body + table + std::string(6, '\0') + "\x03\x03" + bigEndian(objects.size(), 8) + bigEndian(0, 8) +
           bigEndian(body.size(), 8);
}

std::string show(const std::optional<Dictionary>& dictionary) { return dictionary ? describe(*dictionary) : "nothing"; }

// A read that would block for ever fails the test through SIGALRM instead.
class ReadersTest : public ::testing::Test {
protected:
    void SetUp() override { ::alarm(60); ASSERT_NE(::mkdtemp(folder.data()), nullptr); }
    void TearDown() override { std::filesystem::remove_all(folder), ::alarm(0); }
    std::string read(const std::string& bytes) {
        std::string path = folder + "/plist";
        std::ofstream(path, std::ios::binary) << bytes;
        return show(platform.readPropertyList(path));
    }
    std::string folder = (std::filesystem::temp_directory_path() / "gatewarden-readers-XXXXXX").string();
    LinuxPlatform platform{"gatewarden-test"};
};

TEST_F(ReadersTest, PropertyListReaderKeepsValueTypesApartAndRefusesWhatIsNoReadableDictionary) {
    const struct { std::string name, text, expected = "nothing"; } encodings[] = {  // each in XML and in binary
        {"values", xml("<dict><key>i</key><integer>1</integer><key>r</key><real>1.0</real><key>b</key><true/>"
                       "<key>s</key><string>1</string><key>d</key><data>AQ==</data><key>t</key>"
                       "<date>2001-01-02T00:00:00Z</date><key>a</key><array><false/><dict/></array></dict>"),
         show(Dictionary{{"i", 1}, {"r", 1.0}, {"b", true}, {"s", "1"}, {"d", Data{{1}}}, {"t", Date{86400}},
                         {"a", Array{false, Dictionary{}}}})},
        {"128 deep", nestedXml(128), R"({"k" = )" + std::string(128, '(') + std::string(128, ')') + '}'},
        {"129 deep", nestedXml(129)}, {"root array", xml("<array><dict/></array>")}, {"root text", xml("<string/>")},
    };
    for (const auto& c : encodings) {
        std::string binary = binaryFromXml(c.text);
        EXPECT_EQ(read(c.text), c.expected) << c.name;
        EXPECT_EQ(binary.substr(0, 8) + read(binary), "bplist00" + c.expected) << c.name << " binary";
    }

    const std::string good = binaryFromXml(xml("<dict><key>k</key><string>some text</string></dict>"));
    const std::string atLimit = xml("<dict/>") + std::string(propertyListFileLimit - xml("<dict/>").size(), ' ');
    // Far deeper than libplist's recursion survives: {"k" = ((...("k")...))}, each array holding the one before.
    std::vector<std::string> deep{"\xD1" + bigEndian(1) + bigEndian((1 << 19) + 1), "\x51k"};
    while (deep.size() < (1 << 19) + 2) deep.push_back("\xA1" + bigEndian(deep.size() - 1));
    auto keyed = [](std::string key) { return binaryOf({"\xD1" + bigEndian(1) + bigEndian(2), key, "\x10\x01"}); };
    const struct { std::string name, bytes, expected = "nothing"; } cases[] = {
        {"whole binary", good, R"({"k" = "some text"})"}, {"truncated binary", good.substr(0, good.size() - 1)},
        {"half a binary", good.substr(0, good.size() / 2)}, {"garbage", "not a property list"}, {"empty", ""},
        {"at the size limit", atLimit, "{}"}, {"over the size limit", atLimit + " "}, {"deep XML", nestedXml(1 << 19)},
        {"deep binary", binaryOf(deep)}, {"key a_b", keyed("\x53" "a_b"), R"({"a_b" = 1})"},
        {"key a NUL b", keyed(std::string("\x53" "a\0b", 4))}, {"key a NUL", keyed(std::string("\x52" "a\0", 3))},
        {"UTF-16 key", keyed(std::string("\x62\0a\0_", 5)), R"({"a_" = 1})"}, {"integer key", keyed("\x10\x01")},
        {"UTF-16 key with NUL", keyed(std::string("\x62\0a\0\0", 5))},
        {"key twice", binaryOf({"\xD2" + bigEndian(1) + bigEndian(1) + bigEndian(2) + bigEndian(3), "\x51k", "\x10\x00",
                                "\x10\x01"})},
    };
    for (const auto& c : cases) EXPECT_EQ(read(c.bytes), c.expected) << c.name;
    ASSERT_EQ(::mkfifo((folder + "/fifo").c_str(), 0600), 0);
    for (const std::string& path : {folder + "/fifo", folder, folder + "/missing"})
        EXPECT_EQ(show(platform.readPropertyList(path)), "nothing") << path;
}

// The agent's capture takes the output whole: where this one replaces invalid bytes, it gives "".
TEST_F(ReadersTest, OutputForExecutionDecodesEachChunkAndLogsOnlyWhatItReplaces) {
    AgentLayout layout(platform);
    OmbrixAgent agent(platform, layout);
    const std::string x1023(1023, 'x'), x1024(1024, 'x'), bad = "\xEF\xBF\xBD";
    const struct { std::vector<std::string> arguments; std::string output; std::size_t replaced; } cases[] = {
        {{"out", "1024"}, x1024, 0}, {{"out", "1025"}, x1024 + "x", 0}, {{"out", "0"}, "", 0}, {{"err"}, "", 0},
        {{"both"}, "out\n", 0}, {{"args", " \t a \n"}, "[ \t a \n]", 0},
        {{"out", "1023", "x", "\xC3\xA9z"}, x1023 + "\xC3\xA9z", 0},
        {{"out", "1021", "x", "\xF0\x9F\x98\x80!"}, std::string(1021, 'x') + "\xF0\x9F\x98\x80!", 0},
        {{"out", "1024", "x", "ab\xFF" "cd"}, x1024 + "ab" + bad + "cd", 1}, {{"out", "1", "\xFF", x1024 + "yz"}, bad + x1024 + "yz", 1},
        {{"out", "1023", "x", "\xC3("}, x1023 + bad + "(", 1}, {{"out", "1023", "x", "\xC3"}, x1023 + bad, 1},
        {{"out", std::to_string(6 << 20)}, std::string(6 << 20, 'x'), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        RealCommandsPlatform recording;
        auto output = GetOutputForExecution(recording, TEST_CHILD, c.arguments);
        EXPECT_TRUE(output == c.output) << (output ? std::to_string(output->size()) + " bytes" : "nil");
        EXPECT_EQ(recording.records, std::vector<std::string>(c.replaced, "strsample is nil \n"));
        EXPECT_TRUE(agent.outputForGivenCommand(TEST_CHILD, c.arguments) == (c.replaced ? "" : c.output));
    }
    RealCommandsPlatform recording;
    EXPECT_EQ(GetOutputForExecution(recording, "/nonexistent-gatewarden/child", {"out", "1"}), std::nullopt);
    EXPECT_THAT(recording.records, ::testing::ElementsAre(::testing::StartsWith("Caught exception in ExecutePrcess:name")));
    EXPECT_EQ(agent.outputForGivenCommand("/nonexistent-gatewarden/child", {"out", "1"}), "");
}

}  // namespace
}  // namespace gatewarden
