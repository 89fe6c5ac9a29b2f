#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "base/File.h"
#include "base/Gbk.h"
#include "compose/PageLines.h"
#include "compose/EditorText.h"
#include "compose/TextFile.h"
#include "tests/TempFolder.h"

namespace mojian {
namespace {

using testing::TempFolder;

TEST(PageLines, MovesSwapNeighboursAndKeepTheMovedLineSelected) {
    EXPECT_EQ(MoveDownPlan(1, 3), (LineMove{1, 2}));
    EXPECT_EQ(MoveDownPlan(0, 3), (LineMove{0, 1}));
    EXPECT_EQ(MoveUpPlan(1, 3), (LineMove{1, 0}));
    EXPECT_EQ(MoveUpPlan(2, 3), (LineMove{2, 1}));
}

TEST(PageLines, MovesWithoutSelectionOrAtTheEndsDoNothing) {
    EXPECT_FALSE(MoveDownPlan(-1, 3));
    EXPECT_FALSE(MoveUpPlan(-1, 3));
    EXPECT_FALSE(MoveDownPlan(2, 3));
    EXPECT_FALSE(MoveUpPlan(0, 3));
    EXPECT_FALSE(MoveDownPlan(0, 1));
    EXPECT_FALSE(MoveDownPlan(0, 0));
    EXPECT_FALSE(MoveUpPlan(5, 3));  // a stale selection beyond the list
}

TEST(PageLines, HoldsAtMost32767Lines) {
    EXPECT_TRUE(CanAddLine(0));
    EXPECT_TRUE(CanAddLine(32766));
    EXPECT_FALSE(CanAddLine(32767));
    EXPECT_FALSE(CanAddLine(40000));
}

TEST(TextFile, WritesGbkWithATrailingLineBreakAndReplacesTheWholeFile) {
    TempFolder dir;
    const std::string path = JoinPath(dir.Utf8(), "自定义源码-1.txt");
    ASSERT_TRUE(WriteTextFile(path, "<p>墨笺</p>\r\n第二行"));
    EXPECT_EQ(ReadWholeFile(path), Utf8ToGbk("<p>墨笺</p>\r\n第二行") + "\r\n");
    EXPECT_EQ(ReadWholeFile(path)->substr(3, 4), "\xC4\xAB\xBC\xE3");  // 墨笺 in GBK, no BOM before

    ASSERT_TRUE(WriteTextFile(path, ""));
    EXPECT_EQ(ReadWholeFile(path), "\r\n");  // an empty editor still writes its line break

    // a character GBK lacks is kept as a reference, not lost
    ASSERT_TRUE(WriteTextFile(path, "x\xF0\x9F\x98\x80y"));
    EXPECT_EQ(ReadWholeFile(path), "x&#x1F600;y\r\n");
}

TEST(TextFile, ReportsAFolderThatCannotTakeTheFile) {
    TempFolder dir;
    EXPECT_FALSE(WriteTextFile(JoinPath(JoinPath(dir.Utf8(), "missing"), "a.txt"), "text"));
}

TEST(EditorText, IsTheThreeParagraphAdvertWithCrLfLineEnds) {
    const std::string t = DefaultEditorText();
    EXPECT_NE(t.find("墨笺</strong></font>："), std::string::npos);
    EXPECT_NE(t.find(std::string(kMakerSiteAddress) + "</a>"), std::string::npos);
    EXPECT_NE(t.find(">《收藏》</a>"), std::string::npos);
    EXPECT_NE(t.find("<p align=\"center\">\u3000</p>"), std::string::npos);
    std::size_t pictures = 0;
    for (std::size_t p = t.find("<img "); p != std::string::npos; p = t.find("<img ", p + 1)) ++pictures;
    EXPECT_EQ(pictures, 4u);
    EXPECT_EQ(std::count(t.begin(), t.end(), '\n'), 3);
    for (std::size_t p = t.find('\n'); p != std::string::npos; p = t.find('\n', p + 1)) EXPECT_EQ(t[p - 1], '\r');
    EXPECT_EQ(t.substr(t.size() - 2), "\r\n");
    EXPECT_EQ(Utf8ToGbk(t).find("&#x"), std::string::npos);  // all of it fits GBK
}

}  // namespace
}  // namespace mojian
