#include <gtest/gtest.h>

#include <set>

#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "check/Check.h"
#include "html/Layout.h"

namespace mojian::check {
namespace {

// Every picture has loaded, far larger than any block shows it.
class HugePictures final : public html::PictureSource {
public:
    html::PictureInfo Query(std::string_view) override { return {html::PictureInfo::State::Ready, 3000, 3000}; }
    std::shared_ptr<const html::Picture> Pixels(std::string_view) override { return nullptr; }
};

// The ninety blocks and the twenty themes pass the check: warnings only, and
// only for what the seller is meant to fill in, what the blocks carry on
// purpose (the shop-decoration class names of some group-buy and bundle
// blocks), and the prices two related-product blocks float to the right (the
// description editor drops the float: the price then stands before the title).
TEST(CheckBlocks, EveryBlockAndEveryThemeHasNoErrors) {
    html::FixedMeasurer measurer;
    html::NoPictures none;
    HugePictures huge;
    const std::set<std::string> expected{"placeholder-text", "placeholder-picture", "reserved-class"};
    int placeholders = 0;
    for (html::PictureSource* pictures : {static_cast<html::PictureSource*>(&none), static_cast<html::PictureSource*>(&huge)}) {
        Checker checker(RuleSet::BuiltIn(), measurer, *pictures);
        for (int kind = 0; kind < kKindCount; ++kind) {
            for (int style = 0; style < kStyleCounts[kind]; ++style) {
                const std::string name = EntryName(kind, style);
                const auto findings = checker.CheckPage({{name, BuiltInLibrary().Get(kind, style)}});
                int headings = 0;
                for (const Finding& f : findings) {
                    EXPECT_EQ(f.severity, Severity::Warning) << name << ": " << f.rule << " " << f.detail;
                    const bool floats = f.rule == "css-position-float" && f.detail == "float: right" &&
                                        (name == "关联营销-样式3" || name == "关联营销-样式8");
                    EXPECT_TRUE(expected.count(f.rule) || floats) << name << ": " << f.rule << " " << f.detail;
                    if (f.rule.rfind("placeholder-", 0) == 0) {
                        ++placeholders;
                        EXPECT_NE(f.explanation.find("占位"), std::string::npos) << f.explanation;
                    }
                    if (f.rule == "placeholder-text" && f.detail == "“请输入栏目标题”") ++headings;
                }
                // Each theme's heading is the one placeholder the seller must type over.
                if (kind == 0) {
                    EXPECT_EQ(headings, 1) << name;
                }
            }
        }
    }
    EXPECT_GT(placeholders, 2 * 200);
}

}  // namespace
}  // namespace mojian::check
