#include "compose/CompositionList.h"

namespace mojian {

std::optional<LineMove> MoveDownPlan(int selected, int count) {
    if (selected < 0 || selected >= count || selected + 1 >= count) return std::nullopt;
    return LineMove{selected + 2, selected, selected + 1};
}

std::optional<LineMove> MoveUpPlan(int selected, int count) {
    if (selected <= 0 || selected >= count) return std::nullopt;
    return LineMove{selected - 1, selected + 1, selected - 1};
}

}  // namespace mojian
