// The property-list reader on arbitrary bytes, then the patch data gate on what it read: a status of
// 1 must come from a 1 that the file itself holds in a well-formed way.

#include <cstdlib>
#include <regex>

#include "Gatewarden/main.h"
#include "platform/linux/LinuxPlatform.h"
#include "support/FakePlatform.h"

namespace {

using namespace std::literals;

// An XML <integer> or <real> whose whole text is a number of value 1, or a binary integer or real of
// value 1. Written apart from the reader's own rules, so that a lenient rule cannot pass itself.
bool holdsWellFormedOne(std::string_view bytes) {
    if (bytes.starts_with("bplist00")) {
        for (auto one :
             {"\x10\x01"sv, "\x11\0\x01"sv, "\x12\0\0\0\x01"sv, "\x13\0\0\0\0\0\0\0\x01"sv, "\x22\x3F\x80\0\0"sv,
              "\x14\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x01"sv, "\x23\x3F\xF0\0\0\0\0\0\0"sv})
            if (bytes.find(one) != std::string_view::npos) return true;
        return false;
    }
    // An end tag may have blanks before its ">", a start tag attributes after its name.
    static const std::regex number(R"(<(integer|real)(?:[ \t\r\n][^>]*)?>([^<]*)</\1[ \t\r\n]*>)"),
        integer(R"([+]?(0*1|0[xX]0*1))"), real(R"([+]?[0-9]*[.]?[0-9]*([eE][+-]?[0-9]+)?)");
    for (std::cregex_iterator at(bytes.begin(), bytes.end(), number), end; at != end; ++at) {
        const std::string text = (*at)[2];
        if (std::regex_match(text, (*at)[1] == "integer" ? integer : real) && std::strtod(text.c_str(), nullptr) == 1.0)
            return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace gatewarden;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    testing::FakePlatform platform;
    if (auto dictionary = parsePropertyList(bytes)) platform.propertyLists["/data/qzpatch_data.plist"] = *dictionary;
    RunState state;
    bool skip = isPatchingViaMDM(platform, "/data", state);
    auto status = state.qzpatchDataDict.find("OSPatchingViaMDMStatus");
    bool statusIsOne = status != state.qzpatchDataDict.end() && isNumberEqualToOne(status->second);
    if ((skip && !statusIsOne) || (statusIsOne && !holdsWellFormedOne(bytes))) std::abort();
    if (platform.records.size() != (statusIsOne ? 2u : 1u)) std::abort();
    return 0;
}
