#pragma once

// Splits a fuzzer's bytes into the pieces a target needs.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace gatewarden::fuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}

    bool empty() const { return rest_.empty(); }
    std::string_view rest() const { return rest_; }

    std::uint8_t byte() {
        if (rest_.empty()) return 0;
        auto value = static_cast<std::uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return value;
    }

    // The next piece up to a NUL byte (the NUL is consumed), or all that is left.
    std::string text() {
        std::size_t end = rest_.find('\0');
        std::string piece(rest_.substr(0, end));
        rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
        return piece;
    }

private:
    std::string_view rest_;
};

}  // namespace gatewarden::fuzz
