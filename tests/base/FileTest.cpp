#include "base/File.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "base/UserFolder.h"
#include "tests/TempFolder.h"

namespace mojian {
namespace {

using testing::TempFolder;

TEST(File, WritesReplacesAndReadsChineseNamedFiles) {
    TempFolder dir;
    const std::string path = JoinPath(dir.Utf8(), "自定义源码-3.txt");
    EXPECT_FALSE(ReadWholeFile(path).has_value());

    ASSERT_TRUE(WriteWholeFile(path, std::string("first\r\n\0\xFF", 9)));
    EXPECT_EQ(ReadWholeFile(path), std::string("first\r\n\0\xFF", 9));

    // a shorter write replaces the whole file, leaving nothing of the old one
    ASSERT_TRUE(WriteWholeFile(path, "ab"));
    EXPECT_EQ(ReadWholeFile(path), "ab");
    ASSERT_TRUE(WriteWholeFile(path, ""));
    EXPECT_EQ(ReadWholeFile(path), "");
    // a write that does not wait for the disk replaces the file just as whole
    ASSERT_TRUE(WriteWholeFile(path, "cached", Durability::Cached));
    EXPECT_EQ(ReadWholeFile(path), "cached");

    // no temporary file is left beside it
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++files;
    EXPECT_EQ(files, 1);
}

TEST(File, WriteIntoMissingFolderFailsWithoutCreatingAnything) {
    TempFolder dir;
    const std::string folder = JoinPath(dir.Utf8(), "Vexa");
    EXPECT_FALSE(FolderExists(folder));
    EXPECT_FALSE(WriteWholeFile(JoinPath(folder, "a.txt"), "x"));
    EXPECT_FALSE(FolderExists(folder));
    ASSERT_TRUE(CreateFolder(folder));
    EXPECT_TRUE(CreateFolder(folder));  // already there is fine
    EXPECT_TRUE(FolderExists(folder));
    EXPECT_TRUE(WriteWholeFile(JoinPath(folder, "a.txt"), "x"));
}

TEST(File, NewFileNeverReplacesAnExistingOne) {
    TempFolder dir;
    const std::string path = JoinPath(dir.Utf8(), "导出模板1.txt");
    bool exists = true;
    ASSERT_TRUE(WriteNewFile(path, "one", exists));
    EXPECT_FALSE(exists);
    EXPECT_FALSE(WriteNewFile(path, "two", exists));
    EXPECT_TRUE(exists);
    EXPECT_EQ(ReadWholeFile(path), "one");
}

TEST(File, RemoveAndFoldersAreNotFiles) {
    TempFolder dir;
    const std::string path = JoinPath(dir.Utf8(), "x.txt");
    EXPECT_FALSE(RemoveFile(path));
    ASSERT_TRUE(WriteWholeFile(path, "x"));
    EXPECT_TRUE(RemoveFile(path));
    EXPECT_FALSE(ReadWholeFile(path).has_value());
    EXPECT_FALSE(ReadWholeFile(dir.Utf8()).has_value());  // a folder reads as no file
}

TEST(File, FoldersRenameWithoutReplacingAndGoOnlyWhenTheyHoldNoFolder) {
    TempFolder dir;
    const std::string a = JoinPath(dir.Utf8(), "图片.正在生成"), b = JoinPath(dir.Utf8(), "图片");
    ASSERT_TRUE(CreateFolder(a));
    ASSERT_TRUE(WriteWholeFile(JoinPath(a, "01.jpg"), "x"));
    ASSERT_TRUE(CreateFolder(b));
    EXPECT_FALSE(RenameFolder(a, b));  // never over an existing folder, even an empty one
    EXPECT_TRUE(FolderExists(a));
    ASSERT_TRUE(RemoveFolderOfFiles(b));
    EXPECT_TRUE(RenameFolder(a, b));
    EXPECT_EQ(ReadWholeFile(JoinPath(b, "01.jpg")), "x");
    EXPECT_FALSE(RenameFolder(a, b));  // nothing to move
    ASSERT_TRUE(WriteWholeFile(JoinPath(b, "02.jpg"), "y"));
    EXPECT_FALSE(RenameFile(JoinPath(b, "01.jpg"), JoinPath(b, "02.jpg")));  // never over a file
    EXPECT_TRUE(RenameFile(JoinPath(b, "01.jpg"), JoinPath(b, "001.jpg")));
    EXPECT_EQ(ReadWholeFile(JoinPath(b, "001.jpg")), "x");
    EXPECT_FALSE(RenameFile(b, JoinPath(dir.Utf8(), "c")));  // a folder is no file
    ASSERT_TRUE(RemoveFile(JoinPath(b, "001.jpg")) && RemoveFile(JoinPath(b, "02.jpg")));

    ASSERT_TRUE(CreateFolder(JoinPath(b, "用户的")));
    EXPECT_FALSE(RemoveFolderOfFiles(b));
    EXPECT_TRUE(FolderExists(JoinPath(b, "用户的")));
    EXPECT_FALSE(RemoveFolderOfFiles(JoinPath(dir.Utf8(), "没有")));
}

TEST(File, ReadsWholeFilesOfAnySize) {
    TempFolder dir;
    const std::string path = JoinPath(dir.Utf8(), "page.txt");
    for (const std::size_t size : {std::size_t{1}, std::size_t{4095}, std::size_t{65536}, std::size_t{200001}}) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 % 251);
        ASSERT_TRUE(WriteWholeFile(path, bytes));
        const auto back = ReadWholeFile(path);
        ASSERT_TRUE(back.has_value()) << size;
        EXPECT_TRUE(*back == bytes) << size;  // no dump of 200 KB on failure
    }
#ifndef _WIN32
    // a file that reports no size still reads whole
    const auto status = ReadWholeFile("/proc/self/status");
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(status->rfind("Name:", 0), 0u);
    EXPECT_NE(status->find("\nPid:"), std::string::npos);
#endif
}

TEST(UserFolder, IsMojianUnderTheLocalDataFolderMadeWhenAskedOrTheTestsOwn) {
    TempFolder dir;
    const std::string base = JoinPath(dir.Utf8(), "local");
    ASSERT_TRUE(CreateFolder(base));
    const testing::LocalDataFolder pointed(base);
    const std::string folder = UserDataFolder();
    EXPECT_EQ(folder, JoinPath(base, "墨笺"));
    EXPECT_TRUE(FolderExists(folder));

    const std::string own = JoinPath(dir.Utf8(), "user");
    SetUserDataFolder(own);
    EXPECT_EQ(UserDataFolder(), own);
    EXPECT_TRUE(FolderExists(own));
    // a folder that cannot be made gives nothing rather than a wrong place
    ASSERT_TRUE(WriteWholeFile(JoinPath(dir.Utf8(), "file"), "x"));
    SetUserDataFolder(JoinPath(JoinPath(dir.Utf8(), "file"), "below"));
    EXPECT_EQ(UserDataFolder(), "");
    SetUserDataFolder("");
}

}  // namespace
}  // namespace mojian
