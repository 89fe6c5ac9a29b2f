// The rules of the composition list that do not need the list box: how many
// lines it may hold and where a moved line goes.
#pragma once

#include <optional>

namespace mojian {

// Positions and counts are 16-bit signed numbers: 32,767 lines at most.
inline constexpr int kMaxListLines = 32767;

inline bool CanAddLine(int count) { return count >= 0 && count < kMaxListLines; }

// A move as the list box performs it: insert a copy of the selected line at
// `insertAt`, remove the line then at `removeAt`, select `selectAfter`.
struct LineMove {
    int insertAt;
    int removeAt;
    int selectAfter;
    friend bool operator==(const LineMove&, const LineMove&) = default;
};

// Nothing when no line is selected (-1) or the line is already last/first.
std::optional<LineMove> MoveDownPlan(int selected, int count);
std::optional<LineMove> MoveUpPlan(int selected, int count);

}  // namespace mojian
