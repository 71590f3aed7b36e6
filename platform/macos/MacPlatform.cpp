// The platform on macOS: unified logging, IOKit power sources, CoreFoundation URL resource values
// and property lists. Everything POSIX comes from platform/posix; what a value means and how it is
// rendered is decided in portable code. These functions only ask the system and convert.

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/ps/IOPowerSources.h>
#include <os/log.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/macos/ScopedCFTypeRef.h"
#include "platform/makePlatform.h"
#include "platform/posix/Posix.h"
#include "reading/PropertyListRules.h"

namespace gatewarden {

namespace {

using macos::ScopedCFTypeRef;

// The whole text in UTF-8, NUL characters included (a C-string conversion stops at the first), or
// nothing when part of it has no UTF-8 form or a budget cannot take it as one value.
std::optional<std::string> utf8(CFStringRef text, ExpansionBudget* budget = nullptr) {
    if (!text) return std::nullopt;
    CFRange whole = CFRangeMake(0, CFStringGetLength(text));
    CFIndex size = 0;
    if (CFStringGetBytes(text, whole, kCFStringEncodingUTF8, 0, false, nullptr, 0, &size) != whole.length ||
        (budget && !budget->charge(static_cast<std::size_t>(size))))
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    CFStringGetBytes(text, whole, kCFStringEncodingUTF8, 0, false, reinterpret_cast<UInt8*>(bytes.data()), size, &size);
    bytes.resize(static_cast<std::size_t>(size));
    return bytes;
}

// The system's own description of an error, for its log record.
std::string description(CFTypeRef object) {
    auto text = ScopedCFTypeRef<CFStringRef>::adopt(CFCopyDescription(object));
    return utf8(text.get()).value_or("(no description)");
}

// CoreFoundation shares a value that a file refers to from many places, and the conversion copies it
// at each: the budget holds it to what the rules admitted of the file. A power source's entry is
// converted without one.
std::optional<Value> convert(CFTypeRef object, int depth, ExpansionBudget* budget);

std::optional<Value> convertDictionary(CFDictionaryRef dictionary, int depth, ExpansionBudget* budget) {
    CFIndex count = CFDictionaryGetCount(dictionary);
    std::vector<const void*> keys(static_cast<std::size_t>(count)), values(static_cast<std::size_t>(count));
    CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
    Dictionary result;
    for (CFIndex i = 0; i < count; ++i) {
        CFTypeRef key = keys[static_cast<std::size_t>(i)];
        // Entries under keys that are not texts cannot be looked up by text; leave them out.
        if (!key || CFGetTypeID(key) != CFStringGetTypeID()) continue;
        auto text = utf8(static_cast<CFStringRef>(key), budget);
        if (!text) return std::nullopt;
        auto value = convert(values[static_cast<std::size_t>(i)], depth + 1, budget);
        if (!value) return std::nullopt;
        result.insert_or_assign(std::move(*text), std::move(*value));
    }
    return Value(std::move(result));
}

std::optional<Value> convertNumber(CFNumberRef number) {
    double real = std::nan("");
    if (CFNumberIsFloatType(number))
        return CFNumberGetValue(number, kCFNumberDoubleType, &real) ? std::optional(Value(real)) : std::nullopt;
    // CoreFoundation converts an integer to 64 bits as the integer itself, or, for one it holds in 128
    // bits (2^63 and above), as its low 64 bits, and tells whether the conversion was exact; to a
    // double as the nearest double, which it tells is exact or not. Where a conversion is lossy,
    // Apple documents only that an approximate value is passed back: the portable rule takes an
    // integer only where the two conversions agree.
    std::int64_t integer = 0;
    bool integerExact = CFNumberGetValue(number, kCFNumberSInt64Type, &integer);
    bool realExact = CFNumberGetValue(number, kCFNumberDoubleType, &real);
    return integerFromConversions(integer, integerExact, real, realExact);
}

std::optional<Value> convert(CFTypeRef object, int depth, ExpansionBudget* budget) {
    if (!object || depth > propertyListDepthLimit) return std::nullopt;
    CFTypeID type = CFGetTypeID(object);
    if (type == CFStringGetTypeID()) {
        auto text = utf8(static_cast<CFStringRef>(object), budget);
        return text ? std::optional(Value(std::move(*text))) : std::nullopt;
    }
    std::size_t bytes =
        type == CFDataGetTypeID() ? static_cast<std::size_t>(CFDataGetLength(static_cast<CFDataRef>(object))) : 0;
    if (budget && !budget->charge(bytes)) return std::nullopt;
    if (type == CFBooleanGetTypeID()) return Value(CFBooleanGetValue(static_cast<CFBooleanRef>(object)) != 0);
    if (type == CFNumberGetTypeID()) return convertNumber(static_cast<CFNumberRef>(object));
    if (type == CFDataGetTypeID()) {
        const UInt8* data = CFDataGetBytePtr(static_cast<CFDataRef>(object));
        return Value(Data{std::vector<std::uint8_t>(data, data + bytes)});
    }
    if (type == CFDateGetTypeID()) return Value(Date{CFDateGetAbsoluteTime(static_cast<CFDateRef>(object))});
    if (type == CFArrayGetTypeID()) {
        auto array = static_cast<CFArrayRef>(object);
        Array result;
        for (CFIndex i = 0, count = CFArrayGetCount(array); i < count; ++i) {
            auto item = convert(CFArrayGetValueAtIndex(array, i), depth + 1, budget);
            if (!item) return std::nullopt;
            result.push_back(std::move(*item));
        }
        return Value(std::move(result));
    }
    if (type == CFDictionaryGetTypeID()) return convertDictionary(static_cast<CFDictionaryRef>(object), depth, budget);
    return std::nullopt;
}

class MacPlatform final : public Platform {
public:
    explicit MacPlatform(std::string program) : program_(std::move(program)) {}

    void log(std::string_view text) override {
        std::string record(text);
        os_log(OS_LOG_DEFAULT, "%{public}s", record.c_str());
        posix::writeStandardErrorRecord(program_, text);
    }

    std::unique_ptr<ChildProcess> startCommand(const std::string& launchPath, const std::vector<std::string>& arguments,
                                               StandardError standardError) override {
        return posix::startCommand(launchPath, arguments, standardError);
    }

    bool fileExists(const std::string& path) override { return posix::fileExists(path); }

    std::optional<Dictionary> readPropertyList(const std::string& path) override {
        // CoreFoundation's parsers recurse and expand shared references too: the same rules as on
        // Linux are checked first, so both systems refuse the same files.
        auto bytes = posix::readSmallFile(path, propertyListFileLimit);
        if (!bytes || !propertyListFollowsRules(*bytes)) return std::nullopt;
        auto data = ScopedCFTypeRef<CFDataRef>::adopt(CFDataCreate(
            kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bytes->data()), static_cast<CFIndex>(bytes->size())));
        if (!data) return std::nullopt;
        auto list = ScopedCFTypeRef<CFPropertyListRef>::adopt(
            CFPropertyListCreateWithData(kCFAllocatorDefault, data.get(), kCFPropertyListImmutable, nullptr, nullptr));
        if (!list || CFGetTypeID(list.get()) != CFDictionaryGetTypeID()) return std::nullopt;
        ExpansionBudget budget(bytes->size());
        auto value = convert(list.get(), 0, &budget);
        if (!value) return std::nullopt;
        return std::move(std::get<Dictionary>(value->content));
    }

    std::optional<std::string> currentUserName() override { return posix::currentUserName(); }

    std::int32_t processId() override { return posix::processId(); }

    std::vector<PowerSource> powerSources() override {
        // No snapshot or no list is taken as no power source: the battery check then passes.
        auto snapshot = ScopedCFTypeRef<CFTypeRef>::adopt(IOPSCopyPowerSourcesInfo());
        if (!snapshot) return {};
        auto list = ScopedCFTypeRef<CFArrayRef>::adopt(IOPSCopyPowerSourcesList(snapshot.get()));
        if (!list) return {};
        std::vector<PowerSource> sources;
        for (CFIndex i = 0, count = CFArrayGetCount(list.get()); i < count; ++i) {
            CFTypeRef element = CFArrayGetValueAtIndex(list.get(), i);
            std::optional<Value> entry;
            std::string typeName = "null";
            if (element) {
                entry = convert(element, 0, nullptr);
                auto name = ScopedCFTypeRef<CFStringRef>::adopt(CFCopyTypeIDDescription(CFGetTypeID(element)));
                typeName = utf8(name.get()).value_or("unknown");
            }
            sources.push_back(makePowerSource(std::move(entry), typeName));
        }
        return sources;
    }

    VolumeCapacity availableCapacity() override {
        auto url = ScopedCFTypeRef<CFURLRef>::adopt(
            CFURLCreateWithFileSystemPath(kCFAllocatorDefault, CFSTR("/"), kCFURLPOSIXPathStyle, true));
        if (!url) return {std::nullopt, std::string("cannot make a file URL for /")};
        ScopedCFTypeRef<CFTypeRef> value;
        ScopedCFTypeRef<CFErrorRef> error;
        if (!CFURLCopyResourcePropertyForKey(url.get(), kCFURLVolumeAvailableCapacityForImportantUsageKey,
                                             value.receive(), error.receive()))
            return {std::nullopt, error ? description(error.get()) : std::string("unknown error")};
        if (!value || CFGetTypeID(value.get()) != CFNumberGetTypeID()) return {std::nullopt, std::nullopt};
        std::int64_t bytes = 0;
        if (!CFNumberGetValue(static_cast<CFNumberRef>(value.get()), kCFNumberSInt64Type, &bytes))
            return {std::nullopt, std::nullopt};
        return {bytes, std::nullopt};
    }

private:
    std::string program_;
};

}  // namespace

std::unique_ptr<Platform> makePlatform(const std::string& program) { return std::make_unique<MacPlatform>(program); }

}  // namespace gatewarden
