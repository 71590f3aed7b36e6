#include <gtest/gtest.h>

#include "Gatewarden/main.h"
#include "support/FakePlatform.h"

namespace gatewarden {
namespace {

using Lines = std::vector<std::string>;

Dictionary patchData(Value status, std::optional<Value> enabled = std::nullopt) {
    Dictionary data{{"OSPatchingViaMDMStatus", status}, {"otherKey", "ignored"}};
    if (enabled) data["isMDMPatchingEnabled"] = *enabled;
    return data;
}

TEST(IsPatchingViaMDM, OnlyANumberEqualToOneSkipsTheLoginCheckUnlessTheFlagTextSaysOtherwise) {
    const std::string data = "/agent/data/", path = data + "/qzpatch_data.plist", proceed = ", proceeding user logged in check",
                      skip = ", hence skipping checkIfUserLoggedIn - check, returning true";
    struct Row { std::optional<Dictionary> file; std::string shown; bool skip; };  // shown empty: status is not 1
    const Row rows[] = {
        {std::nullopt, "", false}, {Dictionary{{"isMDMPatchingEnabled", "true"}}, "", false}, {patchData(0), "", false},
        {patchData(2, "true"), "", false}, {patchData("1"), "", false}, {patchData(true, "true"), "", false},
        {patchData(1.5), "", false}, {patchData(1.0), "nil", true}, {patchData(1), "nil", true},
        {patchData(1, "true"), R"(Optional("true"))", true},
        {patchData(1, "TRUE"), R"(Optional("TRUE"))", true}, {patchData(1.0, " true"), R"(Optional(" true"))", false},
        {patchData(1, "true "), R"(Optional("true "))", false}, {patchData(1, ""), R"(Optional(""))", false},
        {patchData(1, true), "nil", true}, {patchData(1, false), "nil", true},
        {patchData(1, "fa\"l\\se%@\n"), R"(Optional("fa\"l\\se%@\n"))", false}};
    for (const auto& row : rows) {
        testing::FakePlatform platform;
        if (row.file) platform.propertyLists[path] = *row.file;
        RunState state;
        EXPECT_EQ(isPatchingViaMDM(platform, data, state), row.skip) << row.shown;
        Lines expected{"patchingViaMDMStatus != 1" + proceed};
        if (!row.shown.empty())
            expected = {"patchingViaMDMStatus :1, checking for isMDMPatchingEnabled " + row.shown,
                        "isMDMPatchingEnabled : " + row.shown + (row.skip ? skip : proceed)};
        EXPECT_EQ(platform.records, expected);
        EXPECT_EQ(platform.calls, Lines{"plist " + path});
        EXPECT_EQ(state.qzpatchDataPlistPath, path);
        EXPECT_TRUE(state.qzpatchDataDict == row.file.value_or(Dictionary{})) << row.shown;
    }
}

}  // namespace
}  // namespace gatewarden
