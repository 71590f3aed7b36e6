// The macOS platform layer on the real system, which runs on a Mac only: property lists through
// CoreFoundation, the volume capacity and the power sources.

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "platform/makePlatform.h"

TEST(MacPlatform, ReadsPropertyListsWholeAndAsksTheSystemForSpaceAndPower) {
    auto platform = gatewarden::makePlatform("test");
    const std::string path = "/tmp/gatewarden-test-" + std::to_string(::getpid()) + ".plist",
                      trailer = std::string(6, '\0') + "\x01\x01";
    auto binary = [&](const std::string& value) {  // {"k" = value} in the binary encoding
        std::string body = "bplist00\xD1\x01\x02\x51k" + value;
        return body + std::string{8, 11, 13} + trailer + std::string(7, '\0') + "\x03" + std::string(15, '\0') +
               static_cast<char>(body.size());
    };
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n";
    const std::pair<std::string, std::string> files[] = {
        {xml + "<dict><key>i</key><integer>1</integer><key>r</key><real>1.0</real><key>b</key><true/>"
               "<key>u</key><integer>18446744073709551615</integer><key>\xEF\xBB\xBFz</key><true/></dict></plist>\n",
         R"({"b" = true; "i" = 1; "r" = 1.0; "u" = 18446744073709551615; "z" = true})"},
        {binary("\x63" + std::string("\0a\xD8\x3D\xDE\0", 6)),
         "{\"k\" = \"a\xF0\x9F\x98\x80\"}"},  // UTF-16, converted whole
        {binary("\x14" + std::string(8, '\0') + std::string(8, '\xFF')),
         R"({"k" = 18446744073709551615})"},  // held in 128 bits
        {binary("\x14" + std::string(7, '\0') + "\x01" + std::string(7, '\0') + "\x01"), "nothing"},  // 2^64 + 1
        {xml + "<array/></plist>\n", "nothing"}};
    for (const auto& [bytes, expected] : files) {
        std::ofstream(path, std::ios::binary) << bytes;
        auto dictionary = platform->readPropertyList(path);
        EXPECT_EQ(dictionary ? describe(*dictionary) : "nothing", expected);
    }
    ::unlink(path.c_str());
    EXPECT_GT(platform->availableCapacity().bytes.value_or(0), 0);
    for (const auto& source : platform->powerSources())
        EXPECT_EQ(source.description, describe(source.entry));  // one stable line
}
