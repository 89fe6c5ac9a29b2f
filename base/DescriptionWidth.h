// The width of the description's column on the item page: 750 pixels on
// Taobao, 790 on Tmall. A page is composed, previewed and checked for one of
// the two; everything else of the program takes its pixels from here.
#pragma once

#include <optional>
#include <string_view>

namespace mojian {

// The value is the column's width in pixels.
enum class DescriptionWidth { Taobao = 750, Tmall = 790 };

inline constexpr DescriptionWidth kDefaultDescriptionWidth = DescriptionWidth::Taobao;

constexpr int WidthPixels(DescriptionWidth w) { return static_cast<int>(w); }

// What the interface calls it: "750（淘宝）", "790（天猫）".
constexpr std::string_view DescriptionWidthName(DescriptionWidth w) {
    return w == DescriptionWidth::Tmall ? "790（天猫）" : "750（淘宝）";
}

// "750" or "790", as a command line or a project file writes it; nothing
// for anything else.
constexpr std::optional<DescriptionWidth> ParseDescriptionWidth(std::string_view text) {
    if (text == "750") return DescriptionWidth::Taobao;
    if (text == "790") return DescriptionWidth::Tmall;
    return std::nullopt;
}

// The same from a number; nothing for any other.
constexpr std::optional<DescriptionWidth> DescriptionWidthFromPixels(long long px) {
    if (px == 750) return DescriptionWidth::Taobao;
    if (px == 790) return DescriptionWidth::Tmall;
    return std::nullopt;
}

}  // namespace mojian
