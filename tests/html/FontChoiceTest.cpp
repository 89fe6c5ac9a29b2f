#include "html/FontChoice.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace mojian::html {
namespace {

using Faces = std::vector<std::u16string>;

TEST(FontChoice, FamilyListsAsCssWritesThem) {
    EXPECT_EQ(ParseFamilies(u"'Microsoft YaHei', Arial,SANS-SERIF"), (Faces{u"Microsoft YaHei", u"Arial", u"sans-serif"}));
    EXPECT_EQ(ParseFamilies(u"  Times   New  Roman , \"serif\" ,, 宋体"), (Faces{u"Times New Roman", u"serif", u"宋体"}));
    EXPECT_EQ(ParseFamilies(u"\"a, b\", c"), (Faces{u"a, b", u"c"}));
    EXPECT_TRUE(ParseFamilies(u" , ").empty());
    EXPECT_TRUE(IsGenericFamily(u"Monospace"));
    EXPECT_FALSE(IsGenericFamily(u"Arial"));
}

// What Chromium picks on a Linux machine with the DejaVu families and
// WenQuanYi Micro Hei, and on a Chinese Windows.
TEST(FontChoice, FacesAsChromiumChoosesThem) {
    const std::set<std::u16string> linux = {u"DejaVu Sans", u"DejaVu Serif", u"DejaVu Sans Mono", u"WenQuanYi Micro Hei"};
    auto onLinux = [&](const std::u16string& list) {
        return ChooseFaces(ParseFamilies(list), [&](std::u16string_view f) { return linux.count(std::u16string(f)) != 0; });
    };
    // Names that are not installed are passed over; the browser's default face takes Latin, the Chinese face the rest.
    for (const char16_t* list : {u"", u"Arial", u"Times New Roman", u"宋体", u"微软雅黑, Georgia", u"sans-serif"})
        EXPECT_EQ(onLinux(list), (Faces{u"DejaVu Sans", u"WenQuanYi Micro Hei"})) << std::u16string(list).size();
    EXPECT_EQ(onLinux(u"Georgia, serif"), (Faces{u"DejaVu Serif", u"DejaVu Sans", u"WenQuanYi Micro Hei"}));
    EXPECT_EQ(onLinux(u"'Courier New', monospace"), (Faces{u"DejaVu Sans Mono", u"DejaVu Sans", u"WenQuanYi Micro Hei"}));
    // A listed Chinese face draws Latin too; listed faces come first in their order.
    EXPECT_EQ(onLinux(u"WenQuanYi Micro Hei, serif"), (Faces{u"WenQuanYi Micro Hei", u"DejaVu Serif", u"DejaVu Sans"}));

    const std::set<std::u16string> windows = {u"Arial", u"Times New Roman", u"Courier New", u"Microsoft YaHei",
                                              u"微软雅黑", u"SimSun", u"宋体"};
    auto onWindows = [&](const std::u16string& list) {
        return ChooseFaces(ParseFamilies(list), [&](std::u16string_view f) { return windows.count(std::u16string(f)) != 0; });
    };
    EXPECT_EQ(onWindows(u"宋体"), (Faces{u"宋体", u"Times New Roman", u"Microsoft YaHei"}));
    EXPECT_EQ(onWindows(u"sans-serif"), (Faces{u"Arial", u"Times New Roman", u"Microsoft YaHei"}));
    EXPECT_TRUE(ChooseFaces({u"Arial"}, [](std::u16string_view) { return false; }).empty());
}

}  // namespace
}  // namespace mojian::html
