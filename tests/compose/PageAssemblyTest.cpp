// The page HTML and the export files, natively.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/File.h"
#include "base/Gbk.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/PageAssembly.h"
#include "tests/TempFolder.h"

namespace mojian {
namespace {

using testing::TempFolder;
using Names = std::vector<std::string>;

void WriteCustom(const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(FolderExists(WorkingFolder()) || CreateFolder(WorkingFolder()));
    ASSERT_TRUE(WriteWholeFile(CustomSourcePath(name), bytes));
}

TEST(PageAssembly, JoinsBlocksInListOrderWithNothingBetween) {
    TempFolder folder;
    EXPECT_EQ(AssemblePage({"图片展示-样式1", "栏目文字-炫黑"}), GetBlock(1, 0) + GetBlock(0, 0));
    EXPECT_EQ(AssemblePage({"栏目文字-炫黑", "图片展示-样式1"}), GetBlock(0, 0) + GetBlock(1, 0));
    // the same entry twice, and a theme resolved by name
    EXPECT_EQ(AssemblePage({"图片展示-样式2", "图片展示-样式2", "栏目文字-健康"}),
              GetBlock(1, 1) + GetBlock(1, 1) + GetBlock(0, 18));
    EXPECT_EQ(AssemblePage({}), "");
}

TEST(PageAssembly, LinesThatResolveToNothingAddNothing) {
    TempFolder folder;
    WriteCustom("自定义源码-101", "never read");
    WriteCustom("自定义源码-05", "never read");
    EXPECT_EQ(AssemblePage({"图片展示-样式6"}), "");  // no such style
    EXPECT_EQ(AssemblePage({"图片展示-样式1", "自定义源码-101", "自定义源码-05", "自定义源码-3", "x"}),
              GetBlock(1, 0));  // -3: no file
    EXPECT_FALSE(LineHtml("自定义源码-101").has_value());
    EXPECT_FALSE(LineHtml("自定义源码-3").has_value());
    EXPECT_EQ(LineHtml("尺码表格-样式2"), GetBlock(2, 1));
}

TEST(PageAssembly, CustomSourcesAreTakenWholeAndUnchanged) {
    TempFolder folder;
    WriteCustom("自定义源码-1", "abc\r\n");
    WriteCustom("自定义源码-2", Utf8ToGbk("<p>墨笺</p>\n\rx\r\n\r\n"));  // odd line ends stay as they are
    EXPECT_EQ(AssemblePage({"自定义源码-1"}), "abc\r\n");
    EXPECT_EQ(AssemblePage({"自定义源码-2", "图片展示-样式1", "自定义源码-1"}),
              "<p>墨笺</p>\n\rx\r\n\r\n" + GetBlock(1, 0) + "abc\r\n");
}

TEST(PageAssembly, ACustomSourceOnSeveralLinesComesOutOnEach) {
    TempFolder folder;
    WriteCustom("自定义源码-1", Utf8ToGbk("<p>一</p>"));
    WriteCustom("自定义源码-100", "<hr>");
    const Names names = {"自定义源码-1", "图片展示-样式1", "自定义源码-100", "自定义源码-2", "自定义源码-1",
                         "自定义源码-2", "自定义源码-100", "自定义源码-1"};
    EXPECT_EQ(AssemblePage(names), "<p>一</p>" + GetBlock(1, 0) + "<hr><p>一</p><hr><p>一</p>");  // -2: no file
}

TEST(PageAssembly, BuiltInBlocksAsTheyStandNow) {
    TempFolder folder;
    const std::string original = GetBlock(3, 0);
    SetBlock(3, 0, "<i>changed</i>");
    const std::string page = AssemblePage({"产品信息-样式1", "产品信息-样式1"});
    SetBlock(3, 0, original);
    EXPECT_EQ(page, "<i>changed</i><i>changed</i>");
}

TEST(PageAssembly, ALongPageComesOutWhole) {
    TempFolder folder;
    // the largest built-in block, a thousand times, plus a custom source between
    std::string largestName;
    std::size_t largest = 0;
    for (int k = 0; k < kKindCount; ++k) {
        for (int i = 0; i < kStyleCounts[static_cast<std::size_t>(k)]; ++i) {
            if (GetBlock(k, i).size() > largest) {
                largest = GetBlock(k, i).size();
                largestName = EntryName(k, i);
            }
        }
    }
    ASSERT_GT(largest, 0u);
    WriteCustom("自定义源码-7", "<hr>\r\n");
    Names names;
    std::string expected;
    for (int i = 0; i < 1000; ++i) {
        names.push_back(largestName);
        expected += *LineHtml(largestName);
        if (i == 500) {
            names.push_back("自定义源码-7");
            expected += "<hr>\r\n";
        }
    }
    EXPECT_EQ(AssemblePage(names), expected);
}

TEST(ExportFiles, NumberOnAndNeverReplaceAnEarlierRunsFile) {
    TempFolder folder;
    const std::string dir = WorkingFolder();
    ASSERT_TRUE(CreateFolder(dir));
    ASSERT_TRUE(WriteWholeFile(ExportFilePath(dir, 1), "earlier run"));
    ASSERT_TRUE(WriteWholeFile(ExportFilePath(dir, 3), "earlier run 3"));
    int counter = 0;
    EXPECT_EQ(WriteNextExportFile(dir, counter, "墨笺"), 2);
    EXPECT_EQ(counter, 2);
    EXPECT_EQ(WriteNextExportFile(dir, counter, "second"), 4);
    EXPECT_EQ(counter, 4);
    EXPECT_EQ(ReadWholeFile(ExportFilePath(dir, 1)), "earlier run");
    EXPECT_EQ(ReadWholeFile(ExportFilePath(dir, 2)), Utf8ToGbk("墨笺") + "\r\n");
    EXPECT_EQ(ReadWholeFile(ExportFilePath(dir, 3)), "earlier run 3");
    EXPECT_EQ(ReadWholeFile(ExportFilePath(dir, 4)), "second\r\n");
    EXPECT_EQ(ExportFilePath(dir, 12), JoinPath(dir, "导出模板12.txt"));
}

TEST(ExportFiles, AFolderThatCannotBeWrittenGivesNothingAndKeepsTheCounter) {
    TempFolder folder;
    const std::string notAFolder = WorkingFolder();
    ASSERT_TRUE(WriteWholeFile(notAFolder, "a file"));
    int counter = 5;
    EXPECT_FALSE(WriteNextExportFile(notAFolder, counter, "x").has_value());
    EXPECT_EQ(counter, 5);
}

}  // namespace
}  // namespace mojian
