// The rules of the page's lines: how many it may hold and where a moved
// line goes.
#pragma once

#include <optional>

namespace mojian {

// Line positions are 16-bit signed numbers where the page is shown and
// copied: 32,767 lines at most.
inline constexpr int kMaxPageLines = 32767;

inline bool CanAddLine(int count) { return count >= 0 && count < kMaxPageLines; }

// The selected line leaves `from` and stands at `to` after, still selected.
struct LineMove {
    int from;
    int to;
    friend bool operator==(const LineMove&, const LineMove&) = default;
};

// Nothing when no line is selected (-1) or the line is already last/first.
std::optional<LineMove> MoveDownPlan(int selected, int count);
std::optional<LineMove> MoveUpPlan(int selected, int count);

}  // namespace mojian
