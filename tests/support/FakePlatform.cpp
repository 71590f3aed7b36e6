#include "support/FakePlatform.h"

#include <algorithm>
#include <cstring>

namespace gatewarden::testing {

namespace {

class FakeChild final : public ChildProcess {
public:
    explicit FakeChild(FakeCommand command) : command_(std::move(command)) {}

    std::size_t readSome(char* buffer, std::size_t capacity) override {
        while (next_ < command_.reads.size()) {
            const std::string& read = command_.reads[next_];
            std::size_t count = std::min(capacity, read.size() - offset_);
            std::memcpy(buffer, read.data() + offset_, count);
            offset_ += count;
            if (offset_ == read.size()) {
                ++next_;
                offset_ = 0;
            }
            if (count > 0) return count;
        }
        return 0;
    }

    std::int32_t wait() override { return command_.status; }

private:
    FakeCommand command_;
    std::size_t next_ = 0;
    std::size_t offset_ = 0;
};

}  // namespace

std::unique_ptr<ChildProcess> FakePlatform::startCommand(const std::string& launchPath,
                                                         const std::vector<std::string>& arguments,
                                                         StandardError standardError) {
    std::string key = launchPath;
    for (const auto& argument : arguments) key += " " + argument;
    calls.push_back("run " + key);
    standardErrors.push_back(standardError);
    auto found = commands.find(key);
    if (found == commands.end() || found->second.cannotStart)
        throw PlatformException{"LaunchError", launchPath + ": No such file or directory"};
    return std::make_unique<FakeChild>(found->second);
}

std::size_t FakePlatform::count(const std::string& prefix) const {
    return static_cast<std::size_t>(
        std::count_if(calls.begin(), calls.end(), [&](const std::string& call) { return call.rfind(prefix, 0) == 0; }));
}

PowerSource battery(std::optional<std::int64_t> capacity, const std::string& state) {
    Dictionary entry{{"Name", "BAT0"}, {"Type", "InternalBattery"}, {"Power Source State", state}};
    if (capacity) entry["Current Capacity"] = *capacity;
    Value value(std::move(entry));
    return {value, describe(value)};
}

}  // namespace gatewarden::testing
