// Undo and redo through the real Form1 under Wine: two hundred mixed steps
// made with the buttons, the list and the code editor, undone with Ctrl+Z
// and redone with Ctrl+Y, each giving back exactly the page it had.
#include <windows.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "Form1Harness_win.h"
#include "ScriptedEnvironment_win.h"
#include "app/Clipboard_win.h"
#include "app/CommandIds.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"

namespace mojian::testing {
namespace {

using namespace form1;
using Names = std::vector<std::string>;

// What the window shows of the page after a step. (The selection an undo
// gives back is the one the step began with, which a click may have set
// after the step before: the model's own tests hold it to that.)
struct Seen {
    std::string html;
    Names lines;
    std::string latestCustom;  // Label1
    friend bool operator==(const Seen&, const Seen&) = default;
};

class Form1UndoTest : public Form1Test {
protected:
    Seen Now() const { return {Page().PageHtml(), Lines(), GetText(C(kLatestCustom))}; }
    std::string Copied() {
        Click(C(kCopyButton));
        return ClipboardText(form).value_or("<nothing copied>");
    }
    void TypeAtEnd(const std::string& text) {
        const int end = GetWindowTextLengthW(C(kEditor));
        SendMessageW(C(kEditor), EM_SETSEL, static_cast<WPARAM>(end), end);
        for (const wchar_t c : Wide(text)) SendMessageW(C(kEditor), WM_CHAR, c, 0);
        Pump();
    }
    void OneStep(std::mt19937& random) {
        const int count = static_cast<int>(Lines().size());
        const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
        switch (pick(10)) {
        case 0:
        case 1: {
            const int kind = pick(kKindCount);
            Click(Kind(kind));
            Click(Style(pick(kStyleCounts[static_cast<std::size_t>(kind)])));
            Click(C(kAddButton));
            break;
        }
        case 2:
            Click(C(kCustomOption));
            SetText(C(kEditor), "<p>源码 " + std::to_string(pick(1000)) + "</p>");
            Click(C(kAddButton));
            break;
        case 3:
            if (count > 0) Select(pick(count));
            Click(C(kDeleteButton));
            break;
        case 4:
            if (count > 0) Select(pick(count));
            Click(C(pick(2) ? kMoveUpButton : kMoveDownButton));
            break;
        case 5:
        case 6:
            // a line into the editor, then typed into: its block or source changes
            if (count == 0) break;
            ClickLine(pick(count));
            Click(C(kEditCodeButton));
            TypeAtEnd(pick(2) ? "墨" : "<b>x</b>");
            break;
        case 7:
            if (pick(4) == 0) Click(C(kClearButton));  // answered OK
            else ClickLine(count > 0 ? pick(count) : 0);
            break;
        case 8:
            if (count > 0) {
                Select(pick(count));
                TypeAtEnd("y");  // straight into whatever the editor holds
            }
            break;
        case 9:
            if (pick(5) == 0) {
                env.saveAnswers = {SaveAnswer::DontSave};
                PressCtrl(List(), 'N');
            } else {
                Select(-1);
                Click(C(kDeleteButton));  // nothing selected: no step
            }
            break;
        }
    }

    ScriptedEnvironment env;
};

TEST_F(Form1UndoTest, TwoHundredMixedStepsUndoAndRedoToTheSamePageAtEveryStep) {
    std::mt19937 random(20240517);
    // The page last seen at each number of steps that can be undone: typing
    // that goes on into the same entry joins its step.
    std::map<std::size_t, Seen> atStep;
    std::map<std::size_t, std::string> copiedAt;
    atStep[0] = Now();
    for (int i = 0; Page().UndoSteps() < 200; ++i) {
        ASSERT_LT(i, 2000) << "the steps stopped counting up";
        OneStep(random);
        const std::size_t steps = Page().UndoSteps();
        atStep[steps] = Now();
        if (i % 25 == 0) copiedAt[steps] = Copied();
    }
    const std::size_t top = Page().UndoSteps();
    const Seen last = Now();
    copiedAt[top] = Copied();
    // a step joined later must not leave an earlier record behind
    for (auto it = atStep.upper_bound(top); it != atStep.end();) it = atStep.erase(it);

    SetFocus(List());
    for (std::size_t steps = top; steps > 0; --steps) {
        PressCtrl(List(), 'Z');
        ASSERT_EQ(Page().UndoSteps(), steps - 1);
        const auto expected = atStep.find(steps - 1);
        if (expected == atStep.end()) continue;  // a step the typing joined away
        ASSERT_EQ(Now(), expected->second) << "undone to " << steps - 1;
        if (const auto copied = copiedAt.find(steps - 1); copied != copiedAt.end()) {
            ASSERT_EQ(Copied(), copied->second) << "copy at " << steps - 1;
        }
    }
    EXPECT_FALSE(Page().CanUndo());
    EXPECT_TRUE(Lines().empty());

    for (std::size_t steps = 1; steps <= top; ++steps) {
        PressCtrl(List(), 'Y');
        ASSERT_EQ(Page().UndoSteps(), steps);
        const auto expected = atStep.find(steps);
        if (expected == atStep.end()) continue;
        ASSERT_EQ(Now(), expected->second) << "redone to " << steps;
        if (const auto copied = copiedAt.find(steps); copied != copiedAt.end()) {
            ASSERT_EQ(Copied(), copied->second) << "copy at " << steps;
        }
    }
    EXPECT_EQ(Now(), last);
    EXPECT_EQ(Copied(), copiedAt[top]);
}

TEST_F(Form1UndoTest, TheEditorFollowsAnUndoOfTheEntryItShows) {
    AddLine("图片展示-样式1");
    ClickLine(0);
    Click(C(kEditCodeButton));
    const std::string block = Page().GetBlock(1, 0);
    ASSERT_EQ(GetText(C(kEditor)), block);
    TypeAtEnd("<i>1</i>");
    EXPECT_EQ(Page().GetBlock(1, 0), block + "<i>1</i>");
    PressCtrl(List(), 'Z');  // the burst of typing, as one step
    EXPECT_EQ(Page().GetBlock(1, 0), block);
    EXPECT_EQ(GetText(C(kEditor)), block);
    EXPECT_EQ(Doc().Body(), "\r\n" + block + "\r\n");
    PressCtrl(List(), 'Y');
    EXPECT_EQ(GetText(C(kEditor)), block + "<i>1</i>");
    Form1Change(form, [](Composition& page) { return page.Open({}); });
}

}  // namespace
}  // namespace mojian::testing
