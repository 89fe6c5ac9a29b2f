// The mobile description's two seams: what paints the page's rows and what
// encodes a piece. Planning the cuts, choosing the encoding and writing the
// folder run on them natively in tests; the program gives them GDI and WIC.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "html/PictureSource.h"

namespace mojian::mobile {

// Rows of the painted page: premultiplied 32-bit BGRA, top to bottom, as
// html::Picture holds a decoded picture. Pieces and bands are rasters too.
using Raster = html::Picture;

// Paints the page at the output's scale, a band of rows at a time, so that
// memory stays bounded whatever the page's height.
class PagePainter {
public:
    virtual ~PagePainter() = default;
    virtual int Width() const = 0;   // output pixels
    virtual int Height() const = 0;  // output rows of the whole page
    // Fills `band` (band.width == Width(), band.height rows) with rows
    // [top, top + band.height) of the page, on white. False when it could not.
    virtual bool Paint(int top, Raster& band) = 0;
    // The page was painted to its end: what painting kept for the bands
    // to come (pictures resampled, the band's surface) may go. Painting
    // again still works, from scratch.
    virtual void ReleaseKept() {}
};

enum class Format : std::uint8_t { Jpeg, Png };

class PieceEncoder {
public:
    virtual ~PieceEncoder() = default;
    // The piece as a file's bytes; `quality` (1-100) is for JPEG only.
    // Nothing when the encoder failed.
    virtual std::optional<std::string> Encode(const Raster& piece, Format format, int quality) = 0;
};

}  // namespace mojian::mobile
