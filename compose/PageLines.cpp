#include "compose/PageLines.h"

namespace mojian {

std::optional<LineMove> MoveDownPlan(int selected, int count) {
    if (selected < 0 || selected + 1 >= count) return std::nullopt;
    return LineMove{selected, selected + 1};
}

std::optional<LineMove> MoveUpPlan(int selected, int count) {
    if (selected <= 0 || selected >= count) return std::nullopt;
    return LineMove{selected, selected - 1};
}

}  // namespace mojian
