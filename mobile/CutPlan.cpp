#include "mobile/CutPlan.h"

#include <algorithm>
#include <limits>
#include <utility>

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

constexpr double kNone = std::numeric_limits<double>::infinity();

}  // namespace

CutPlanner::CutPlanner(const CutInput& in, int mostPendingRows)
    : height_(std::max(0, in.height)),
      maxH_(std::max(1, in.maxHeight)),
      minH_(in.minHeight > 0 ? std::min(in.minHeight, maxH_) : std::max(1, maxH_ / 5)),
      mostPending_(mostPendingRows > 0 ? std::max(mostPendingRows, maxH_) : 0) {
    if (height_ <= maxH_) return;  // one piece: nothing to plan
    text_ = Inside(in.text, height_);
    avoid_ = Inside(in.avoid, height_);
    line_.assign(static_cast<std::size_t>(height_) + 1, 0);
    for (int r : in.lineStarts)
        if (r > 0 && r < height_) line_[static_cast<std::size_t>(r)] = 1;
    uniform_.reserve(static_cast<std::size_t>(height_));
    best_.assign(static_cast<std::size_t>(height_) + 1, kNone);
    from_.assign(static_cast<std::size_t>(height_) + 1, -1);
    best_[0] = 0;
}

// A cut between rows c-1 and c shows as much as the busier of the two.
double CutPlanner::CutCost(int c) const {
    const std::size_t i = static_cast<std::size_t>(c);
    return CostOf(i, std::clamp(1.0 - std::min(uniform_[i - 1], uniform_[i]), 0.0, 1.0));
}

// A piece of `h` rows: slivers cost more, the less they hold.
double CutPlanner::PieceCost(int h) const { return kPiece + (h < minH_ ? kSliver * (minH_ - h) / minH_ : 0.0); }

double CutPlanner::PlainCutCost(int c) const { return CostOf(static_cast<std::size_t>(c), 0); }

double CutPlanner::CostOf(std::size_t i, double busy) const {
    if (text_[i]) return kText + 100 * busy;
    if (avoid_[i]) return kAvoided + 200 * busy;
    if (line_[i]) return kLineStart;
    return kClear + 10 * busy;
}

void CutPlanner::Step(int c) {
    const double own = c < height_ ? CutCost(c) : 0;
    double b = kNone;
    int f = -1;
    // Nothing before the last certain cut: every way on passes through it.
    for (int p = std::max(settled_, c - maxH_); p < c; ++p) {
        const double v = best_[static_cast<std::size_t>(p)];
        if (v == kNone) continue;
        const double total = v + PieceCost(c - p) + own;
        // Among equals the tallest last piece: the ways to nearby rows then
        // share their cuts sooner, so cuts become certain sooner.
        if (total <= b) b = total, f = p;
    }
    best_[static_cast<std::size_t>(c)] = b;
    from_[static_cast<std::size_t>(c)] = f;
    stepped_ = c;
}

void CutPlanner::Settle(int to) {
    std::vector<int> way;
    for (int c = to; c > settled_; c = from_[static_cast<std::size_t>(c)]) way.push_back(c);
    for (auto it = way.rbegin(); it != way.rend(); ++it) {
        if (*it >= height_) continue;
        ready_.push_back(*it);
        if (text_[static_cast<std::size_t>(*it)]) throughText_ = true;
    }
    settled_ = to;
}

// The way to every row a later piece may start from; where they all meet,
// the cuts before are certain.
void CutPlanner::SettleCertain() {
    const auto meet = [&](int x, int y) {
        while (x != y && x > settled_ && y > settled_) {
            if (x > y) x = from_[static_cast<std::size_t>(x)];
            else y = from_[static_cast<std::size_t>(y)];
        }
        return std::min(x, y);
    };
    int common = -1;
    for (int s = std::max(settled_, stepped_ + 1 - maxH_); s <= stepped_; ++s) {
        if (best_[static_cast<std::size_t>(s)] == kNone) continue;
        common = common < 0 ? s : meet(common, s);
        if (common <= settled_) return;
    }
    if (common > settled_) Settle(common);
}

// The cheapest way from each row to the page's end, as far as the page is
// known without painting it (rows taken as plain): what a forced cut
// weighs the rows not painted yet by.
void CutPlanner::EstimateRest() {
    rest_.assign(static_cast<std::size_t>(height_) + 1, kNone);
    rest_[static_cast<std::size_t>(height_)] = 0;
    for (int c = height_ - 1; c >= 0; --c) {
        double b = kNone;
        for (int q = c + 1; q <= std::min(height_, c + maxH_); ++q) {
            const double v = rest_[static_cast<std::size_t>(q)];
            if (v == kNone) continue;
            const double own = q < height_ ? PlainCutCost(q) : 0;
            b = std::min(b, v + PieceCost(q - c) + own);
        }
        rest_[static_cast<std::size_t>(c)] = b;
    }
}

// Too many rows wait: the way that looks cheapest to the page's end (the
// rows painted as they are, the rest as plain rows) takes its next cut, and
// the ways on are worked out again from there.
void CutPlanner::ForceSettle() {
    while (mostPending_ > 0 && stepped_ - settled_ > mostPending_) {
        if (rest_.empty()) EstimateRest();
        int through = -1;
        double cheapest = kNone;
        for (int s = std::max(settled_ + 1, stepped_ + 1 - maxH_); s <= stepped_; ++s) {
            const double total = best_[static_cast<std::size_t>(s)] + rest_[static_cast<std::size_t>(s)];
            if (total <= cheapest) cheapest = total, through = s;
        }
        if (through < 0) return;
        int next = through;
        while (from_[static_cast<std::size_t>(next)] > settled_) next = from_[static_cast<std::size_t>(next)];
        const int to = stepped_;
        Settle(next);
        for (int c = next + 1; c <= to; ++c) Step(c);
    }
}

void CutPlanner::AddRows(const float* uniform, int count) {
    if (finished_ || count <= 0) return;
    count = std::min(count, height_ - known_);
    known_ += count;
    if (height_ <= maxH_) return;
    uniform_.insert(uniform_.end(), uniform, uniform + count);
    // Row c's cost needs rows c-1 and c.
    for (int c = stepped_ + 1; c < known_; ++c) Step(c);
    SettleCertain();
    ForceSettle();
}

void CutPlanner::Finish() {
    if (finished_) return;
    finished_ = true;
    if (height_ <= maxH_) return;
    uniform_.resize(static_cast<std::size_t>(height_), 1.0f);  // rows never given count as plain
    for (int c = stepped_ + 1; c <= height_; ++c) Step(c);
    Settle(height_);
}

std::vector<int> CutPlanner::TakeCuts() { return std::exchange(ready_, {}); }

CutPlan PlanCutsWithNotes(const CutInput& in) {
    CutPlanner planner(in);
    if (in.uniform.size() >= static_cast<std::size_t>(std::max(0, in.height)))
        planner.AddRows(in.uniform.data(), in.height);
    planner.Finish();
    return CutPlan{planner.TakeCuts(), planner.ThroughText()};
}

}  // namespace mojian::mobile
