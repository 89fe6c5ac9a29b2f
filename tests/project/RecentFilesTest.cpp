// The recent-files list: order, repeats, the limit, and its file.
#include "project/RecentFiles.h"

#include <gtest/gtest.h>

#include "base/File.h"
#include "tests/TempFolder.h"

namespace mojian::project {
namespace {

using Paths = std::vector<std::string>;

TEST(RecentFiles, NewestFirstOnceEachAndNoMoreThanFive) {
    RecentFiles r;
    for (const char* p : {"C:\\a.mojian", "C:\\b.mojian", "C:\\c.mojian"}) r.Use(p);
    EXPECT_EQ(r.Paths(), (Paths{"C:\\c.mojian", "C:\\b.mojian", "C:\\a.mojian"}));
    // the same file by another spelling moves up instead of standing twice
    r.Use("c:/A.MOJIAN");
    EXPECT_EQ(r.Paths(), (Paths{"c:/A.MOJIAN", "C:\\c.mojian", "C:\\b.mojian"}));
    for (const char* p : {"D:\\店铺\\女装详情.mojian", "D:\\2.mojian", "D:\\3.mojian"}) r.Use(p);
    EXPECT_EQ(r.Paths(), (Paths{"D:\\3.mojian", "D:\\2.mojian", "D:\\店铺\\女装详情.mojian", "c:/A.MOJIAN",
                                "C:\\c.mojian"}));
    r.Forget("C:\\A.mojian");
    r.Forget("D:\\not there.mojian");
    r.Use("");
    EXPECT_EQ(r.Paths(), (Paths{"D:\\3.mojian", "D:\\2.mojian", "D:\\店铺\\女装详情.mojian", "C:\\c.mojian"}));
    // different letters outside ASCII are different names
    r.Use("D:\\店鋪\\女装详情.mojian");
    EXPECT_EQ(r.Paths().size(), 5u);
}

TEST(RecentFiles, SurviveTheirFileAndToleratesAnEditedOne) {
    testing::TempFolder dir;
    EXPECT_TRUE(LoadRecentFiles(dir.Utf8()).Paths().empty());  // no file yet
    RecentFiles r;
    r.Use("C:\\一.mojian");
    r.Use("C:\\二.mojian");
    ASSERT_TRUE(SaveRecentFiles(dir.Utf8(), r));
    EXPECT_EQ(LoadRecentFiles(dir.Utf8()), r);
    EXPECT_FALSE(SaveRecentFiles("", r));

    const RecentFiles edited =
        RecentFiles::Parse("\r\nC:\\x.mojian\nC:\\X.MOJIAN\r\n\r\nC:\\y\r\nC:\\z\nC:\\1\nC:\\2\nC:\\3");
    EXPECT_EQ(edited.Paths(), (Paths{"C:\\x.mojian", "C:\\y", "C:\\z", "C:\\1", "C:\\2"}));
}

}  // namespace
}  // namespace mojian::project
