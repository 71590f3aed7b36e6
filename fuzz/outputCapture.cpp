// Command output capture over arbitrary bytes in arbitrary chunkings: valid UTF-8 comes back whole
// whatever the chunking, and nothing else is ever returned as text.

#include <cstdlib>

#include "Gatewarden/userLoggedInCheck.h"
#include "FuzzInput.h"
#include "support/FakePlatform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace gatewarden;
    fuzz::FuzzInput input(data, size);
    testing::FakeCommand command;
    std::string output;
    // Each piece: a length byte (scaled so pieces can exceed a chunk) and that many bytes.
    while (!input.empty()) {
        std::size_t length = std::size_t{input.byte()} * 9;
        std::string piece(input.rest().substr(0, length));
        for (std::size_t i = 0; i < piece.size(); ++i) input.byte();
        output += piece;
        command.reads.push_back(std::move(piece));
    }
    testing::FakePlatform platform;
    platform.commands["/bin/sh -c x"] = command;
    auto result = GetOutputForExecution(platform, "/bin/sh", {"-c", "x"});
    if (!result || !decodeUtf8(*result)) std::abort();
    if (decodeUtf8(output) && (*result != output || !platform.records.empty())) std::abort();
    if (result->size() > output.size()) std::abort();
    return 0;
}
