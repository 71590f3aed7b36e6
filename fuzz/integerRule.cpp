// The integer rule of the thresholds: a text it takes is its value with an optional sign and leading
// zeros, and a battery at 50 % passes exactly when the threshold is below 50.
#include <cstdlib>

#include "Gatewarden/commonFunctions.h"
#include "support/FakePlatform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size), digits = text.substr(text[0] == '+' || text[0] == '-');
    auto value = gatewarden::parseSignedInteger(text);
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
    if (value && (text[0] == '-' && digits != "0" ? "-" : "") + digits != std::to_string(*value)) std::abort();
    gatewarden::testing::FakePlatform platform;
    platform.sources = {gatewarden::testing::battery(50, "Battery Power")};
    if (isBatteryLevelSufficient(platform, text) != (value.value_or(20) < 50)) std::abort();
    return 0;
}
