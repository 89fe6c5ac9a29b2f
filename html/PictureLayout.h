// Pictures (<img>) as browsers lay them out: the picture's own box sized
// from the page and its natural size, or, when it cannot be shown, the
// browser's fallback: a framed box of the given size, or the broken-picture
// icon and the alt text in place of the picture.
#pragma once

#include <string>
#include <utility>

#include "html/Box.h"
#include "html/LayoutContext.h"

namespace mojian::html {

// The side of the broken-picture icon, and the least a framed broken box
// needs on both sides to show it (the icon and the frame's two pixels).
inline constexpr float kBrokenIconPx = 16;
inline constexpr float kBrokenIconRoomPx = 18;

// How a picture element is shown; decided once, when its box is made.
struct PicturePlan {
    enum class Show : std::uint8_t {
        Picture,   // its own box: the pixels when they are there, nothing while loading, a framed box when broken
        Fallback,  // a box of its display type holding the icon and the alt text
    };
    Show show = Show::Picture;
    PictureInfo info;
    bool broken = false;  // Picture: it failed, so its box is framed
    bool icon = false;    // Fallback: the broken-picture icon comes first
    std::u16string alt;   // Fallback: the alt text shown
};

// Asks the picture source about the element's address and decides. `style`
// is the element's computed style; in quirks mode a broken picture with one
// side given is made square, as old browsers did.
PicturePlan PlanPicture(LayoutContext& ctx, const Node& img, Style& style);

// Width and height of a picture's border box in a containing block
// `cbWidth` wide (`cbHeight` high, negative when that is not known): the
// size the page gives, completed from the natural size and proportions,
// within min- and max- sizes. A negative `cbWidth` asks for the size the
// picture wants of a container still being sized: percentages of the
// width count as unset.
std::pair<float, float> PictureSize(const Box& picture, float cbWidth, float cbHeight = -1);

// The picture's alt text, empty when it has none.
std::u16string AltText(const Box& picture);

}  // namespace mojian::html
