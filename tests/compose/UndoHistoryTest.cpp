// The undo history on its own: steps, compounds, bursts, its bounds and
// the saved page.
#include "compose/UndoHistory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mojian {
namespace {

// A step that sets the custom counter from `before` to `after`.
Step CounterStep(int before, int after) {
    Step step;
    step.changes.push_back(change::Counter{before, after});
    return step;
}

void Record(UndoHistory& h, Step step) {
    h.Open(step.selectionBefore);
    h.Current() = std::move(step);
    h.Close(h.Current().selectionAfter);
}

int CounterAfter(const Step* step) { return std::get<change::Counter>(step->changes.front()).after; }

TEST(TextEdit, KeepsOnlyWhatDiffersAndGivesBothTextsBack) {
    struct Case {
        std::optional<std::string> before, after;
        std::string unset, removed, inserted;
    };
    const std::string longText(64u << 10, 'x');
    const std::vector<Case> cases = {
        {"abc", "abXc", "", "", "X"},
        {"abc", "ac", "", "b", ""},
        {"aaaa", "aa", "", "aa", ""},  // a run shrinks: prefix and suffix never overlap
        {std::nullopt, "new", "", "", "new"},
        {"old", std::nullopt, "", "old", ""},
        {"<i>built in</i>", std::nullopt, "<i>built</i>", " in", ""},  // back to the block's own text
        {longText, longText.substr(0, 100) + "字" + longText.substr(100), "", "", "字"},
    };
    for (const Case& c : cases) {
        const TextEdit edit = TextEdit::Between(c.before, c.after, c.unset);
        EXPECT_EQ(edit.removed, c.removed) << c.after.value_or("-").substr(0, 20);
        EXPECT_EQ(edit.inserted, c.inserted);
        EXPECT_EQ(edit.Apply(true, c.before.value_or(c.unset)), c.after);
        EXPECT_EQ(edit.Apply(false, c.after.value_or(c.unset)), c.before);
    }
}

TEST(UndoHistory, UndoRedoAndANewStepDropTheRedoBranch) {
    UndoHistory h;
    EXPECT_EQ(h.Undo(), nullptr);
    for (int i = 0; i < 3; ++i) Record(h, CounterStep(i, i + 1));
    EXPECT_EQ(CounterAfter(h.Undo()), 3);
    EXPECT_EQ(CounterAfter(h.Undo()), 2);
    EXPECT_EQ(CounterAfter(h.Redo()), 2);
    EXPECT_TRUE(h.CanRedo());
    Record(h, CounterStep(2, 9));
    EXPECT_FALSE(h.CanRedo());
    EXPECT_EQ(h.Steps(), 3u);
    EXPECT_EQ(CounterAfter(h.Undo()), 9);
}

TEST(UndoHistory, ACompoundIsOneStepAndAnEmptyOneNone) {
    UndoHistory h;
    h.Open(4);
    h.Current().changes.push_back(change::Counter{0, 1});
    h.Open(7);  // an operation inside the compound
    h.Current().changes.push_back(change::Counter{1, 2});
    h.Close(7);
    EXPECT_TRUE(h.IsOpen());
    EXPECT_EQ(h.Undo(), nullptr);  // nothing is undone while a step is being made
    h.Close(1);
    ASSERT_EQ(h.Steps(), 1u);
    const Step* step = h.Undo();
    EXPECT_EQ(step->changes.size(), 2u);
    EXPECT_EQ(step->selectionBefore, 4);
    EXPECT_EQ(step->selectionAfter, 1);

    h.Open(0);
    h.Close(0);
    EXPECT_FALSE(h.CanUndo());
    EXPECT_TRUE(h.CanRedo());  // an empty compound drops no redo either
}

TEST(UndoHistory, ABurstJoinsOnlyTheNewestStepOfItsOwnText) {
    const BurstTarget source{3, {-1, -1}}, block{0, {1, 2}};
    UndoHistory h;
    Step typed = CounterStep(0, 1);
    typed.burst = source;
    Record(h, typed);
    h.MarkSaved();
    EXPECT_EQ(h.BurstTop(block), nullptr);
    ASSERT_NE(h.BurstTop(source), nullptr);
    h.TopChanged(false, 2);
    EXPECT_TRUE(h.IsModified());  // the burst went on past the saved page
    EXPECT_EQ(h.Steps(), 1u);

    h.Open(0);  // a step being made: no burst goes on
    EXPECT_EQ(h.BurstTop(source), nullptr);
    h.Close(0);
    h.Undo();  // nothing undone above it either
    EXPECT_EQ(h.BurstTop(source), nullptr);
    h.Redo();
    h.TopChanged(true, 0);  // typed back to where it began: the step goes
    EXPECT_FALSE(h.CanUndo());

    // a compound of several changes is no burst, whatever it says
    typed.changes.push_back(change::Counter{1, 2});
    Record(h, typed);
    EXPECT_EQ(h.BurstTop(source), nullptr);
}

TEST(UndoHistory, TheSavedPageIsKnownAgainUntilItsStepIsGone) {
    UndoHistory h;
    Record(h, CounterStep(0, 1));
    h.MarkSaved();
    EXPECT_FALSE(h.IsModified());
    h.Undo();
    EXPECT_TRUE(h.IsModified());
    h.Redo();
    EXPECT_FALSE(h.IsModified());
    h.Undo();
    Record(h, CounterStep(0, 5));  // another page where the saved one was
    h.Undo();
    EXPECT_TRUE(h.IsModified());
}

TEST(UndoHistory, KeepsItsNewestStepsAtMostFiveHundredAndAtLeastTwoHundred) {
    UndoHistory h;
    for (int i = 0; i < 600; ++i) Record(h, CounterStep(i, i + 1));
    EXPECT_EQ(h.Steps(), UndoHistory::kMaxSteps);
    EXPECT_GE(UndoHistory::kMinSteps, 200u);
    h.MarkSaved();
    const Step* oldest = nullptr;
    while (h.CanUndo()) oldest = h.Undo();
    EXPECT_EQ(CounterAfter(oldest), 101);  // the oldest steps are gone
    EXPECT_TRUE(h.IsModified());

    // over its budget the history keeps the least number of steps
    UndoHistory small(100u << 10);
    for (int i = 0; i < 300; ++i) {
        Step step;
        step.changes.push_back(change::Source{1, TextEdit::Between(std::nullopt, std::string(1000, 'x'), {})});
        Record(small, std::move(step));
    }
    EXPECT_EQ(small.Steps(), UndoHistory::kMinSteps);
    EXPECT_GT(small.Bytes(), 100u << 10);
}

}  // namespace
}  // namespace mojian
