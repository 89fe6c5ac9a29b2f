// Photos taken on a phone are often stored sideways with an EXIF tag that
// says how to turn them; browsers show them turned, and so does the preview.
#pragma once

#include <optional>
#include <string_view>

#include "html/PictureLimits.h"
#include "html/PictureSource.h"

namespace mojian::html {

// The EXIF orientation (1..8) of a JPEG, 1 when it has none or it cannot be read.
int JpegOrientation(std::string_view jpeg);

// A JPEG's size as stored, from its frame header; nothing when it has none
// before its picture data (its size is then unknown until it is decoded).
std::optional<PixelSize> JpegSize(std::string_view jpeg);

// The size as shown: orientations 5 to 8 turn the picture a quarter, so its
// sides swap (and the same swap turns a shown size back into a stored one).
PixelSize OrientedSize(PixelSize stored, int orientation);

// Turns and mirrors decoded pixels from how they were stored to how they are shown.
Picture Oriented(const Picture& stored, int orientation);

}  // namespace mojian::html
