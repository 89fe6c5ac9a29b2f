// Where to cut the painted page into pictures no taller than the rule
// allows. Stacked, the pieces give back the page row for row, so a cut is
// only seen where it crosses something: between composition lines is best,
// then rows nothing crosses (of one colour first), then rows that cross a
// picture or a table row but no text, the most uniform first. A line of
// text is never cut unless it alone is taller than a piece may be.
#pragma once

#include <cstddef>
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

// The same plan made while the page is painted, so that each piece can be
// encoded as soon as its cuts are certain and its rows need not be kept or
// painted again. A cut is certain once every way the plan can still go
// passes through it; the plan is then the one PlanCutsWithNotes makes.
// Rows waiting for a certain cut are bounded by `mostPendingRows` (0: no
// bound): past it the way that looks cheapest to the page's end is
// followed, the rows not painted yet counted as plain rows, which differs
// from the whole-page plan only where their colours would have decided.
class CutPlanner {
public:
    // `input.uniform` is ignored: rows come through AddRows.
    explicit CutPlanner(const CutInput& input, int mostPendingRows = 0);

    // The uniformity of the next rows of the page, in order.
    void AddRows(const float* uniform, int count);
    // After every row was added: the cuts not yet taken become certain.
    void Finish();
    // The cuts that became certain since the last call, ascending.
    std::vector<int> TakeCuts();

    int Settled() const { return settled_; }  // rows above the last certain cut (or 0)
    int RowsAdded() const { return known_; }
    bool ThroughText() const { return throughText_; }

private:
    double CutCost(int c) const;
    double PlainCutCost(int c) const;
    double PieceCost(int rows) const;
    double CostOf(std::size_t row, double busy) const;
    void EstimateRest();
    void Step(int c);  // the cheapest way to end a piece at row c
    void Settle(int to);  // the cuts on the way to `to`, above settled_, become certain
    void SettleCertain();
    void ForceSettle();

    int height_, maxH_, minH_, mostPending_;
    std::vector<unsigned char> text_, avoid_, line_;
    std::vector<float> uniform_;
    std::vector<double> best_;
    std::vector<int> from_;
    std::vector<double> rest_;  // EstimateRest, made when first needed
    int known_ = 0;    // rows whose uniformity came
    int stepped_ = 0;  // best_ is worked out for rows [0, stepped_]
    int settled_ = 0;
    bool finished_ = false;
    bool throughText_ = false;
    std::vector<int> ready_;
};

}  // namespace mojian::mobile
