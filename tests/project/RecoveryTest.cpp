// Recovery without a window: the write throttle on a clock the test holds,
// and the session mark over a folder.
#include <gtest/gtest.h>

#include <string>

#include "base/File.h"
#include "project/Recovery.h"
#include "tests/TempFolder.h"

namespace mojian {
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

}  // namespace
}  // namespace mojian
