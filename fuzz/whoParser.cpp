// The login check over arbitrary console owners and who outputs.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "Gatewarden/userLoggedInCheck.h"
#include "support/FakePlatform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    gatewarden::testing::FakePlatform platform;
    platform.userName = "root";
    platform.script("/bin/sh -c /bin/sh -c 'stat -f %Su /dev/console'", input.ConsumeRandomLengthString());
    std::string who = input.ConsumeRemainingBytesAsString();
    platform.script("/bin/sh -c /usr/bin/who", who);
    for (const auto& name : gatewarden::loggedOnUserNames(who))
        if (name.empty() || name == "root" || name == "_mbsetupuser" || name.find('\n') != std::string::npos)
            std::abort();
    if (int status = getUserLoginStatus(platform); status != 0 && status != 54 && status != 55) std::abort();
    return 0;
}
