#pragma once

#include <memory>
#include <string>

#include "platform/Platform.h"

namespace gatewarden {

// The platform of the machine the tool was built for; program names its log records.
std::unique_ptr<Platform> makePlatform(const std::string& program);

}  // namespace gatewarden
