#include <gtest/gtest.h>

#include "mobile/Rules.h"

namespace mojian::mobile {
namespace {

// Every figure of the built-in file is read (none left at a default that
// happens to match) and names its source and date.
TEST(MobileRules, BuiltInFiguresCarryTheirSources) {
    const MobileRules& r = MobileRules::BuiltIn();
    EXPECT_EQ(r.sources.size(), 8u);
    for (const RuleSource& s : r.sources) {
        EXPECT_FALSE(s.source.empty()) << s.id;
        EXPECT_EQ(s.checked, "2026-12-09") << s.id;
    }
    EXPECT_EQ(r.maxHeight, 1546);
}

TEST(MobileRules, FileMayLeaveFiguresOutOrIsRefusedClearly) {
    const auto partial = MobileRules::FromJson(
        R"({"format":"mojian-mobile-rules","version":1,"rules":{"maxHeight":{"value":960},"formats":{"value":["JPG"]}}})");
    ASSERT_TRUE(partial);
    EXPECT_EQ(partial->maxHeight, 960);
    EXPECT_EQ(partial->maxWidth, 1242);
    EXPECT_TRUE(partial->Allows("jpg"));
    EXPECT_FALSE(partial->Allows("png"));

    const struct {
        const char* json;
        const char* message;
    } bad[] = {
        {"{", "不是有效的 JSON"},
        {R"({"format":"other","version":1,"rules":{}})", "不是墨笺的手机详情规则文件"},
        {R"({"format":"mojian-mobile-rules","version":1,"rules":{"maxHeight":{"value":-5}}})", "不在合理范围内"},
        {R"({"format":"mojian-mobile-rules","version":1,"rules":{"maxWidth":{"value":"wide"}}})", "不是整数"},
        {R"({"format":"mojian-mobile-rules","version":1,"rules":{"minWidth":{"value":900},"maxWidth":{"value":800}}})",
         "最小宽度大于最大宽度"},
    };
    for (const auto& c : bad) {
        std::string error;
        EXPECT_FALSE(MobileRules::FromJson(c.json, &error)) << c.json;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace mojian::mobile
