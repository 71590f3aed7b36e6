#pragma once

// A platform whose machine the test describes and which records what the checks asked of it.

#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace gatewarden::testing {

struct FakeCommand {
    // What each read of the output returns, in order; the chunking is the test's to choose.
    std::vector<std::string> reads;
    std::int32_t status = 0;
    bool cannotStart = false;
};

class FakePlatform : public Platform {
public:
    // Every log record, as written.
    std::vector<std::string> records;
    // Every question asked, in order: "run <path> <args...>", "power sources", "capacity",
    // "exists <path>", "plist <path>", "user name", "pid".
    std::vector<std::string> calls;
    // The standard-error mode of each command run, in order.
    std::vector<StandardError> standardErrors;

    // Commands by "<path> <args...>"; one that is not here cannot start.
    std::map<std::string, FakeCommand> commands;
    std::vector<PowerSource> sources;
    VolumeCapacity capacity{std::int64_t{100} << 30, std::nullopt};
    std::map<std::string, bool> existing;  // paths that exist (true) for fileExists
    std::map<std::string, Dictionary> propertyLists;
    std::optional<std::string> userName = "someone";
    std::int32_t pid = 4242;

    void log(std::string_view text) override { records.emplace_back(text); }

    std::unique_ptr<ChildProcess> startCommand(const std::string& launchPath, const std::vector<std::string>& arguments,
                                               StandardError standardError) override;

    bool fileExists(const std::string& path) override {
        calls.push_back("exists " + path);
        auto found = existing.find(path);
        return found != existing.end() && found->second;
    }

    std::optional<Dictionary> readPropertyList(const std::string& path) override {
        calls.push_back("plist " + path);
        auto found = propertyLists.find(path);
        if (found == propertyLists.end()) return std::nullopt;
        return found->second;
    }

    std::optional<std::string> currentUserName() override {
        calls.push_back("user name");
        return userName;
    }

    std::int32_t processId() override {
        calls.push_back("pid");
        return pid;
    }

    std::vector<PowerSource> powerSources() override {
        calls.push_back("power sources");
        return sources;
    }

    VolumeCapacity availableCapacity() override {
        calls.push_back("capacity");
        return capacity;
    }

    // Scripts a command: key is "<path> <args...>", output comes in one read.
    void script(const std::string& key, std::string output, std::int32_t status = 0) {
        commands[key] = FakeCommand{{std::move(output)}, status, false};
    }

    // How many calls began with prefix.
    std::size_t count(const std::string& prefix) const;
};

// A battery entry as the Linux platform makes them.
PowerSource battery(std::optional<std::int64_t> capacity, const std::string& state);

}  // namespace gatewarden::testing
