// The macOS platform layer on the real system: property lists through CoreFoundation, the volume
// capacity and the power sources.

#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "platform/macos/ScopedCFTypeRef.h"
#include "platform/makePlatform.h"

namespace gatewarden {
namespace {

using macos::ScopedCFTypeRef;

std::string writeTemporary(const std::string& bytes) {
    std::string path = "/tmp/gatewarden-test-" + std::to_string(getpid()) + ".plist";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

TEST(MacPlatform, ReadsBinaryPropertyListsWithTypesKeptApart) {
    std::int64_t one = 1;
    double realOne = 1.0;
    auto integer = ScopedCFTypeRef<CFNumberRef>::adopt(CFNumberCreate(nullptr, kCFNumberSInt64Type, &one));
    auto real = ScopedCFTypeRef<CFNumberRef>::adopt(CFNumberCreate(nullptr, kCFNumberDoubleType, &realOne));
    auto root = ScopedCFTypeRef<CFMutableDictionaryRef>::adopt(
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFDictionarySetValue(root.get(), CFSTR("integer"), integer.get());
    CFDictionarySetValue(root.get(), CFSTR("real"), real.get());
    CFDictionarySetValue(root.get(), CFSTR("flag"), kCFBooleanTrue);
    CFDictionarySetValue(root.get(), CFSTR("text"), CFSTR("tr\"ue"));
    auto data = ScopedCFTypeRef<CFDataRef>::adopt(
        CFPropertyListCreateData(nullptr, root.get(), kCFPropertyListBinaryFormat_v1_0, 0, nullptr));
    ASSERT_TRUE(data);
    std::string path = writeTemporary(
        std::string(reinterpret_cast<const char*>(CFDataGetBytePtr(data.get())), CFDataGetLength(data.get())));

    auto platform = makePlatform("test");
    auto dictionary = platform->readPropertyList(path);
    unlink(path.c_str());
    ASSERT_TRUE(dictionary);
    EXPECT_EQ(dictionary->at("integer"), Value(std::int64_t{1}));
    EXPECT_EQ(dictionary->at("real"), Value(1.0));
    EXPECT_EQ(dictionary->at("flag"), Value(true));
    EXPECT_EQ(dictionary->at("text"), Value("tr\"ue"));
}

TEST(MacPlatform, GivesNothingForARootArrayGarbageOrADirectory) {
    auto platform = makePlatform("test");
    for (const std::string bytes : {"<plist><array/></plist>", "garbage", ""}) {
        std::string path = writeTemporary(bytes);
        EXPECT_FALSE(platform->readPropertyList(path)) << bytes;
        unlink(path.c_str());
    }
    EXPECT_FALSE(platform->readPropertyList("/tmp"));
}

TEST(MacPlatform, ReportsTheVolumeCapacityAndPowerSources) {
    auto platform = makePlatform("test");
    VolumeCapacity capacity = platform->availableCapacity();
    EXPECT_FALSE(capacity.error.has_value()) << *capacity.error;
    ASSERT_TRUE(capacity.bytes.has_value());
    EXPECT_GT(*capacity.bytes, 0);
    for (const auto& source : platform->powerSources()) EXPECT_FALSE(source.description.empty());
}

}  // namespace
}  // namespace gatewarden
