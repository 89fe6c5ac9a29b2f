#include "compose/PageChanges.h"

#include <iterator>
#include <utility>

namespace mojian {

void PageEffects::AddLineEdit(LineEdit edit) {
    if (!allLines) lines.push_back(std::move(edit));
}

void PageEffects::AllLines() {
    allLines = true;
    lines.clear();
}

void PageEffects::Merge(PageEffects&& later) {
    if (later.outcome == Outcome::Applied || outcome == Outcome::Nothing) outcome = later.outcome;
    if (later.allLines) AllLines();
    if (!allLines)
        lines.insert(lines.end(), std::make_move_iterator(later.lines.begin()), std::make_move_iterator(later.lines.end()));
    selectionChanged = selectionChanged || later.selectionChanged;
    sources.merge(later.sources);
    blocks.merge(later.blocks);
    mine.merge(later.mine);
    counterChanged = counterChanged || later.counterChanged;
    choiceChanged = choiceChanged || later.choiceChanged;
    widthChanged = widthChanged || later.widthChanged;
    opened = opened || later.opened;
    if (later.newSource != 0) newSource = later.newSource;
}

}  // namespace mojian
