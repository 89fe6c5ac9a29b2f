// The working folder's writer thread: order, waiting, failures, the end.
#include "compose/WorkingFolderWriter.h"

#include <gtest/gtest.h>

#include "base/File.h"
#include "tests/TempFolder.h"

namespace mojian {
namespace {

using testing::TempFolder;

TEST(WorkingFolderWriter, DoesEveryChangeInTheOrderHandedOverAndMakesTheFolder) {
    TempFolder root;
    const std::string folder = JoinPath(root.Utf8(), "Vexa");
    const auto path = [&](int n) { return JoinPath(folder, "自定义源码-" + std::to_string(n) + ".txt"); };
    {
        WorkingFolderWriter writer;
        for (int round = 0; round < 20; ++round) {
            std::vector<FileChange> changes;
            for (int n = 1; n <= 10; ++n) {
                // the last round leaves the odd ones removed, the even ones at 19
                if (n % 2 == 1 && round == 19) changes.push_back({path(n), std::nullopt});
                else changes.push_back({path(n), "r" + std::to_string(round) + "\r\n"});
            }
            writer.Queue(std::move(changes));
        }
        // a write waits for what came before it, and for itself
        EXPECT_TRUE(writer.Write({{path(2), "now\r\n"}}));
        EXPECT_TRUE(writer.Idle());
        EXPECT_EQ(ReadWholeFile(path(2)), "now\r\n");
        EXPECT_EQ(ReadWholeFile(path(4)), "r19\r\n");
        EXPECT_FALSE(ReadWholeFile(path(3)).has_value());
        writer.Queue({{path(6), "last\r\n"}});
    }  // gone only once everything handed over is done
    EXPECT_EQ(ReadWholeFile(path(6)), "last\r\n");
}

TEST(WorkingFolderWriter, SaysWhenAFileCouldNotBeWrittenAndGoesOn) {
    TempFolder root;
    const std::string blocked = JoinPath(root.Utf8(), "Vexa");
    ASSERT_TRUE(WriteWholeFile(blocked, "a file where the folder should be"));
    WorkingFolderWriter writer;
    EXPECT_FALSE(writer.Write({{JoinPath(blocked, "自定义源码-1.txt"), "x\r\n"}}));
    EXPECT_TRUE(writer.Write({{JoinPath(blocked, "自定义源码-1.txt"), std::nullopt}}));  // nothing to remove
    const std::string ok = JoinPath(root.Utf8(), "ok.txt");
    EXPECT_TRUE(writer.Write({{ok, "fine\r\n"}}));
    writer.Queue({{ok, std::nullopt}});
    writer.Flush();
    EXPECT_FALSE(ReadWholeFile(ok).has_value());
}

}  // namespace
}  // namespace mojian
