#include "mobile/CutPlan.h"

#include <algorithm>
#include <limits>

namespace mojian::mobile {

namespace {

// The costs weigh the preference order against the number of pieces: an
// extra piece is worth avoiding a cut through a picture of many colours,
// not a cut through empty rows; crossing text is a last resort.
constexpr double kPiece = 250;
constexpr double kLineStart = 0;
constexpr double kClear = 10;       // plus up to 10 for a row of many colours
constexpr double kAvoided = 100;    // plus up to 200 for a row of many colours
constexpr double kText = 1e6;       // plus up to 100 for a row of many colours
constexpr double kSliver = 400;     // a piece of no height; less the fuller it is

// Marks the rows strictly inside each span: a cut there crosses it.
std::vector<unsigned char> Inside(const std::vector<RowSpan>& spans, int height) {
    std::vector<int> diff(static_cast<std::size_t>(height) + 2, 0);
    for (const RowSpan& s : spans) {
        const int from = std::max(s.top + 1, 1), to = std::min(s.bottom, height);
        if (from >= to) continue;
        ++diff[static_cast<std::size_t>(from)];
        --diff[static_cast<std::size_t>(to)];
    }
    std::vector<unsigned char> in(static_cast<std::size_t>(height) + 1, 0);
    int depth = 0;
    for (int c = 0; c <= height; ++c) {
        depth += diff[static_cast<std::size_t>(c)];
        in[static_cast<std::size_t>(c)] = depth > 0;
    }
    return in;
}

}  // namespace

CutPlan PlanCutsWithNotes(const CutInput& in) {
    CutPlan plan;
    const int height = in.height;
    const int maxH = std::max(1, in.maxHeight);
    if (height <= maxH) return plan;
    const int minH = in.minHeight > 0 ? std::min(in.minHeight, maxH) : std::max(1, maxH / 5);

    const auto text = Inside(in.text, height);
    const auto avoid = Inside(in.avoid, height);
    std::vector<unsigned char> line(static_cast<std::size_t>(height) + 1, 0);
    for (int r : in.lineStarts)
        if (r > 0 && r < height) line[static_cast<std::size_t>(r)] = 1;
    // A cut between rows c-1 and c shows as much as the busier of the two.
    const auto busy = [&](int c) -> double {
        if (in.uniform.size() < static_cast<std::size_t>(height)) return 0;
        return 1.0 - std::min(in.uniform[static_cast<std::size_t>(c) - 1], in.uniform[static_cast<std::size_t>(c)]);
    };
    std::vector<double> cutCost(static_cast<std::size_t>(height) + 1, 0);
    for (int c = 1; c < height; ++c) {
        const std::size_t i = static_cast<std::size_t>(c);
        const double b = std::clamp(busy(c), 0.0, 1.0);
        if (text[i]) cutCost[i] = kText + 100 * b;
        else if (avoid[i]) cutCost[i] = kAvoided + 200 * b;
        else if (line[i]) cutCost[i] = kLineStart;
        else cutCost[i] = kClear + 10 * b;
    }
    const auto pieceCost = [&](int h) {
        return kPiece + (h < minH ? kSliver * (minH - h) / minH : 0.0);
    };

    // The cheapest way to end a piece at each row, over every piece height allowed.
    constexpr double kNone = std::numeric_limits<double>::infinity();
    std::vector<double> best(static_cast<std::size_t>(height) + 1, kNone);
    std::vector<int> from(static_cast<std::size_t>(height) + 1, -1);
    best[0] = 0;
    for (int c = 1; c <= height; ++c) {
        const double own = c < height ? cutCost[static_cast<std::size_t>(c)] : 0;
        double b = kNone;
        int f = -1;
        for (int p = std::max(0, c - maxH); p < c; ++p) {
            const double v = best[static_cast<std::size_t>(p)];
            if (v == kNone) continue;
            const double total = v + pieceCost(c - p) + own;
            if (total < b) b = total, f = p;
        }
        best[static_cast<std::size_t>(c)] = b;
        from[static_cast<std::size_t>(c)] = f;
    }
    for (int c = from[static_cast<std::size_t>(height)]; c > 0; c = from[static_cast<std::size_t>(c)]) {
        plan.cuts.push_back(c);
        if (text[static_cast<std::size_t>(c)]) plan.throughText = true;
    }
    std::reverse(plan.cuts.begin(), plan.cuts.end());
    return plan;
}

}  // namespace mojian::mobile
