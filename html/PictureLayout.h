// The size of a picture's box (an <img>), border box, for the block, line
// and table layouts alike.
#pragma once

#include <string>
#include <utility>

#include "html/Box.h"
#include "html/LayoutContext.h"

namespace mojian::html {

// Width and height of the picture's border box in a containing block of
// `cbWidth` pixels: the size the page gives, completed from the natural size
// when the picture source has the picture, else the broken-picture box.
std::pair<float, float> PictureSize(LayoutContext& ctx, const Box& picture, float cbWidth);

// The picture's alt text, empty when it has none.
std::u16string AltText(const Box& picture);

}  // namespace mojian::html
