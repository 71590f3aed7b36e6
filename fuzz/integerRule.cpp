// The integer rule of the thresholds, against the battery check that uses it.

#include <cstdlib>
#include <string>

#include "Gatewarden/commonFunctions.h"
#include "support/FakePlatform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace gatewarden;
    std::string text(reinterpret_cast<const char*>(data), size);
    auto value = parseSignedInteger(text);
    if (value) {
        // An accepted text is its value written with an optional plus sign and leading zeros.
        std::string written = std::to_string(*value);
        std::string digits = text.substr(text[0] == '+' || text[0] == '-' ? 1 : 0);
        std::string expected = std::to_string(*value < 0 ? 0 - static_cast<std::uint64_t>(*value) : *value);
        if (digits.find_first_not_of('0') == std::string::npos ? expected != "0"
                                                                : digits.substr(digits.find_first_not_of('0')) != expected)
            std::abort();
        if (*value < 0 && text[0] != '-') std::abort();
    }
    // A battery at 50 % on battery power passes exactly when the threshold is below 50.
    testing::FakePlatform platform;
    platform.sources = {testing::battery(50, "Battery Power")};
    bool passed = isBatteryLevelSufficient(platform, text);
    if (passed != (value.value_or(20) < 50)) std::abort();
    return 0;
}
