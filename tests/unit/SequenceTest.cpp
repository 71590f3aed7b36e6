#include <gtest/gtest.h>

#include <map>

#include "Gatewarden/main.h"
#include "support/FakePlatform.h"

namespace gatewarden {
namespace {

using Lines = std::vector<std::string>;
const std::string brandCommand = "/usr/bin/env /usr/sbin/sysctl -n machdep.cpu.brand_string";
const std::string start = "Inside OS Update/Upgrade PreReq check ....", intel = "Intel(R) Core(TM) i5",
                  intelLine = "Its a Intel machine, hence skipping checkIfUserLoggedIn - check, returning true",
                  cannot = "!!!!!! Error in getting disk space, hence returning success ",
                  yes = "checkIfDiskSpaceIsSufficient : true", no = "checkIfDiskSpaceIsSufficient : false";

struct Machine : testing::FakePlatform {
    Machine(const std::string& brand, std::int64_t charge, std::int64_t freeGibibytes) {
        script(brandCommand, brand + "\n");
        sources = {testing::battery(charge, "Battery Power")};
        capacity = {freeGibibytes << 30, std::nullopt};
    }
    int run(Lines arguments) {  // arguments after the program path
        arguments.insert(arguments.begin(), "/usr/local/bin/Gatewarden");
        AgentLayout agent(*this);
        return runPreReqCheck(*this, arguments, agent);
    }
};

TEST(RunPreReqCheck, RefusesFewerThanFourArgumentsBeforeAnyCheck) {
    for (std::size_t count = 0; count < 4; ++count) {
        Machine machine("Apple M1", 90, 100);
        EXPECT_EQ(machine.run(Lines(count, "50")), 1) << count;
        EXPECT_EQ(machine.records, (Lines{start, "Arguments are low -> required 4 args"}));
        EXPECT_TRUE(machine.calls.empty());
    }
}

TEST(RunPreReqCheck, IntelMachineThatPassesEndsWithZeroWithoutAskingMore) {
    Machine machine(intel, 90, 100);
    EXPECT_EQ(machine.run({"30", "10", "garbage", "x"}), 0);
    EXPECT_EQ(machine.records, (Lines{start, "isSiliconMachine returnCode 0 Output \"Intel(R) Core(TM) i5\n\"",
                                      "Given batteryPercentage:30, requiredDiskSpace:10",
                                      "Battery -> " + machine.sources[0].description, "Current Battery % is 90",
                                      "Battery is Sufficient for the Update",
                                      "Available free space :107374182400bytes / 100.0GB", yes, intelLine}));
    EXPECT_EQ(machine.calls, (Lines{"run " + brandCommand, "power sources", "capacity"}));
}

// A battery at 40 % and 5 GiB free: the pair read decides which check fails first, if any.
TEST(RunPreReqCheck, EachFamilyReadsItsOwnPairAndTheFirstFailingCheckEndsTheRun) {
    const std::map<int, std::string> last{{0, intelLine}, {52, "OS Update/Upgrade stopped due to low battery"}, {59, no}};
    struct Row { std::string brand; Lines arguments; int status; std::string given; };
    const Row rows[] = {
        {intel, {"50", "10", "10", "99999"}, 52, "Given batteryPercentage:50, requiredDiskSpace:10"},
        {"Apple M1", {"50", "10", "10", "99999"}, 59, "Given batteryPercentage:10, requiredDiskSpace:99999"},
        {intel, {"10", "99999", "50", "10"}, 59, "Given batteryPercentage:10, requiredDiskSpace:99999"},
        {"Apple M1", {"garbage", "", "50", "10"}, 52, "Given batteryPercentage:50, requiredDiskSpace:10"},
        {intel, {"50%", "%@", "%d", "%s", "extra"}, 0, "Given batteryPercentage:50%, requiredDiskSpace:%@"}};
    for (const auto& row : rows) {
        Machine machine(row.brand, 40, 5);
        EXPECT_EQ(machine.run(row.arguments), row.status) << row.given;
        EXPECT_EQ(machine.records.at(2), row.given);
        EXPECT_EQ(machine.records.back(), last.at(row.status));
        EXPECT_EQ(machine.count("capacity"), row.status == 52 ? 0u : 1u);
    }
}

TEST(RunPreReqCheck, DiskArgumentThatIsNoIntegerPassesTheDiskCheck) {
    struct Row { std::string required; std::int64_t freeGibibytes; int status; std::string verdict; };
    const Row rows[] = {{" 10", 1, 0, cannot}, {"", 1, 0, cannot}, {"9223372036854775808", 1, 0, cannot},
                        {"+10", 9, 59, no}, {"+10", 10, 0, yes}, {"-1", 1, 0, yes}};
    for (const auto& row : rows) {
        Machine machine(intel, 90, row.freeGibibytes);
        EXPECT_EQ(machine.run({"20", row.required, "20", "20"}), row.status) << '"' << row.required << '"';
        EXPECT_EQ(machine.records.end()[row.status == 0 ? -2 : -1], row.verdict) << '"' << row.required << '"';
    }
}

}  // namespace
}  // namespace gatewarden
