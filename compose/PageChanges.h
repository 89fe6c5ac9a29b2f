// What one edit of the page did, as plain data: the lines inserted, removed
// and changed, and the other parts of the page it touched. Every operation
// of the page model returns one; whoever shows the page follows it instead
// of comparing the whole page again.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "compose/PageData.h"

namespace mojian {

// One line of the page, inserted, removed or given another entry name.
struct LineEdit {
    enum class Kind { Inserted, Removed, Changed };
    Kind kind;
    int index;         // where, in the lines as they stand when this edit comes
    std::string text;  // Inserted and Changed: the line's entry name now
    friend bool operator==(const LineEdit&, const LineEdit&) = default;
};

enum class Outcome {
    Nothing,       // the precondition failed (no selection, first line...): nothing changed
    Applied,       // the page changed
    PageFull,      // refused: the page holds its most lines already (kMaxPageLines)
    NoFreeNumber,  // refused: a new custom source would be numbered above 100 and resolve to nothing
};

struct PageEffects {
    Outcome outcome = Outcome::Nothing;
    // The lines' edits in order; empty when `allLines`, which means every
    // line may have changed: show Lines() afresh.
    std::vector<LineEdit> lines;
    bool allLines = false;
    // The model's selection differs from before the operation.
    bool selectionChanged = false;
    // Custom-source numbers whose file must be rewritten or deleted.
    std::set<int> sources;
    // Built-in blocks whose text changed.
    std::set<BlockId> blocks;
    // The seller's blocks (by name) whose HTML on this page changed.
    std::set<std::string> mine;
    bool counterChanged = false;
    bool choiceChanged = false;
    // The description's width is another now.
    bool widthChanged = false;
    // The step opened a page, or undid or redid an open: the page shown is
    // another document now.
    bool opened = false;
    // The number AddCustom or NewCustomSource took.
    int newSource = 0;

    bool Applied() const { return outcome == Outcome::Applied; }
    void AddLineEdit(LineEdit edit);
    // Every line afresh: the edits so far say nothing more.
    void AllLines();
    // `later` happened after what this holds: both together.
    void Merge(PageEffects&& later);
};

// Plays line edits on any list that showed the lines before them, so that
// it shows them after: `insert(index, text)` and `remove(index)`. A changed
// line is removed and inserted again in its place.
template <class Insert, class Remove>
void PlayLineEdits(const std::vector<LineEdit>& edits, Insert&& insert, Remove&& remove) {
    for (const LineEdit& edit : edits) {
        if (edit.kind != LineEdit::Kind::Inserted) remove(edit.index);
        if (edit.kind != LineEdit::Kind::Removed) insert(edit.index, edit.text);
    }
}

}  // namespace mojian
