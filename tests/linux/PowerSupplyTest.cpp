#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include <gtest/gtest.h>

#include "platform/linux/LinuxPlatform.h"

namespace gatewarden {
namespace {

namespace fs = std::filesystem;

// A supply folder and its attribute files; the content "/" makes the attribute a folder instead.
struct Supply {
    std::string name;
    std::map<std::string, std::string> attributes;
};

std::string battery(const std::string& name, const std::string& capacity, const std::string& state) {
    return "{" + (capacity.empty() ? "" : "\"Current Capacity\" = " + capacity + "; ") + "\"Name\" = \"" + name +
           "\"; \"Power Source State\" = \"" + state + "\"; \"Type\" = \"InternalBattery\"}";
}

TEST(PowerSupplyTest, ListsTheMachineBatteriesInNameOrder) {
    const Supply adapterOnline{"ADP1", {{"type", "Mains\n"}, {"online", "1\n"}}};
    const Supply adapterOffline{"ADP1", {{"type", "Mains\n"}, {"online", "0\n"}}};
    const Supply bat0{"BAT0", {{"type", "Battery\n"}, {"capacity", "80\n"}, {"scope", "System\n"}}};
    const Supply mouse{"hidpp_battery_0", {{"type", "Battery\n"}, {"scope", "Device\n"}, {"capacity", "40\n"}, {"online", "1\n"}}};
    auto bat0With = [](const std::string& capacity) { return Supply{"BAT0", {{"type", "Battery"}, {"capacity", capacity}}}; };
    const struct { const char* title; std::vector<Supply> supplies; std::vector<std::string> descriptions; } cases[] = {
        {"laptop on AC", {adapterOnline, bat0},
         {R"({"Current Capacity" = 80; "Name" = "BAT0"; "Power Source State" = "AC Power"; "Type" = "InternalBattery"})"}},
        {"laptop on battery", {adapterOffline, bat0}, {battery("BAT0", "80", "Battery Power")}},
        {"USB-C source online", {{"ucsi-source-psy-1", {{"type", "USB"}, {"online", "1"}}}, bat0}, {battery("BAT0", "80", "AC Power")}},
        {"battery's own online", {{"BAT0", {{"type", "Battery"}, {"online", "1"}, {"capacity", "55"}}}}, {battery("BAT0", "55", "Battery Power")}},
        {"desktop", {adapterOnline}, {}},
        {"empty folder", {}, {}},
        {"supply without a type", {{"BAT0", {{"capacity", "80"}, {"scope", "System"}}}}, {}},
        {"peripheral only", {mouse}, {}},
        {"peripheral skipped", {adapterOffline, mouse, bat0}, {battery("BAT0", "80", "Battery Power")}},
        {"capacity letters", {bat0With("abc")}, {battery("BAT0", "", "Battery Power")}},
        {"capacity empty", {bat0With("")}, {battery("BAT0", "", "Battery Power")}},
        {"capacity fraction", {bat0With("12.5\n")}, {battery("BAT0", "", "Battery Power")}},
        {"capacity unreadable", {bat0With("/")}, {battery("BAT0", "", "Battery Power")}},
        {"capacity missing", {{"BAT0", {{"type", "Battery"}}}}, {battery("BAT0", "", "Battery Power")}},
        {"two batteries", {{"BAT1", {{"type", "Battery"}, {"capacity", "30"}}}, adapterOffline, bat0},
         {battery("BAT0", "80", "Battery Power"), battery("BAT1", "30", "Battery Power")}},
    };
    std::string pattern = (fs::temp_directory_path() / "gatewarden-power-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const struct Removed { fs::path path; ~Removed() { std::error_code ignored; fs::remove_all(path, ignored); } } root{pattern};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        const fs::path folder = root.path / std::to_string(&c - cases);
        fs::create_directory(folder);
        for (const auto& supply : c.supplies) {
            fs::create_directory(folder / supply.name);
            for (const auto& [name, content] : supply.attributes)
                if (content == "/") fs::create_directory(folder / supply.name / name);
                else std::ofstream(folder / supply.name / name) << content;
        }
        std::vector<std::string> descriptions;
        for (const auto& source : readPowerSupplies(folder.string())) descriptions.push_back(source.description);
        EXPECT_EQ(descriptions, c.descriptions);
    }
    EXPECT_TRUE(readPowerSupplies((root.path / "absent").string()).empty());
}

}  // namespace
}  // namespace gatewarden
