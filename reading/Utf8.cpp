#include "reading/Utf8.h"

namespace gatewarden {

namespace {

// Total length of the sequence that lead begins, or 0 when lead cannot begin one.
std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// Whether byte may stand at position index (1 to 3) of the sequence that lead begins. The second
// byte's range excludes overlong forms, surrogates and code points above U+10FFFF.
bool continues(unsigned char lead, std::size_t index, unsigned char byte) {
    unsigned char low = 0x80, high = 0xBF;
    if (index == 1) {
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    }
    return byte >= low && byte <= high;
}

// The length of the sequence at i when it is well-formed (ok), or else of the longest start of
// one there that cannot be completed, at least one byte.
std::size_t sequenceAt(std::string_view bytes, std::size_t i, bool& ok) {
    auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length = sequenceLength(lead), k = 1;
    while (k < length && i + k < bytes.size() && continues(lead, k, static_cast<unsigned char>(bytes[i + k]))) ++k;
    ok = length != 0 && k == length;
    return k;
}

}  // namespace

bool isUtf8(std::string_view bytes) {
    bool ok = true;
    for (std::size_t i = 0; ok && i < bytes.size();) i += sequenceAt(bytes, i, ok);
    return ok;
}

std::optional<std::string> decodeUtf8(std::string_view bytes) {
    if (!isUtf8(bytes)) return std::nullopt;
    return std::string(bytes);
}

std::string decodeUtf8Replacing(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        bool ok = false;
        std::size_t length = sequenceAt(bytes, i, ok);
        text += ok ? bytes.substr(i, length) : "\xEF\xBF\xBD";
        i += length;
    }
    return text;
}

std::u16string utf16Of(std::string_view utf8) {
    std::u16string units;
    for (std::size_t i = 0; i < utf8.size();) {
        auto lead = static_cast<unsigned char>(utf8[i]);
        std::size_t length = sequenceLength(lead);
        char32_t code = length <= 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k)
            code = code << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += length == 0 ? 1 : length;
        if (code > 0xFFFF) units += static_cast<char16_t>(0xD7C0 + (code >> 10)), code = 0xDC00 | (code & 0x3FF);
        units += static_cast<char16_t>(code);
    }
    return units;
}

std::size_t incompleteUtf8Tail(std::string_view bytes) {
    for (std::size_t tail = 1; tail <= 3 && tail <= bytes.size(); ++tail) {
        auto lead = static_cast<unsigned char>(bytes[bytes.size() - tail]);
        if (lead >= 0x80 && lead <= 0xBF) continue;  // a continuation byte: look further back
        std::size_t length = sequenceLength(lead);
        if (length <= tail) return 0;
        for (std::size_t k = 1; k < tail; ++k)
            if (!continues(lead, k, static_cast<unsigned char>(bytes[bytes.size() - tail + k]))) return 0;
        return tail;
    }
    return 0;
}

}  // namespace gatewarden
