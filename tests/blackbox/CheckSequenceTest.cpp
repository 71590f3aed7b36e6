// The built tool, run on sandboxed machines: exit status, log records and standard output.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Sandbox.h"

namespace gatewarden::blackbox {
namespace {

const std::string start = "Inside OS Update/Upgrade PreReq check ....";
const std::string tooFew = "Arguments are low -> required 4 args";
const std::string intel = "Intel(R) Core(TM) i7";
const std::string battery = "Battery -> ";  // how an entry is rendered is the platform's own
const std::string stopped = "OS Update/Upgrade stopped due to low battery";
const std::string free10 = "Available free space :10737418240bytes / 10.0GB";
const std::string diskFalse = "checkIfDiskSpaceIsSufficient : false";
constexpr std::uint64_t gib64 = std::uint64_t{64} << 30, gib10 = std::uint64_t{10} << 30;

std::string silicon(int status, const std::string& output) {
    return "isSiliconMachine returnCode " + std::to_string(status) + " Output \"" + output + "\"";
}
std::string given(const std::string& threshold, const std::string& disk) {
    return "Given batteryPercentage:" + threshold + ", requiredDiskSpace:" + disk;
}
std::string charge(int percent) { return "Current Battery % is " + std::to_string(percent); }
PowerSupplies onBattery(int percent) {
    return {{"BAT0", {{"type", "Battery"}, {"capacity", std::to_string(percent)}, {"status", "Discharging"}}},
            {"AC", {{"type", "Mains"}, {"online", "0"}}}};
}
Machine machine(const std::string& sysctl, PowerSupplies supplies, std::uint64_t rootBytes = gib64) {
    return {.sysctl = sysctl, .powerSupplies = std::move(supplies), .rootBytes = rootBytes};
}
Machine intelAt(int level, std::uint64_t bytes = gib64) { return machine(brandScript(intel), onBattery(level), bytes); }
Machine appleAt(int level, std::uint64_t bytes = gib64) { return machine(brandScript(apple), onBattery(level), bytes); }

// Exact texts, except that the "Battery -> " record is matched by its beginning.
auto recordsAre(const std::vector<std::string>& expected) {
    std::vector<::testing::Matcher<std::string>> matchers;
    for (const auto& text : expected)
        matchers.push_back(text == battery ? ::testing::Matcher<std::string>(::testing::StartsWith(battery))
                                           : ::testing::Matcher<std::string>(text));
    return ::testing::ElementsAreArray(matchers);
}


struct Scenario {
    std::string name;
    Machine machine;
    std::vector<std::string> arguments;
    int status;
    std::vector<std::string> records;  // those after the first
    std::string sysctlCalls = "-n machdep.cpu.brand_string\n";
};
void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

class CheckSequence : public Sandboxed, public ::testing::WithParamInterface<Scenario> {};

TEST_P(CheckSequence, EndsWithTheFirstFailingCheck) {
    const Scenario& scenario = GetParam();
    Result result = run(scenario.machine, scenario.arguments);
    EXPECT_EQ(result.standardOutput, "") << "nothing may go to standard output";
    EXPECT_EQ(result.stray, "") << "standard error holds text outside the record format";
    EXPECT_EQ(result.status, scenario.status);
    std::vector<std::string> expected{start};
    expected.insert(expected.end(), scenario.records.begin(), scenario.records.end());
    EXPECT_THAT(result.records, recordsAre(expected));
    EXPECT_EQ(result.probe["sysctl.calls"], scenario.sysctlCalls) << "how sysctl ran";
}

const std::string intelRecord = silicon(0, intel + "\n"), appleRecord = silicon(0, apple + "\n");
const std::string failing = "echo 'Apple M1'\necho 'sysctl: unknown oid machdep.cpu.brand_string' >&2\nexit 1\n";
const PowerSupplies onMains{{"ADP1", {{"type", "Mains"}, {"online", "1"}}},
                            {"BAT0", {{"type", "Battery"}, {"capacity", "5"}}}};
const PowerSupplies mouseOnly{{"hidpp_battery_0", {{"type", "Battery"}, {"scope", "Device"}, {"capacity", "3"}}}};

INSTANTIATE_TEST_SUITE_P(
    Machines, CheckSequence,
    ::testing::ValuesIn(std::vector<Scenario>{
        // Fewer than four arguments: refused before sysctl runs.
        {"NoArguments", intelAt(90), {}, 1, {tooFew}, ""},
        {"ThreeArguments", intelAt(90), {"20", "10", "20"}, 1, {tooFew}, ""},
        {"ThreeEmptyArguments", intelAt(90), {"", "", ""}, 1, {tooFew}, ""},
        {"IntelPasses", intelAt(80), {"20", "10", "99", "99"}, 0,
         {intelRecord, given("20", "10"), battery, charge(80), sufficient, free64, diskTrue, intelPass}},
        {"LowBatteryStopsBeforeTheDiskIsLookedAt", intelAt(15, gib10), {"20", "11", "1", "1"}, 52,
         {intelRecord, given("20", "11"), battery, charge(15), low, stopped}},
        {"TenGibibytesFreeLackEleven", intelAt(80, gib10), {"5", "11", "1", "1"}, 59,
         {intelRecord, given("5", "11"), battery, charge(80), sufficient, free10, diskFalse}},
        {"TenGibibytesFreeAreEnoughForTen", intelAt(80, gib10), {"5", "10", "1", "1"}, 0,
         {intelRecord, given("5", "10"), battery, charge(80), sufficient, free10, diskTrue, intelPass}},
        {"OnePageShortOfTenGibibytesIsNine", intelAt(80, gib10 - 4096), {"5", "10", "1", "1"}, 59,
         {intelRecord, given("5", "10"), battery, charge(80), sufficient,
          "Available free space :10737414144bytes / 9.999996185302734GB", diskFalse}},
        {"LowChargeOnMainsPasses", machine(brandScript(intel), onMains), {"50", "10", "1", "1"}, 0,
         {intelRecord, given("50", "10"), battery,
          "Current Power Source State is AC Power, not checking battery percentage", free64, diskTrue, intelPass}},
        {"DeviceBatteriesDoNotCount", machine(brandScript(intel), mouseOnly), {"50", "10", "1", "1"}, 0,
         {intelRecord, given("50", "10"), sufficient, free64, diskTrue, intelPass}},
        // Each family reads its own pair: a charge of 50 against 5 or 90, 10 GiB free against 1 or 11.
        {"AppleSiliconReadsTheSecondThreshold", appleAt(50), {"5", "1", "90", "1"}, 52,
         {appleRecord, given("90", "1"), battery, charge(50), low, stopped}},
        {"IntelReadsTheFirstThreshold", intelAt(50), {"5", "1", "90", "1"}, 0,
         {intelRecord, given("5", "1"), battery, charge(50), sufficient, free64, diskTrue, intelPass}},
        {"AppleSiliconReadsTheSecondDiskRequirement", appleAt(50, gib10), {"90", "1", "5", "11"}, 59,
         {appleRecord, given("5", "11"), battery, charge(50), sufficient, free10, diskFalse}},
        {"FailingSysctlMeansIntelWhateverItPrinted", machine(failing, onBattery(80)), {"50", "10", "90", "99"}, 0,
         {silicon(1, "Apple M1\nsysctl: unknown oid machdep.cpu.brand_string\n"), given("50", "10"), battery,
          charge(80), sufficient, free64, diskTrue, intelPass}},
        // Percent signs are text, never directives; a threshold that is no number means 20.
        {"PercentSignsLoggedVerbatimOnIntel", intelAt(80), {"%@", "10", "%s%n", "%d"}, 0,
         {intelRecord, given("%@", "10"), battery, charge(80), sufficient, free64, diskTrue, intelPass}},
        {"PercentSignsLoggedVerbatimOnAppleSilicon", appleAt(20), {"90", "1", "%s%n", "100%"}, 52,
         {appleRecord, given("%s%n", "100%"), battery, charge(20), low, stopped}}}),
    [](const ::testing::TestParamInfo<Scenario>& param) { return param.param.name; });

}  // namespace
}  // namespace gatewarden::blackbox
