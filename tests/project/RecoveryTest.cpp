// Recovery without a window: the write throttle on a clock the test holds,
// the session mark over a folder, and the writer's thread.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "base/File.h"
#include "project/Recovery.h"
#include "project/RecoveryWriter.h"
#include "tests/TempFolder.h"

namespace mojian::project {
namespace {

using testing::TempFolder;

TEST(RecoveryThrottle, WritesAtOnceThenAtMostOnceASecondAndNeverASecondAfterAChange) {
    RecoveryThrottle t;
    EXPECT_FALSE(t.DueAt().has_value());
    EXPECT_FALSE(t.Due(5000));

    t.Changed(10000);  // the first change is written at once
    EXPECT_TRUE(t.Due(10000));
    t.Taken(10000);
    EXPECT_FALSE(t.Due(10001));

    // a burst: written a second after the last write, not after every change
    t.Changed(10100);
    t.Changed(10500);
    t.Changed(10999);
    EXPECT_EQ(t.DueAt(), 11000);
    EXPECT_FALSE(t.Due(10999));
    EXPECT_TRUE(t.Due(11000));
    t.Taken(11000);

    // a change long after the last write waits for nothing
    t.Changed(20000);
    EXPECT_EQ(t.DueAt(), 20000);
    t.Taken(20000);

    // every change is on disk within a second, however the changes fall
    for (std::int64_t now = 20001; now < 30000; now += 37) {
        t.Changed(now);
        ASSERT_TRUE(t.DueAt().has_value());
        EXPECT_LE(*t.DueAt(), now + RecoveryThrottle::kIntervalMs);
        if (t.Due(now)) t.Taken(now);
    }
    // a write that failed is tried again a second later
    t.Taken(40000);
    t.Changed(40000);
    EXPECT_EQ(t.DueAt(), 41000);
}

TEST(RecoverySession, APreviousRunThatDidNotEndNormallyIsNotedAndItsPageKept) {
    TempFolder root;
    const std::string folder = JoinPath(root.Utf8(), "墨笺");

    SessionStart start = StartSession(folder);  // the very first run
    EXPECT_TRUE(start.folderReady);
    EXPECT_FALSE(start.previousEndedAbnormally);
    EXPECT_FALSE(start.previousLeftAPage);
    PageData page;
    page.lines = {"图片展示-样式1", "自定义源码-1"};
    page.customSources = {{1, "<p>墨笺</p>"}};
    ASSERT_FALSE(WriteRecovery(folder, page).has_value());
    // killed here: no EndSession

    start = StartSession(folder);
    EXPECT_TRUE(start.previousEndedAbnormally);
    EXPECT_TRUE(start.previousLeftAPage);
    EXPECT_EQ(LoadLastSession(folder).page, page);
    EXPECT_FALSE(ReadWholeFile(RecoveryFilePath(folder)).has_value());  // this run starts its own
    EndSession(folder);

    // a normal exit without a change: the last page stays what "恢复上次的排版" opens
    start = StartSession(folder);
    EXPECT_FALSE(start.previousEndedAbnormally);
    EXPECT_FALSE(start.previousLeftAPage);
    EXPECT_EQ(LoadLastSession(folder).page, page);
    PageData next;
    next.lines = {"五分好评-样式2"};
    ASSERT_FALSE(WriteRecovery(folder, next).has_value());
    EndSession(folder);

    start = StartSession(folder);
    EXPECT_FALSE(start.previousEndedAbnormally);
    EXPECT_TRUE(start.previousLeftAPage);
    EXPECT_EQ(LoadLastSession(folder).page, next);

    // a place that cannot be a folder
    const std::string blocked = JoinPath(root.Utf8(), "file");
    ASSERT_TRUE(WriteWholeFile(blocked, "x"));
    EXPECT_FALSE(StartSession(blocked).folderReady);
}

TEST(RecoveryWriter, WritesTheNewestPageOffTheCallersThreadAndFinishesBeforeItStops) {
    TempFolder root;
    const std::string folder = root.Utf8();
    std::atomic<int> failures{0};
    PageData last;
    last.lines = {"自定义源码-1"};
    {
        RecoveryWriter writer(folder, [&] { ++failures; });
        for (int i = 0; i < 50; ++i) {
            last.lines.push_back("图片展示-样式" + std::to_string(i % 5 + 1));
            last.customSources[1] = "<p>" + std::to_string(i) + "</p>";
            writer.Write(last);
        }
        writer.Flush();
        EXPECT_EQ(LoadProjectFile(RecoveryFilePath(folder)).page, last);
        // pages that came while one was written were dropped for the newer
        EXPECT_GE(writer.Written(), 1u);
        EXPECT_LE(writer.Written(), 50u);

        last.lines = {"五分好评-样式1"};
        last.customSources.clear();
        writer.Write(last);
    }  // the page handed over last is on disk once the writer is gone
    EXPECT_EQ(LoadProjectFile(RecoveryFilePath(folder)).page, last);
    EXPECT_EQ(failures, 0);
}

TEST(RecoveryWriter, TellsOfAWriteThatFailedAndKeepsGoing) {
    TempFolder root;
    const std::string blocked = JoinPath(root.Utf8(), "file");
    ASSERT_TRUE(WriteWholeFile(blocked, "x"));  // a file where the folder should be
    std::atomic<int> failures{0};
    RecoveryWriter writer(blocked, [&] { ++failures; });
    PageData page;
    page.lines = {"图片展示-样式1"};
    writer.Write(page);
    writer.Flush();
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(writer.Written(), 0u);
    writer.Write(page);
    writer.Flush();
    EXPECT_EQ(failures, 2);
}

}  // namespace
}  // namespace mojian::project
