#pragma once

// The platform on Linux: syslog and standard error for the log, sysfs power supplies for the
// battery, statvfs for the free space and libplist for property lists.

#include <string>

#include "platform/Platform.h"

namespace gatewarden {

class LinuxPlatform final : public Platform {
public:
    // program names the records; powerSupplyFolder is where the power supplies are read from.
    explicit LinuxPlatform(std::string program, std::string powerSupplyFolder = "/sys/class/power_supply");
    ~LinuxPlatform() override;
    LinuxPlatform(const LinuxPlatform&) = delete;
    LinuxPlatform& operator=(const LinuxPlatform&) = delete;

    void log(std::string_view text) override;
    std::unique_ptr<ChildProcess> startCommand(const std::string& launchPath, const std::vector<std::string>& arguments,
                                               StandardError standardError) override;
    bool fileExists(const std::string& path) override;
    std::optional<Dictionary> readPropertyList(const std::string& path) override;
    std::optional<std::string> currentUserName() override;
    std::int32_t processId() override;
    std::vector<PowerSource> powerSources() override;
    VolumeCapacity availableCapacity() override;

private:
    std::string program_;
    std::string powerSupplyFolder_;
};

// The batteries under folder, as described for LinuxPlatform::powerSources.
std::vector<PowerSource> readPowerSupplies(const std::string& folder);

// The property list in bytes (XML or binary encoding) when its top level is a dictionary.
std::optional<Dictionary> parsePropertyList(std::string_view bytes);

}  // namespace gatewarden
