// The contact sheet of a mobile description painted again from the page, a
// piece at a time, so that the pieces of a long page are never all in
// memory together.
#pragma once

#include <optional>
#include <vector>

#include "mobile/Seams.h"

namespace mojian::mobile {

// The sheet of the pieces between `cuts` (ascending rows inside the page),
// at most maxSide pixels a side; nothing when the page could not be painted.
std::optional<Raster> PaintContactSheet(PagePainter& page, const std::vector<int>& cuts, int maxSide = 2000);

}  // namespace mojian::mobile
