// Portable pieces of the skinning engine: the class groups, the rounding
// and word helpers shared by every painter, and the engine's colours.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/Text.h"  // AsciiLowered, as class names are compared

namespace mojian::skin {

// Colours as the platform stores them (red in the lowest byte), so they go
// to GDI unchanged; Rgb(0x54, 0xA5, 0xD5) is #54A5D5.
constexpr std::uint32_t Rgb(unsigned r, unsigned g, unsigned b) {
    return r | (g << 8) | (b << 16);
}
constexpr std::uint32_t Hex(std::uint32_t rrggbb) {
    return Rgb((rrggbb >> 16) & 0xFF, (rrggbb >> 8) & 0xFF, rrggbb & 0xFF);
}

inline constexpr std::uint32_t BorderColour = Hex(0x54A5D5);
inline constexpr std::uint32_t DisabledBorderColour = Hex(0xA4CFE9);
inline constexpr std::uint32_t PressedFrameColour = Hex(0x3986C4);
inline constexpr std::uint32_t BarColour = Hex(0x4CD6F6);
inline constexpr std::uint32_t DisabledTextColour = Hex(0x798A96);
inline constexpr std::uint32_t White = Hex(0xFFFFFF);
inline constexpr std::uint32_t KeyColour = Hex(0xFF00FF);

// The format of every caption the engine draws: centred on one line, cut
// with an ellipsis (DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS).
inline constexpr unsigned CaptionFormat = 0x8025;

enum class ClassGroup {
    Form,
    PushButton,
    Combo,
    DriveList,
    CheckBox,
    Option,
    Progress,
    Header,
    DataList,
    DropDownList,
    Grid,
    Other,
};

// The group of a window from its lower-cased class name and its style. A
// native "button" is grouped by its button type (style AND 0x0F): the
// program's own radio buttons and check boxes must not be mistaken for push
// buttons, and group boxes and owner-drawn buttons keep their own painting.
ClassGroup GroupOfClass(std::string_view lowerClass, std::uint32_t style);

// v / 2 rounded to the nearest integer, halves to the even neighbour.
int HalfToEven(int v);
// x rounded to the nearest integer, halves to the even neighbour.
int RoundHalfEven(double x);

// The border widths of a window from its outer and client sizes, less the
// scroll bars that sit in the non-client area.
struct Borders {
    int bx = 0;
    int by = 0;
};
Borders BorderWidthsFrom(int windowWidth, int windowHeight, int clientWidth, int clientHeight,
                         int vscrollWidth, int hscrollHeight);

// The low and high 16 bits of a message parameter as signed numbers (mouse
// coordinates in client space can be negative while the mouse is captured).
constexpr int LowWord(std::uintptr_t v) { return static_cast<std::int16_t>(v & 0xFFFF); }
constexpr int HighWord(std::uintptr_t v) { return static_cast<std::int16_t>((v >> 16) & 0xFFFF); }


// Geometry of the painted parts, in window coordinates.

// Where a part of size `inner` starts when centred in `outer`.
inline int Centred(int outer, int inner) { return HalfToEven(outer - inner); }

// Whether a point (client coordinates) of a w x h combo box is over its
// drop button, whose width without the border is the scroll-bar width.
bool OverDropButton(int x, int y, int w, int h, int scrollWidth);

// The filled length of a progress bar over `extent` pixels at `position`
// of the full scale.
inline constexpr int ProgressFullScale = 30000;
int BarLength(int position, int extent);

// The header item hit by x: the first item whose ends (both inclusive)
// enclose it, so a boundary belongs to the left item; -1 for none.
struct Span {
    int left = 0;
    int right = 0;
};
int HeaderHit(const Span* items, int count, int x);

}  // namespace mojian::skin
