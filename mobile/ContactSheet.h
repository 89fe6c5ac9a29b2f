// One picture showing every piece of the mobile description, shrunk, in the
// order they are stacked: columns read top to bottom, left to right, a red
// line where one piece ends and the next begins and each piece's number on
// a red tag at its top left, so the seller sees where the page was cut.
// Built one piece at a time: the pieces of a long page need never all be in
// memory together.
#pragma once

#include <cstddef>
#include <vector>

#include "mobile/Seams.h"

namespace mojian::mobile {

class ContactSheet {
public:
    // Pieces `pieceWidth` wide and `heights` tall, in order; the sheet is at
    // most maxSide x maxSide pixels (and never larger than the pieces).
    ContactSheet(int pieceWidth, std::vector<int> heights, int maxSide = 2000);

    // Draws piece `index` (1-based number index + 1) in its place, shrunk
    // with the pictures' area-averaging filter. A piece of another size than
    // announced, or an index out of range, is left out (false).
    bool Add(std::size_t index, const Raster& piece);

    // The sheet: light grey around the columns, white where a piece has not
    // been added, every cut line and number drawn.
    Raster Finish() const;

    double Scale() const { return scale_; }
    int Columns() const { return static_cast<int>(columns_.size()); }

    struct Place {
        int x = 0, y = 0, width = 0, height = 0;  // on the sheet
    };
    const Place& PlaceOf(std::size_t index) const { return places_[index]; }

private:
    int pieceWidth_;
    std::vector<int> heights_;
    std::vector<std::vector<std::size_t>> columns_;  // piece indices, in order
    std::vector<Place> places_;
    double scale_ = 1;
    Raster sheet_;
};

// The same for pieces already in memory.
Raster MakeContactSheet(const std::vector<Raster>& pieces, int maxSide = 2000);

}  // namespace mojian::mobile
