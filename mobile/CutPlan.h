// Where to cut the painted page into pictures no taller than the rule
// allows. Stacked, the pieces give back the page row for row, so a cut is
// only seen where it crosses something: between composition lines is best,
// then rows nothing crosses (of one colour first), then rows that cross a
// picture or a table row but no text, the most uniform first. A line of
// text is never cut unless it alone is taller than a piece may be.
#pragma once

#include <vector>

#include "mobile/Geometry.h"

namespace mojian::mobile {

struct CutInput {
    int height = 0;     // rows of the page
    int maxHeight = 0;  // the tallest piece allowed
    // Pieces shorter than this are slivers, avoided where other cuts allow;
    // 0: a fifth of maxHeight.
    int minHeight = 0;
    std::vector<RowSpan> text;     // never crossed
    std::vector<RowSpan> avoid;    // pictures, table rows: crossed reluctantly
    std::vector<int> lineStarts;   // rows where composition lines begin
    // Per row, how much of one colour it is (1: all one colour, 0: every
    // pixel differs from the one beside it); empty when not known.
    std::vector<float> uniform;
};

struct CutPlan {
    std::vector<int> cuts;  // ascending; pieces [0, c1), [c1, c2), ... [cn, height)
    // A text line taller than a piece could not be kept whole.
    bool throughText = false;
};

CutPlan PlanCutsWithNotes(const CutInput& input);
inline std::vector<int> PlanCuts(const CutInput& input) { return PlanCutsWithNotes(input).cuts; }

}  // namespace mojian::mobile
