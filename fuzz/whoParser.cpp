// The login check over arbitrary who output and console owners.

#include <cstdlib>

#include "Gatewarden/userLoggedInCheck.h"
#include "FuzzInput.h"
#include "support/FakePlatform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace gatewarden;
    fuzz::FuzzInput input(data, size);
    testing::FakePlatform platform;
    platform.userName = "root";
    platform.script("/bin/sh -c /bin/sh -c 'stat -f %Su /dev/console'", input.text());
    std::string who(input.rest());
    platform.script("/bin/sh -c /usr/bin/who", who);
    for (const auto& key : {"/usr/bin/id -u", "/usr/bin/id"}) platform.script(key, "501\n");

    auto names = loggedOnUserNames(who);
    for (const auto& name : names)
        if (name.empty() || name == "root" || name == "_mbsetupuser" || name.find('\n') != std::string::npos)
            std::abort();
    int status = getUserLoginStatus(platform);
    if (status != 0 && status != 54 && status != 55) std::abort();
    return 0;
}
