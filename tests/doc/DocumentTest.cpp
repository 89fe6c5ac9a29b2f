#include "doc/Document.h"

#include <gtest/gtest.h>

namespace mojian::doc {
namespace {

TEST(PageFile, UndoingAndRedoingOpensGivesEachPageItsOwnName) {
    PageFile file;
    file.Opened("a.mojian");
    file.Opened("");  // a new page without a file
    file.SavedAs("b.mojian");
    file.Opened("c.mojian");
    file.Renamed("c2.mojian");  // the same page again, by another name
    const struct {
        bool back;
        const char* path;
    } steps[] = {{true, "b.mojian"}, {true, "a.mojian"}, {true, ""}, {true, ""},  // nothing before the first
                 {false, "a.mojian"}, {false, "b.mojian"}, {false, "c.mojian"}, {false, "c.mojian"}};
    for (const auto& step : steps) {
        file.OpenStepped(step.back);
        EXPECT_EQ(file.Path(), step.path);
    }
    // a new open after undoing drops the opens undone
    file.OpenStepped(true);
    file.Opened("d.mojian");
    file.OpenStepped(false);
    EXPECT_EQ(file.Path(), "d.mojian");
}

TEST(TypingBurst, GoesOnWhileKeystrokesComeWithinThePause) {
    TypingBurst burst;
    EXPECT_FALSE(burst.Keystroke(1000));
    EXPECT_TRUE(burst.Keystroke(1000 + TypingBurst::kPauseMs - 1));
    EXPECT_FALSE(burst.Keystroke(1000 + 3 * TypingBurst::kPauseMs));  // a pause ends it
    burst.End();
    EXPECT_FALSE(burst.Keystroke(1000 + 3 * TypingBurst::kPauseMs + 1));
}

}  // namespace
}  // namespace mojian::doc
