#include <gtest/gtest.h>

#include "Gatewarden/commonFunctions.h"
#include "support/FakePlatform.h"

namespace gatewarden {
namespace {

using testing::battery;
using testing::FakePlatform;
using Lines = std::vector<std::string>;
const std::string brandCommand = "/usr/bin/env /usr/sbin/sysctl -n machdep.cpu.brand_string",
                  said = "isSiliconMachine returnCode ";

TEST(IsSiliconMachine, AppleInTheBrandWithStatusZeroAndTheOutputLoggedUntrimmed) {
    struct Row { testing::FakeCommand command; bool silicon; std::string line; };
    const Row rows[] = {
        {{{"Apple M1 Pro\n"}}, true, said + "0 Output \"Apple M1 Pro\n\""},
        {{{"Virtual Apple CPU\n"}}, true, said + "0 Output \"Virtual Apple CPU\n\""},
        {{{"Ap", "ple \xE2\x84", "\xA2 M2\n"}}, true, said + "0 Output \"Apple \xE2\x84\xA2 M2\n\""},
        {{{"apple m1\n"}}, false, said + "0 Output \"apple m1\n\""},
        {{{"Apple M1\n"}, 1}, false, said + "1 Output \"Apple M1\n\""},
        {{{}}, false, said + "0 Output \"\""},
        {{{"\xFF" "Apple\n"}}, false, said + "0 Output \"\""},
        {{{"Apple"}, 0, true}, false, said + "127 Output \"/usr/bin/env: No such file or directory\""}};
    for (const auto& row : rows) {
        FakePlatform platform;
        platform.commands[brandCommand] = row.command;
        EXPECT_EQ(isSiliconMachine(platform), row.silicon) << row.line;
        EXPECT_EQ(platform.records, Lines{row.line});
        EXPECT_EQ(platform.calls, Lines{"run " + brandCommand});
        EXPECT_EQ(platform.standardErrors, std::vector{StandardError::Captured});
    }
}

PowerSource entry(Dictionary content) { return makePowerSource(Value(content), "CFDictionary"); }
PowerSource onBattery(std::int64_t charge) { return battery(charge, "Battery Power"); }

TEST(IsBatteryLevelSufficient, DecidesOnTheFirstSourceThatSettlesIt) {
    const std::string ample = "Battery is Sufficient for the Update", low = "Battery is Low than expected",
                      mains = "Current Power Source State is AC Power, not checking battery percentage",
                      unknown = "Battery Percentage is not takeable", at = "Current Battery % is ";
    struct Row { std::vector<PowerSource> sources; std::string threshold; bool sufficient; Lines lines; };
    const Row rows[] = {
        {{}, "20", true, {ample}}, {{battery(5, "AC Power")}, "50", true, {mains}},
        {{battery(5, "ac power")}, "50", true, {mains}}, {{battery(5, "AC POWER")}, "50", true, {mains}},
        {{onBattery(50)}, "50", false, {at + "50", low}}, {{onBattery(100)}, "100", false, {at + "100", low}},
        {{onBattery(30)}, "+30", false, {at + "30", low}}, {{onBattery(0)}, "-5", true, {at + "0", ample}},
        // Texts that are no integer mean 20.
        {{onBattery(20)}, "", false, {at + "20", low}}, {{onBattery(21)}, "abc", true, {at + "21", ample}},
        {{onBattery(20)}, "1.5", false, {at + "20", low}}, {{onBattery(21)}, " 30", true, {at + "21", ample}},
        {{onBattery(21)}, "30 ", true, {at + "21", ample}}, {{onBattery(21)}, "50%", true, {at + "21", ample}},
        {{onBattery(21)}, "99999999999999999999", true, {at + "21", ample}},
        {{battery(std::nullopt, "Battery Power")}, "50", true, {unknown, ample}},
        {{makePowerSource(Value("BAT0"), "CFString")}, "50", true, {"Battery info is not takeable", ample}},
        {{onBattery(10), battery(90, "AC Power")}, "50", false, {at + "10", low}},
        {{battery(90, "AC Power"), onBattery(10)}, "50", true, {mains}},
        {{onBattery(90), onBattery(60)}, "50", true, {at + "90", at + "60", ample}},
        {{entry({{"Power Source State", "Discharging"}, {"Current Capacity", 80.0}})}, "50", true, {at + "80", ample}},
        {{entry({{"Current Capacity", "80"}}), entry({{"Current Capacity", 8.5}}), entry({{"Current Capacity", true}})},
         "50", true, {unknown, unknown, unknown, ample}},
        {{entry({{"Power Source State", 1}, {"Current Capacity", 10}})}, "50", false, {at + "10", low}}};
    for (const auto& row : rows) {
        FakePlatform platform;
        platform.sources = row.sources;
        Lines expected;
        for (const auto& source : row.sources) expected.push_back("Battery -> " + source.description);
        if (row.lines.front() == "Battery info is not takeable") {
            EXPECT_EQ(expected.front(), "Battery -> <CFString>");
        }
        expected.insert(expected.end(), row.lines.begin(), row.lines.end());
        EXPECT_EQ(isBatteryLevelSufficient(platform, row.threshold), row.sufficient) << row.lines.back();
        EXPECT_EQ(platform.records, expected);
        EXPECT_EQ(platform.calls, Lines{"power sources"});
    }
}

TEST(IsDiskSpaceSufficient, ComparesWholeGibibytesAndPassesWhenItCannot) {
    const std::string cannot = "!!!!!! Error in getting disk space, hence returning success ",
                      yes = "checkIfDiskSpaceIsSufficient : true", no = "checkIfDiskSpaceIsSufficient : false",
                      free = "Available free space :", oneByte = "1bytes / 0.0000000009313225746154785GB";
    const std::int64_t gib = std::int64_t{1} << 30;
    struct Row { VolumeCapacity capacity; std::optional<std::int64_t> required; bool sufficient; Lines lines; };
    const Row rows[] = {
        {{10 * gib, {}}, 10, true, {free + "10737418240bytes / 10.0GB", yes}},
        {{10 * gib - 1, {}}, 10, false, {free + "10737418239bytes / 9.999999999068677GB", no}},
        {{gib, {}}, 1, true, {free + "1073741824bytes / 1.0GB", yes}},
        {{1, {}}, 0, true, {free + oneByte, yes}}, {{1, {}}, INT64_MIN, true, {free + oneByte, yes}},
        {{INT64_MAX, {}}, INT64_MAX, false, {free + "9223372036854775807bytes / 8589934592.0GB", no}},
        {{100 * gib, {}}, std::nullopt, true, {free + "107374182400bytes / 100.0GB", cannot}},
        {{0, {}}, 10, true, {free + "0bytes / 0.0GB", cannot}},
        {{std::nullopt, "The volume is gone."}, 10, true, {"Error: The volume is gone.", cannot}},
        {{std::nullopt, std::nullopt}, 10, true, {"Failed to retrieve available capacity.", cannot}}};
    for (const auto& row : rows) {
        FakePlatform platform;
        platform.capacity = row.capacity;
        EXPECT_EQ(isDiskSpaceSufficient(platform, row.required), row.sufficient) << row.lines.front();
        EXPECT_EQ(platform.records, row.lines);
        EXPECT_EQ(platform.calls, Lines{"capacity"});
    }
}

}  // namespace
}  // namespace gatewarden
