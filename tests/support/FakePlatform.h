#pragma once

// A platform whose machine the test describes and which records what the checks asked of it.

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace gatewarden::testing {

// A command that ends with status 0 after its output, which each read returns a piece of, in order.
struct FakeChild final : ChildProcess {
    std::vector<std::string> reads;
    std::size_t next = 0, offset = 0;
    explicit FakeChild(std::vector<std::string> scripted) : reads(std::move(scripted)) {}
    std::size_t readSome(char* buffer, std::size_t capacity) override {
        while (next < reads.size()) {
            std::size_t count = std::min(capacity, reads[next].size() - offset);
            std::memcpy(buffer, reads[next].data() + offset, count);
            if ((offset += count) == reads[next].size()) ++next, offset = 0;
            if (count > 0) return count;
        }
        return 0;
    }
    std::int32_t wait() override { return 0; }
};

struct FakePlatform : Platform {
    std::vector<std::string> records;  // every log record, as written
    // Every question asked, in order: "run <path> <args...>", "exists <path>", "plist <path>".
    std::vector<std::string> calls;
    std::map<std::string, std::vector<std::string>> commands;  // reads by "<path> <args...>"; one not here cannot start
    std::vector<PowerSource> sources;
    VolumeCapacity capacity{std::int64_t{100} << 30, std::nullopt};
    std::map<std::string, bool> existing;  // whether a file or folder exists at a path
    std::map<std::string, Dictionary> propertyLists;
    std::optional<std::string> userName = "someone";

    void log(std::string_view text) override { records.emplace_back(text); }
    std::unique_ptr<ChildProcess> startCommand(const std::string& launchPath, const std::vector<std::string>& arguments,
                                               StandardError) override {
        std::string key = launchPath;
        for (const auto& argument : arguments) key += " " + argument;
        calls.push_back("run " + key);
        auto found = commands.find(key);
        if (found == commands.end()) throw PlatformException{"LaunchError", launchPath + ": No such file or directory"};
        return std::make_unique<FakeChild>(found->second);
    }
    bool fileExists(const std::string& path) override { return calls.push_back("exists " + path), existing[path]; }
    std::optional<Dictionary> readPropertyList(const std::string& path) override {
        calls.push_back("plist " + path);
        auto found = propertyLists.find(path);
        return found == propertyLists.end() ? std::nullopt : std::optional(found->second);
    }
    std::optional<std::string> currentUserName() override { return userName; }
    std::int32_t processId() override { return 4242; }
    std::vector<PowerSource> powerSources() override { return sources; }
    VolumeCapacity availableCapacity() override { return capacity; }

    // Scripts a command that prints output in one read.
    void script(const std::string& key, std::string output) { commands[key] = {std::move(output)}; }
};

// A battery entry as the Linux platform makes them.
inline PowerSource battery(std::optional<std::int64_t> capacity, const std::string& state) {
    Dictionary entry{{"Name", "BAT0"}, {"Type", "InternalBattery"}, {"Power Source State", state}};
    if (capacity) entry["Current Capacity"] = *capacity;
    return makePowerSource(Value(std::move(entry)), "dictionary");
}

}  // namespace gatewarden::testing
