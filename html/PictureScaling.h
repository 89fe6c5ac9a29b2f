// Resampling decoded pictures to the size they are shown at: each output
// pixel averages the source area it covers when shrinking (no aliasing, as
// browsers' high-quality scaling), and interpolates between the nearest
// source pixels when enlarging. Works on premultiplied BGRA, so edges of
// transparent areas keep no dark fringe.
#pragma once

#include "html/PictureSource.h"

namespace mojian::html {

// `source` scaled to width x height (both at least 1; a request beyond
// kMaxScaledPixels or an empty source gives an empty picture).
Picture ScalePicture(const Picture& source, int width, int height);

// Whether every pixel is fully opaque (the painter may copy instead of blend).
bool IsOpaque(const Picture& picture);

inline constexpr long long kMaxScaledPixels = 64LL * 1024 * 1024;

}  // namespace mojian::html
