#pragma once

// A platform whose machine the test describes and which keeps every log record.

#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace gatewarden::testing {

// A command that ends with status 0 after printing its output.
struct FakeChild final : ChildProcess {
    std::string output;  // what is still to be read
    explicit FakeChild(std::string printed) : output(std::move(printed)) {}
    std::size_t readSome(char* buffer, std::size_t capacity) override {
        std::size_t count = output.copy(buffer, capacity);
        return output.erase(0, count), count;
    }
    std::int32_t wait() override { return 0; }
};

struct FakePlatform : Platform {
    std::vector<std::string> records;             // every log record, as written
    std::map<std::string, std::string> commands;  // output by "<path> <args...>"; one not here cannot start
    std::vector<PowerSource> sources;
    VolumeCapacity capacity{std::int64_t{100} << 30, std::nullopt};
    std::map<std::string, bool> existing;  // whether a file or folder exists at a path
    std::map<std::string, Dictionary> propertyLists;

    void log(std::string_view text) override { records.emplace_back(text); }
    std::unique_ptr<ChildProcess> startCommand(const std::string& launchPath, const std::vector<std::string>& arguments,
                                               StandardError) override {
        std::string key = launchPath;
        for (const auto& argument : arguments) key += " " + argument;
        auto found = commands.find(key);
        if (found == commands.end()) throw PlatformException{"LaunchError", launchPath + ": No such file or directory"};
        return std::make_unique<FakeChild>(found->second);
    }
    bool fileExists(const std::string& path) override { return existing[path]; }
    std::optional<Dictionary> readPropertyList(const std::string& path) override {
        auto found = propertyLists.find(path);
        return found == propertyLists.end() ? std::nullopt : std::optional(found->second);
    }
    std::optional<std::string> currentUserName() override { return std::nullopt; }
    std::int32_t processId() override { return 4242; }
    std::vector<PowerSource> powerSources() override { return sources; }
    VolumeCapacity availableCapacity() override { return capacity; }
};

}  // namespace gatewarden::testing
