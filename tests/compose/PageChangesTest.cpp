// The change record: which lines each edit of the page inserts, removes and
// changes, and that playing them (and their undo) on a copy of the lines
// gives the page's lines.
#include "compose/PageChanges.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "compose/Composition.h"

namespace mojian {
namespace {

using Kind = LineEdit::Kind;
using Lines = std::vector<std::string>;

void Play(Lines& lines, const PageEffects& e, const Composition& page) {
    if (e.allLines) {
        lines = page.Lines();
        return;
    }
    PlayLineEdits(
        e.lines, [&](int at, const std::string& text) { lines.insert(lines.begin() + at, text); },
        [&](int at) { lines.erase(lines.begin() + at); });
}

TEST(PageChanges, EachEditSaysWhichLinesItInsertedRemovedAndChanged) {
    struct Case {
        const char* what;
        int selected;
        std::function<PageEffects(Composition&)> edit;
        std::vector<LineEdit> edits;
        bool allLines = false;
    };
    const std::vector<Case> cases = {
        {"add", -1, [](Composition& p) { return p.AddBuiltIn(1, 0); }, {{Kind::Inserted, 3, "图片展示-样式1"}}},
        {"insert", 1, [](Composition& p) { return p.InsertLine(0, "x"); }, {{Kind::Inserted, 0, "x"}}},
        {"delete", 1, [](Composition& p) { return p.DeleteSelected(); }, {{Kind::Removed, 1, ""}}},
        {"replace", -1, [](Composition& p) { return p.ReplaceLine(2, "y"); }, {{Kind::Changed, 2, "y"}}},
        {"down", 0, [](Composition& p) { return p.MoveDown(); }, {{Kind::Removed, 0, ""}, {Kind::Inserted, 1, "A"}}},
        {"up", 2, [](Composition& p) { return p.MoveUp(); }, {{Kind::Removed, 2, ""}, {Kind::Inserted, 1, "C"}}},
        {"clear", -1, [](Composition& p) { return p.Clear(); }, {}, true},
        {"a compound", -1,
         [](Composition& p) {
             p.BeginCompound();
             p.RemoveLine(0);
             p.InsertLine(2, "z");
             p.ReplaceLine(0, "b");
             return p.EndCompound();
         },
         {{Kind::Removed, 0, ""}, {Kind::Inserted, 2, "z"}, {Kind::Changed, 0, "b"}}},
        {"a compound with every line", -1,
         [](Composition& p) {
             p.BeginCompound();
             p.InsertLine(0, "z");
             p.Clear();
             p.InsertLine(0, "w");
             return p.EndCompound();
         },
         {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Composition page;
        for (const char* line : {"A", "B", "C"}) page.InsertLine(static_cast<int>(page.Lines().size()), line);
        page.Select(c.selected);
        Lines shown = page.Lines();
        const PageEffects e = c.edit(page);
        ASSERT_TRUE(e.Applied());
        EXPECT_EQ(e.lines, c.edits);
        EXPECT_EQ(e.allLines, c.allLines);
        Play(shown, e, page);
        EXPECT_EQ(shown, page.Lines());
        // undo and redo say as much
        Play(shown, page.Undo(), page);
        EXPECT_EQ(shown, (Lines{"A", "B", "C"}));
        Play(shown, page.Redo(), page);
        EXPECT_EQ(shown, page.Lines());
    }
}

}  // namespace
}  // namespace mojian
