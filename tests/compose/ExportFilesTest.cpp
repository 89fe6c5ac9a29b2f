// The export files, natively.
#include <gtest/gtest.h>

#include <string>

#include "base/File.h"
#include "base/Gbk.h"
#include "catalogue/Library.h"
#include "compose/ExportFiles.h"
#include "tests/TempFolder.h"

namespace mojian {
namespace {

using testing::TempFolder;

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
