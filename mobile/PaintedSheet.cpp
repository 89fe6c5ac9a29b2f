#include "mobile/PaintedSheet.h"

#include "mobile/ContactSheet.h"

namespace mojian::mobile {

std::optional<Raster> PaintContactSheet(PagePainter& page, const std::vector<int>& cuts, int maxSide) {
    const int width = page.Width(), height = page.Height();
    if (width <= 0 || height <= 0) return std::nullopt;
    std::vector<int> edges{0};
    for (const int c : cuts)
        if (c > edges.back() && c < height) edges.push_back(c);
    edges.push_back(height);
    std::vector<int> heights;
    for (std::size_t i = 1; i < edges.size(); ++i) heights.push_back(edges[i] - edges[i - 1]);
    ContactSheet sheet(width, heights, maxSide);
    for (std::size_t i = 0; i < heights.size(); ++i) {
        Raster piece{width, heights[i], std::vector<std::uint32_t>(static_cast<std::size_t>(width) * static_cast<std::size_t>(heights[i]), 0xFFFFFFFFu)};
        if (!page.Paint(edges[i], piece) || !sheet.Add(i, piece)) return std::nullopt;
    }
    return sheet.Finish();
}

}  // namespace mojian::mobile
