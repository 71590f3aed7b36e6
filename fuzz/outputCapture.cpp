// Command output capture over arbitrary bytes in arbitrary chunkings: the text is the output decoded
// whole, less a character it never finishes, and a chunk is logged exactly when the output is not
// UTF-8.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "Gatewarden/userLoggedInCheck.h"
#include "reading/Utf8.h"
#include "support/FakePlatform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    gatewarden::testing::FakePlatform platform;
    std::string output;
    auto& reads = platform.commands["/bin/sh -c x"];
    while (input.remaining_bytes() > 0)  // pieces that may reach across a chunk
        output += reads.emplace_back(input.ConsumeBytesAsString(input.ConsumeIntegralInRange<std::size_t>(0, 2300)));
    auto result = GetOutputForExecution(platform, "/bin/sh", {"-c", "x"});
    std::string_view finished = output;
    finished.remove_suffix(gatewarden::incompleteUtf8Tail(finished));
    if (!result || *result != gatewarden::decodeUtf8Replacing(finished) ||
        platform.records.empty() != gatewarden::isUtf8(output))
        std::abort();
    return 0;
}
