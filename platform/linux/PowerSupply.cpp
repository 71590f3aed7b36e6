#include <dirent.h>

#include <algorithm>

#include "platform/linux/LinuxPlatform.h"
#include "platform/posix/Posix.h"

namespace gatewarden {

namespace {

// sysfs attributes are a line of text; nothing longer is one of them.
constexpr std::size_t attributeLimit = 4096;

std::optional<std::string> attribute(const std::string& folder, const std::string& name) {
    auto content = posix::readSmallFile(folder + "/" + name, attributeLimit);
    if (!content) return std::nullopt;
    while (!content->empty() && (content->back() == '\n' || content->back() == ' ' || content->back() == '\t'))
        content->pop_back();
    return content;
}

std::vector<std::string> folderNames(const std::string& folder) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(folder.c_str()), ::closedir);
    if (!directory) return names;
    while (auto* item = ::readdir(directory.get())) {
        std::string name = item->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

std::vector<PowerSource> readPowerSupplies(const std::string& folder) {
    std::vector<std::string> batteries;
    bool mainsOnline = false;
    for (const auto& name : folderNames(folder)) {
        std::string supply = folder + "/" + name;
        auto type = attribute(supply, "type");
        if (!type) continue;
        if (*type == "Battery") {
            // A mouse's or keyboard's battery says scope "Device": it powers nothing of the machine.
            if (attribute(supply, "scope") != "Device") batteries.push_back(name);
        } else if (attribute(supply, "online") == "1") {
            mainsOnline = true;
        }
    }

    std::vector<PowerSource> sources;
    for (const auto& name : batteries) {
        Dictionary entry{{"Name", name},
                         {"Type", "InternalBattery"},
                         {"Power Source State", mainsOnline ? "AC Power" : "Battery Power"}};
        if (auto capacity = attribute(folder + "/" + name, "capacity"))
            if (auto number = parseSignedInteger(*capacity)) entry["Current Capacity"] = *number;
        sources.push_back(makePowerSource(Value(std::move(entry)), "dictionary"));
    }
    return sources;
}

}  // namespace gatewarden
