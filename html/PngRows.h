// A long PNG read a row at a time, as it is drawn: the file's bytes and a
// few rows are all it holds, where a decoder that keeps the picture whole
// would hold up to 8 bytes a pixel (a 16-bit 750 x 30,000 banner: 135 MB).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "html/PictureSource.h"

namespace mojian::html {

struct PngHeader {
    int width = 0;
    int height = 0;
    int depth = 0;   // bits per sample: 1, 2, 4, 8 or 16
    int colour = 0;  // 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA
    bool interlaced = false;
};

// The header of a PNG file; nothing when `bytes` is not one, or its header
// is not one a PNG may have.
std::optional<PngHeader> ReadPngHeader(std::string_view bytes);

// Rows of a PNG that is not interlaced, as premultiplied BGRA, decoded down
// the picture as they are asked for (going back up starts again from the
// top, bar the last rows read). Null when the file is not such a PNG, is
// wider than 65,536 px, or its first row cannot be decoded. Rows past damage
// in the file read as failed.
std::shared_ptr<const PictureRows> OpenPngRows(std::string bytes);

}  // namespace mojian::html
