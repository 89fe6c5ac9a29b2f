#include <gtest/gtest.h>

#include <limits>

#include "mobile/MakeOptions.h"

namespace mojian::mobile {
namespace {

TEST(MakeOptionsTest, TheMaxHeightAndTheFolderAreCheckedWithTheBoxToGoBackTo) {
    const MobileRules& rules = MobileRules::BuiltIn();
    struct Case {
        std::string height, folder;
        OptionField field;
        int maxHeight;
        std::string folderOut;
    } cases[] = {
        {"1546", "D:\\店铺\\春装-手机详情", OptionField::None, 1546, "D:\\店铺\\春装-手机详情"},
        {" 800 ", "  D:/店铺/手机/ ", OptionField::None, 800, "D:/店铺/手机"},
        {"100", "\\\\nas\\共享\\详情", OptionField::None, 100, "\\\\nas\\共享\\详情"},
        {"1547", "D:\\a", OptionField::MaxHeight, 0, ""},
        {"99", "D:\\a", OptionField::MaxHeight, 0, ""},
        {"", "D:\\a", OptionField::MaxHeight, 0, ""},
        {"12a", "D:\\a", OptionField::MaxHeight, 0, ""},
        {"-5", "D:\\a", OptionField::MaxHeight, 0, ""},
        {"99999999999999", "D:\\a", OptionField::MaxHeight, 0, ""},
        {"1000", "", OptionField::Folder, 1000, ""},
        {"1000", "手机详情", OptionField::Folder, 1000, "手机详情"},
        {"1000", "D:\\a|b", OptionField::Folder, 1000, "D:\\a|b"},
        {"1000", "D:\\a\\b:c", OptionField::Folder, 1000, "D:\\a\\b:c"},
        {"1000", "D:\\", OptionField::Folder, 1000, "D:\\"},
    };
    for (const Case& c : cases) {
        const CheckedOptions out = CheckOptions({750, FormatChoice::Auto, c.height, c.folder}, rules);
        SCOPED_TRACE(c.height + " " + c.folder);
        EXPECT_EQ(out.field, c.field);
        EXPECT_EQ(out.error.empty(), c.field == OptionField::None) << out.error;
        EXPECT_EQ(out.maxHeight, c.maxHeight);
        if (c.field != OptionField::MaxHeight) {
            EXPECT_EQ(out.folder, c.folderOut);
        }
    }
    EXPECT_NE(CheckOptions({750, FormatChoice::Auto, "2000", "D:\\a"}, rules).error.find("1546"), std::string::npos)
        << "the message names the rules' limit";
}

TEST(MakeOptionsTest, AWholeDocumentIsOneWhoseFirstThingIsADoctype) {
    for (const char* text : {"<!DOCTYPE html><p>a", "\xEF\xBB\xBF \r\n\t<!doctype html>", "<?xml?><!DocType HTML>",
                             "<!-- 墨笺 --><!----><!-->\n<!-- a -- b --!><!DOCTYPE html>"})
        EXPECT_TRUE(IsWholeDocument(text)) << text;
    for (const char* text :
         {"<p>a</p><!DOCTYPE html>", "<!-- never closed <!DOCTYPE html>", "<!DOCTYP html>", " \r\n", ""})
        EXPECT_FALSE(IsWholeDocument(text)) << text;
}

TEST(MakeOptionsTest, ProgressOnlyGoesForwardAcrossTheStages) {
    int last = -1;
    for (MakeStage stage : {MakeStage::Pictures, MakeStage::Scanning, MakeStage::Encoding, MakeStage::Writing})
        for (double f : {0.0, 0.3, 1.0}) {
            const int now = OverallProgress(stage, f);
            EXPECT_GE(now, last);
            last = now;
        }
    EXPECT_EQ(last, 1000);
    EXPECT_EQ(OverallProgress(MakeStage::Scanning, -3.0), OverallProgress(MakeStage::Scanning, 0.0));
    EXPECT_EQ(OverallProgress(MakeStage::Scanning, std::numeric_limits<double>::quiet_NaN()), 250);
}

// The rest of the outcome is read through the dialog (tests/app).
TEST(MakeOptionsTest, SizesRoundUpAndAFailureSaysWhy) {
    EXPECT_EQ(KilobytesText(300 * 1024 + 1), "301 KB");
    EXPECT_EQ(KilobytesText(1), "1 KB");
    MakeOutcome failed;
    failed.pack.errors = {"磁盘已满"};
    failed.pack.leftOut = {{"javascript:alert(1)", "不是网页地址"}};
    EXPECT_EQ(OutcomeText(failed), "没有生成：\r\n错误：磁盘已满\r\n以下 1 个链接没有做成热区：\r\n  javascript:alert(1)（不是网页地址）");
}

TEST(MakeOptionsTest, AQuestionAboutManyFailedPicturesListsTenAndCountsTheRest) {
    std::vector<std::string> failed;
    for (int i = 0; i < 13; ++i) failed.push_back("http://x/" + std::to_string(i) + ".jpg");
    const std::string text = FailedPicturesQuestion(failed);
    EXPECT_NE(text.find("有 13 张图片"), std::string::npos);
    EXPECT_NE(text.find("/9.jpg"), std::string::npos);
    EXPECT_EQ(text.find("/10.jpg"), std::string::npos);
    EXPECT_NE(text.find("还有 3 张"), std::string::npos);
}

}  // namespace
}  // namespace mojian::mobile
