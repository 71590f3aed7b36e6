// Command output capture over arbitrary bytes in arbitrary chunkings.

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
    // Whatever the chunking, the text is the output decoded whole, and a chunk is logged exactly
    // when the output is not UTF-8.
    if (!result || *result != decodeUtf8Replacing(output) || platform.records.empty() != isUtf8(output)) std::abort();
    return 0;
}
