#include "catalogue/Catalogue.h"

#include <gtest/gtest.h>

#include <numeric>
#include <set>

namespace mojian {
namespace {

TEST(Catalogue, KindsStylesAndThemes) {
    EXPECT_EQ(std::accumulate(kStyleCounts.begin(), kStyleCounts.end(), 0), kBuiltInBlockCount);
    EXPECT_EQ(kKindCaptions[0], "栏目文字");
    EXPECT_EQ(kKindCaptions[9], "搭配促销");
    EXPECT_EQ(kThemeNames[0], "炫黑");
    EXPECT_EQ(kThemeNames[4], "雅黑");
    EXPECT_EQ(kThemeNames[13], "玖红");
    EXPECT_EQ(kThemeNames[18], "健康");
    EXPECT_EQ(kThemeNames[19], "活力");
    EXPECT_EQ(std::set<std::string_view>(kThemeNames.begin(), kThemeNames.end()).size(), 20u);

    EXPECT_TRUE(IsValidBlock(1, 4));
    EXPECT_FALSE(IsValidBlock(1, 5));
    EXPECT_TRUE(IsValidBlock(0, 19));
    EXPECT_FALSE(IsValidBlock(8, 3));
    EXPECT_FALSE(IsValidBlock(-1, 0));
    EXPECT_FALSE(IsValidBlock(10, 0));
    EXPECT_FALSE(IsValidBlock(3, -1));
}

TEST(Catalogue, EntryNames) {
    EXPECT_EQ(EntryName(1, 2), "图片展示-样式3");
    EXPECT_EQ(EntryName(9, 12), "搭配促销-样式13");
    EXPECT_EQ(EntryName(0, 4), "栏目文字-雅黑");
    EXPECT_EQ(EntryName(0, 18), "栏目文字-健康");
    EXPECT_EQ(StyleCaptionFor(3, 19), "样式20");
    EXPECT_EQ(CustomEntryName(1), "自定义源码-1");
    EXPECT_EQ(CustomEntryName(101), "自定义源码-101");
}

}  // namespace
}  // namespace mojian
