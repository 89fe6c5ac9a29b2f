#include "html/Style.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/Text.h"
#include "base/Utf.h"
#include "html/Css.h"
#include "html/FontChoice.h"

namespace mojian::html {

namespace {

bool ParseNumber(std::string_view s, float& value, std::string_view& unit) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
    const std::size_t digits = i;
    while (i < s.size() && ((s[i] >= '0' && s[i] <= '9') || s[i] == '.')) ++i;
    if (i == digits) return false;
    // As strtof reads it: up to what is not part of a number, a lone "." as 0.
    const std::size_t from = s[0] == '+' ? 1 : 0;
    const std::errc read = std::from_chars(s.data() + from, s.data() + i, value).ec;
    if (read == std::errc::result_out_of_range) value = std::strtof(std::string(s.substr(0, i)).c_str(), nullptr);
    else if (read != std::errc()) value = 0;
    if (!std::isfinite(value)) return false;
    value = std::clamp(value, -100000.0f, 100000.0f);
    unit = TrimSpaceAndControls(s.substr(i));
    return true;
}

struct NamedColor {
    const char* name;
    Color value;
};
constexpr NamedColor kColors[] = {
    {"black", 0x000000},   {"white", 0xffffff},     {"red", 0xff0000},      {"green", 0x008000},
    {"blue", 0x0000ff},    {"yellow", 0xffff00},    {"orange", 0xffa500},   {"purple", 0x800080},
    {"pink", 0xffc0cb},    {"gray", 0x808080},      {"grey", 0x808080},     {"silver", 0xc0c0c0},
    {"maroon", 0x800000},  {"navy", 0x000080},      {"olive", 0x808000},    {"teal", 0x008080},
    {"aqua", 0x00ffff},    {"cyan", 0x00ffff},      {"fuchsia", 0xff00ff},  {"magenta", 0xff00ff},
    {"lime", 0x00ff00},    {"brown", 0xa52a2a},     {"gold", 0xffd700},     {"crimson", 0xdc143c},
    {"coral", 0xff7f50},   {"tomato", 0xff6347},    {"salmon", 0xfa8072},   {"khaki", 0xf0e68c},
    {"beige", 0xf5f5dc},   {"ivory", 0xfffff0},     {"lavender", 0xe6e6fa}, {"orchid", 0xda70d6},
    {"plum", 0xdda0dd},    {"violet", 0xee82ee},    {"indigo", 0x4b0082},   {"tan", 0xd2b48c},
    {"wheat", 0xf5deb3},   {"snow", 0xfffafa},      {"azure", 0xf0ffff},    {"linen", 0xfaf0e6},
    {"chocolate", 0xd2691e}, {"firebrick", 0xb22222}, {"darkred", 0x8b0000}, {"darkblue", 0x00008b},
    {"darkgreen", 0x006400}, {"darkgray", 0xa9a9a9}, {"darkgrey", 0xa9a9a9}, {"lightgray", 0xd3d3d3},
    {"lightgrey", 0xd3d3d3}, {"lightblue", 0xadd8e6}, {"lightgreen", 0x90ee90}, {"lightyellow", 0xffffe0},
    {"lightpink", 0xffb6c1}, {"dimgray", 0x696969}, {"dimgrey", 0x696969},  {"gainsboro", 0xdcdcdc},
    {"whitesmoke", 0xf5f5f5}, {"skyblue", 0x87ceeb}, {"steelblue", 0x4682b4}, {"royalblue", 0x4169e1},
    {"dodgerblue", 0x1e90ff}, {"deepskyblue", 0x00bfff}, {"orangered", 0xff4500}, {"hotpink", 0xff69b4},
    {"deeppink", 0xff1493}, {"seagreen", 0x2e8b57}, {"forestgreen", 0x228b22}, {"limegreen", 0x32cd32},
    {"olivedrab", 0x6b8e23}, {"darkorange", 0xff8c00}, {"goldenrod", 0xdaa520}, {"peru", 0xcd853f},
    {"sienna", 0xa0522d},
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<Color> ParseHex(std::string_view h) {
    for (char c : h)
        if (HexDigit(c) < 0) return std::nullopt;
    if (h.size() == 3 || h.size() == 4) {
        Color c = 0;
        for (int i = 0; i < 3; ++i) c = (c << 8) | static_cast<Color>(HexDigit(h[i]) * 17);
        return c;
    }
    if (h.size() == 6 || h.size() == 8) {
        Color c = 0;
        for (int i = 0; i < 6; ++i) c = (c << 4) | static_cast<Color>(HexDigit(h[i]));
        return c;
    }
    return std::nullopt;
}

Color Blend(Color c, float alpha) {  // over white, the preview's page colour
    auto mix = [&](int shift) {
        const float v = static_cast<float>((c >> shift) & 0xff) * alpha + 255.0f * (1 - alpha);
        return static_cast<Color>(std::lround(std::clamp(v, 0.0f, 255.0f))) << shift;
    };
    return mix(16) | mix(8) | mix(0);
}

float FontSizeKeyword(std::string_view v, float parent, float zoom = 1) {
    if (v == "xx-small") return 9 * zoom;
    if (v == "x-small") return 10 * zoom;
    if (v == "small") return 13 * zoom;
    if (v == "medium") return 16 * zoom;
    if (v == "large") return 18 * zoom;
    if (v == "x-large") return 24 * zoom;
    if (v == "xx-large") return 32 * zoom;
    if (v == "smaller") return parent / 1.2f;
    if (v == "larger") return parent * 1.2f;
    return -1;
}

// A font-family value as the font list the layout names: the families in
// order, separated by commas.
std::u16string FamilyList(std::string_view v) {
    std::u16string out;
    for (const std::u16string& f : ParseFamilies(Utf8ToUtf16(v))) {
        if (!out.empty()) out += u',';
        out += f;
    }
    return out;
}


bool IsBorderStyle(std::string_view v) {
    return v == "solid" || v == "dashed" || v == "dotted" || v == "double" || v == "groove" || v == "ridge" ||
           v == "inset" || v == "outset";
}

// A zoomed border width in whole device pixels, as browsers draw borders
// at a device scale; one too thin to show still takes one. Unzoomed pages
// keep the width they give.
float SnapBorder(float w, float zoom) {
    if (zoom == 1) return w;
    return w > 0 && w < 1 ? 1.0f : std::floor(w);
}

// A border width of `css` CSS pixels in device pixels at `zoom`.
float DeviceBorder(float css, float zoom) { return SnapBorder(css * zoom, zoom); }

// The spacing between a table's cells, zoomed: browsers keep it in whole
// pixels, dropping the fraction.
float SnapSpacing(float w, float zoom) { return zoom == 1 ? w : std::floor(w); }

// A border width: a length or thin, medium, thick.
std::optional<float> BorderWidth(std::string_view v, float fontSize, float zoom = 1) {
    if (v == "thin") return DeviceBorder(1, zoom);
    if (v == "medium") return DeviceBorder(3, zoom);
    if (v == "thick") return DeviceBorder(5, zoom);
    if (auto l = ParseLength(v, fontSize, zoom); l && l->unit == Length::Px)
        return SnapBorder(std::max(0.0f, l->value), zoom);
    return std::nullopt;
}

bool ApplyRepeat(BackgroundImage& b, std::string_view word) {
    if (word == "repeat") b.repeatX = b.repeatY = true;
    else if (word == "no-repeat") b.repeatX = b.repeatY = false;
    else if (word == "repeat-x") b.repeatX = true, b.repeatY = false;
    else if (word == "repeat-y") b.repeatX = false, b.repeatY = true;
    else return false;
    return true;
}

// background-position from its words: keywords and lengths, one or two.
void ApplyPosition(BackgroundImage& b, const std::vector<std::string>& words, float fontSize, float zoom) {
    std::optional<Length> x, y;
    std::vector<Length> plain;  // lengths and "center", in order
    for (const std::string& w : words) {
        if (w == "left") x = Length{Length::Percent, 0};
        else if (w == "right") x = Length{Length::Percent, 100};
        else if (w == "top") y = Length{Length::Percent, 0};
        else if (w == "bottom") y = Length{Length::Percent, 100};
        else if (w == "center") plain.push_back(Length{Length::Percent, 50});
        else if (auto l = ParseLength(w, fontSize, zoom); l && !l->IsAuto()) plain.push_back(*l);
    }
    std::size_t next = 0;
    if (!x && next < plain.size()) x = plain[next++];
    if (!y && next < plain.size()) y = plain[next++];
    b.x = x.value_or(Length{Length::Percent, 50});
    b.y = y.value_or(Length{Length::Percent, 50});
    if (!x && !y && plain.empty()) b.x = b.y = Length{Length::Percent, 0};
}

// ---- The properties ---------------------------------------------------------
//
// Every property the view knows, by name: how its value is read and which
// field of the computed style it sets. A shorthand is read into its
// longhands, each of them a property of the same table, when the
// declarations are read. The cascade applies the declarations twice: first
// the font size and colour (what "em" and a border's default colour depend
// on), then everything else against them.

struct Context {
    const Style& parent;
    bool early;  // the first pass: font size and colour only
};

// `value` as declared, `lv` the same trimmed and in lower case.
using ApplyFn = void (*)(Style& s, std::string_view value, const std::string& lv, const Context& c);

enum class Phase : std::uint8_t { Early, Late };

struct Property;

// A declaration the view knows, ready for the cascade: a longhand and its value.
struct Known {
    const Property* property;
    std::string value;
    std::string lower;  // trimmed, in lower case
    bool important = false;
};

// Where a shorthand puts its longhands.
struct Longhands {
    std::vector<Known>& out;
    bool important;
    void Set(std::string_view name, std::string_view value);
};

// A shorthand's reading of its value; nothing when the value is invalid.
using ExpandFn = void (*)(std::string_view value, Longhands& out);

struct Property {
    std::string_view name;
    Phase phase;
    ApplyFn apply;             // a longhand
    ExpandFn expand = nullptr;  // a shorthand
};

const Property* FindProperty(std::string_view name);

void Longhands::Set(std::string_view name, std::string_view value) {
    if (const Property* p = FindProperty(name))
        out.push_back({p, std::string(value), AsciiLowered(TrimSpaceAndControls(value)), important});
}

#define MOJIAN_APPLY \
    +[]([[maybe_unused]] Style& s, [[maybe_unused]] std::string_view v, [[maybe_unused]] const std::string& lv, \
        [[maybe_unused]] const Context& c)

// The four sides from one to four values, as margin and its kin write them.
template <typename T>
bool FourSides(const std::vector<T>& values, T out[4]) {
    if (values.empty() || values.size() > 4) return false;
    static constexpr std::size_t kPick[4][4] = {{0, 0, 0, 0}, {0, 1, 0, 1}, {0, 1, 2, 1}, {0, 1, 2, 3}};
    for (int i = 0; i < 4; ++i) out[i] = values[kPick[values.size() - 1][i]];
    return true;
}

using SideNames = std::string_view[4];
constexpr SideNames kMargins = {"margin-top", "margin-right", "margin-bottom", "margin-left"};
constexpr SideNames kPaddings = {"padding-top", "padding-right", "padding-bottom", "padding-left"};
constexpr SideNames kBorderWidths = {"border-top-width", "border-right-width", "border-bottom-width", "border-left-width"};
constexpr SideNames kBorderStyles = {"border-top-style", "border-right-style", "border-bottom-style", "border-left-style"};
constexpr SideNames kBorderColors = {"border-top-color", "border-right-color", "border-bottom-color", "border-left-color"};

void SideShorthand(const SideNames& names, std::string_view value, Longhands& out) {
    std::vector<std::string_view> words = css::Words(value);
    std::string_view sides[4];
    if (!FourSides(words, sides)) return;
    for (int i = 0; i < 4; ++i) out.Set(names[i], sides[i]);
}

// Whether a shorthand's word is valid does not depend on the font size;
// its longhands are resolved against the element's when they are applied.
constexpr float kAnyFontSize = 16;

template <int Side>
void MarginSide(Style& s, std::string_view, const std::string& lv, const Context&) {
    if (lv == "auto") s.margin[Side] = Length{};
    else if (auto l = ParseLength(lv, s.fontSize, s.zoom); l && !l->IsAuto()) s.margin[Side] = *l;
}

template <int Side>
void PaddingSide(Style& s, std::string_view, const std::string& lv, const Context&) {
    if (auto l = ParseLength(lv, s.fontSize, s.zoom); l && !l->IsAuto())
        s.padding[Side] = std::max(0.0f, l->unit == Length::Px ? l->value : 0.0f);
}

// margin and padding: an invalid word drops the whole declaration.
void BoxShorthand(const SideNames& names, std::string_view value, bool autoAllowed, Longhands& out) {
    for (std::string_view w : css::Words(value)) {
        const auto l = ParseLength(w, kAnyFontSize);
        if (!l || (l->IsAuto() && !autoAllowed)) return;
    }
    SideShorthand(names, value, out);
}

template <int Side>
void BorderWidthSide(Style& s, std::string_view, const std::string& lv, const Context&) {
    if (const auto w = BorderWidth(lv, s.fontSize, s.zoom)) s.border[Side].declaredWidth = *w;
    s.border[Side].Update();
}

template <int Side>
void BorderStyleSide(Style& s, std::string_view, const std::string& lv, const Context&) {
    if (IsBorderStyle(lv)) s.border[Side].styled = true;
    else if (lv == "none" || lv == "hidden") s.border[Side].styled = false;
    s.border[Side].Update();
}

template <int Side>
void BorderColorSide(Style& s, std::string_view v, const std::string& lv, const Context&) {
    if (lv == "currentcolor") s.border[Side].color = s.color;
    else if (const auto col = ParseColor(v)) s.border[Side].color = *col;
}

// The lists of border-width, -style and -color: dropped whole when one is invalid.
bool ValidBorderWords(std::string_view what, std::string_view value) {
    for (std::string_view w : css::Words(value)) {
        const std::string lw = AsciiLowered(w);
        if (what == "-width" ? !BorderWidth(lw, kAnyFontSize)
            : what == "-style" ? !IsBorderStyle(lw) && lw != "none" && lw != "hidden"
                               : lw != "currentcolor" && !ParseColor(w))
            return false;
    }
    return true;
}

// border, border-top...: width, style and colour in any order, each back to
// its initial value when left out; words it cannot read are passed over.
void BorderShorthand(int only, std::string_view value, Longhands& out) {
    std::string width = "medium", style = "none", color = "currentcolor";
    for (std::string_view t : css::Words(value)) {
        const std::string lt = AsciiLowered(t);
        if (lt == "none" || lt == "hidden" || IsBorderStyle(lt)) style = lt;
        else if (BorderWidth(lt, kAnyFontSize)) width = lt;
        else if (ParseColor(t)) color = std::string(t);
    }
    for (int i = 0; i < 4; ++i) {
        if (only >= 0 && i != only) continue;
        out.Set(kBorderWidths[i], width);
        out.Set(kBorderStyles[i], style);
        out.Set(kBorderColors[i], color);
    }
}

template <int Side>
void BorderSideShorthand(std::string_view v, Longhands& out) {
    BorderShorthand(Side, v, out);
}

// background: colour, picture, repeat, position and "/ size", each back
// to its initial value when left out.
void BackgroundShorthand(std::string_view value, Longhands& out) {
    std::string color = "transparent", image = "none", repeat = "repeat", position, size;
    bool sizing = false;  // after the slash: the words of the size
    const auto placeWord = [&](std::string_view w) {
        if (w.empty()) return;
        std::string& into = sizing ? size : position;
        into += (into.empty() ? "" : " ") + std::string(w);
    };
    for (std::string_view t : css::Words(value)) {
        const std::string w = AsciiLowered(t);
        if (w.rfind("url(", 0) == 0) image = std::string(t);
        else if (w == "repeat" || w == "no-repeat" || w == "repeat-x" || w == "repeat-y") repeat = w, sizing = false;
        else if (w == "none" || w == "transparent" || w == "scroll" || w == "fixed" || w == "local") continue;
        else if (ParseColor(t)) color = std::string(t), sizing = false;
        else if (const std::size_t slash = w.find('/'); slash != std::string::npos) {
            placeWord(std::string_view(w).substr(0, slash));
            sizing = true;
            placeWord(std::string_view(w).substr(slash + 1));
        } else {
            placeWord(w);
        }
    }
    out.Set("background-color", color);
    out.Set("background-image", image);
    out.Set("background-repeat", repeat);
    out.Set("background-position", position.empty() ? "0% 0%" : position);
    out.Set("background-size", size.empty() ? "auto" : size);
}

// background-size: cover, contain, or a width and an optional height.
void ApplySize(BackgroundImage& b, std::string_view value, float fontSize, float zoom) {
    std::vector<std::string> words;
    for (std::string_view w : css::Words(value)) words.emplace_back(w);
    if (words.size() == 1 && words[0] == "cover") {
        b.size = BackgroundImage::Size::Cover;
        return;
    }
    if (words.size() == 1 && words[0] == "contain") {
        b.size = BackgroundImage::Size::Contain;
        return;
    }
    if (words.empty() || words.size() > 2) return;  // not a size: the declaration is dropped
    std::optional<Length> lengths[2];
    for (std::size_t i = 0; i < words.size(); ++i) {
        lengths[i] = ParseLength(words[i], fontSize, zoom);
        if (!lengths[i] || (!lengths[i]->IsAuto() && lengths[i]->value < 0)) return;
    }
    const Length w = *lengths[0], h = lengths[1].value_or(Length{});
    b.size = w.IsAuto() && h.IsAuto() ? BackgroundImage::Size::Natural : BackgroundImage::Size::Lengths;
    b.width = w;
    b.height = h;
}

// The font shorthand: [style] [variant] [weight] size[/line-height] family,
// the parts it leaves out back to normal; without a size and a family it is
// dropped.
void FontShorthand(std::string_view value, Longhands& out) {
    std::size_t i = 0;
    std::string style = "normal", weight = "normal";
    while (i < value.size()) {
        while (i < value.size() && static_cast<unsigned char>(value[i]) <= ' ') ++i;
        const std::size_t start = i;
        while (i < value.size() && static_cast<unsigned char>(value[i]) > ' ' && value[i] != ',') ++i;
        if (i == start) break;
        const std::string word = AsciiLowered(value.substr(start, i - start));
        const std::size_t slash = word.find('/');
        const std::string size = word.substr(0, slash);
        float n;
        std::string_view unit;
        const bool isSize = FontSizeKeyword(size, kAnyFontSize) > 0 ||
                            (ParseNumber(size, n, unit) && !unit.empty() && ParseLength(size, kAnyFontSize));
        if (!isSize) {
            if (word == "italic" || word == "oblique") style = word;
            else if (word == "bold" || word == "bolder" || word == "lighter" || ParseNumber(word, n, unit)) weight = word;
            continue;
        }
        const std::string_view family = TrimSpaceAndControls(value.substr(i));
        if (family.empty()) return;
        out.Set("font-size", size);
        out.Set("font-style", style);
        out.Set("font-weight", weight);
        out.Set("line-height", slash != std::string::npos ? std::string_view(word).substr(slash + 1) : "normal");
        out.Set("font-family", family);
        return;
    }
}

// One of width, height and their minimums and maximums.
template <Length Style::*Field, bool IsMax>
void SizeProperty(Style& s, std::string_view, const std::string& lv, const Context&) {
    if (lv == "none" && IsMax) s.*Field = Length{};
    else if (lv == "auto" && !IsMax) s.*Field = Length{Length::Px, 0};
    else if (auto l = ParseLength(lv, s.fontSize, s.zoom); l && !l->IsAuto() && l->value >= 0) s.*Field = *l;
}

template <Length Style::*Field>
void WidthOrHeight(Style& s, std::string_view, const std::string& lv, const Context&) {
    if (auto l = ParseLength(lv, s.fontSize, s.zoom); l && l->value >= 0) s.*Field = *l;
}

template <float Style::*Field>
void Spacing(Style& s, std::string_view, const std::string& lv, const Context&) {
    if (auto l = ParseLength(lv, s.fontSize, s.zoom); l && l->unit == Length::Px) s.*Field = l->value;
    else if (lv == "normal") s.*Field = 0;
}

std::vector<Property> MakeProperties() {
    std::vector<Property> p = {
        {"color", Phase::Early, MOJIAN_APPLY {
            if (auto col = ParseColor(v)) s.color = *col;
        }},
        {"font-size", Phase::Early, MOJIAN_APPLY {
            const float k = FontSizeKeyword(lv, c.parent.fontSize, s.zoom);
            if (k > 0) s.fontSize = k;
            else if (auto l = ParseLength(v, c.parent.fontSize, s.zoom); l && !l->IsAuto() && l->value >= 0)
                s.fontSize = l->Resolve(c.parent.fontSize);  // 0 too: spacer cells hide their &nbsp; that way
        }},
        {"font", Phase::Late, nullptr, FontShorthand},
        {"font-family", Phase::Late, MOJIAN_APPLY {
            const std::u16string f = FamilyList(v);
            if (!f.empty()) s.fontFamily = f;
        }},
        {"font-weight", Phase::Late, MOJIAN_APPLY {
            float w;
            std::string_view unit;
            if (lv == "bold" || lv == "bolder") s.bold = true;
            else if (lv == "normal" || lv == "lighter") s.bold = false;
            else if (ParseNumber(lv, w, unit)) s.bold = w >= 600;
        }},
        {"font-style", Phase::Late, MOJIAN_APPLY { s.italic = lv == "italic" || lv == "oblique"; }},
        {"text-decoration", Phase::Late, nullptr, +[](std::string_view v, Longhands& out) {
            out.Set("text-decoration-line", v);
        }},
        {"text-decoration-line", Phase::Late, MOJIAN_APPLY {
            if (lv.find("none") != std::string::npos) s.underline = s.strike = false;
            if (lv.find("underline") != std::string::npos) s.underline = true;
            if (lv.find("line-through") != std::string::npos) s.strike = true;
        }},
        {"text-align", Phase::Late, MOJIAN_APPLY {
            s.alignBlocks = lv.rfind("-webkit-", 0) == 0;
            if (lv == "center" || lv == "-webkit-center") s.textAlign = TextAlign::Center;
            else if (lv == "right" || lv == "-webkit-right") s.textAlign = TextAlign::Right;
            else if (lv == "left" || lv == "-webkit-left") s.textAlign = TextAlign::Left;
            else if (lv == "start" || lv == "justify" || lv == "-webkit-auto") s.textAlign = TextAlign::Start;
            else if (lv == "end") s.textAlign = s.rtl ? TextAlign::Left : TextAlign::Right;
        }},
        {"direction", Phase::Late, MOJIAN_APPLY {
            if (lv == "rtl") s.rtl = true;
            else if (lv == "ltr") s.rtl = false;
        }},
        {"vertical-align", Phase::Late, MOJIAN_APPLY {
            if (lv == "top" || lv == "text-top") s.verticalAlign = VAlign::Top;
            else if (lv == "middle") s.verticalAlign = VAlign::Middle;
            else if (lv == "bottom" || lv == "text-bottom") s.verticalAlign = VAlign::Bottom;
            else if (lv == "sub") s.verticalAlign = VAlign::Sub;
            else if (lv == "super") s.verticalAlign = VAlign::Super;
            else s.verticalAlign = VAlign::Baseline;
        }},
        {"line-height", Phase::Late, MOJIAN_APPLY {
            float n;
            std::string_view unit;
            if (lv == "normal") {
                s.lineHeight = s.lineHeightNumber = -1;
            } else if (ParseNumber(lv, n, unit) && n >= 0) {
                if (unit.empty()) {
                    s.lineHeightNumber = n;  // its pixels are worked out once the style is complete
                } else if (unit == "%") {
                    s.lineHeight = n * s.fontSize / 100;
                    s.lineHeightNumber = -1;
                } else if (auto l = ParseLength(lv, s.fontSize, s.zoom); l && l->unit == Length::Px) {
                    s.lineHeight = l->value;
                    s.lineHeightNumber = -1;
                }
            }
        }},
        {"letter-spacing", Phase::Late, Spacing<&Style::letterSpacing>},
        {"border-radius", Phase::Late, MOJIAN_APPLY {
            const std::string first = lv.substr(0, lv.find_first_of(" /"));
            if (auto l = ParseLength(first, s.fontSize, s.zoom); l && !l->IsAuto() && l->value >= 0) s.borderRadius = *l;
        }},
        {"word-spacing", Phase::Late, Spacing<&Style::wordSpacing>},
        {"text-transform", Phase::Late, MOJIAN_APPLY {
            if (lv == "uppercase") s.textTransform = Style::Transform::Upper;
            else if (lv == "lowercase") s.textTransform = Style::Transform::Lower;
            else if (lv == "capitalize") s.textTransform = Style::Transform::Capitalize;
            else if (lv == "none") s.textTransform = Style::Transform::None;
        }},
        {"white-space", Phase::Late, MOJIAN_APPLY { s.noWrap = lv == "nowrap" || lv == "pre"; }},
        {"width", Phase::Late, WidthOrHeight<&Style::width>},
        {"height", Phase::Late, WidthOrHeight<&Style::height>},
        {"min-width", Phase::Late, SizeProperty<&Style::minWidth, false>},
        {"max-width", Phase::Late, SizeProperty<&Style::maxWidth, true>},
        {"min-height", Phase::Late, SizeProperty<&Style::minHeight, false>},
        {"max-height", Phase::Late, SizeProperty<&Style::maxHeight, true>},
        {"display", Phase::Late, MOJIAN_APPLY {
            if (lv == "block" || lv == "flex" || lv == "grid" || lv == "-webkit-box") s.display = Display::Block;
            else if (lv == "inline") s.display = Display::Inline;
            else if (lv == "inline-block" || lv == "inline-flex" || lv == "inline-table") s.display = Display::InlineBlock;
            else if (lv == "none") s.display = Display::None;
            else if (lv == "table") s.display = Display::Table;
            else if (lv == "table-row-group" || lv == "table-header-group" || lv == "table-footer-group")
                s.display = Display::RowGroup;
            else if (lv == "table-row") s.display = Display::Row;
            else if (lv == "table-cell") s.display = Display::Cell;
            else if (lv == "list-item") s.display = Display::ListItem;
        }},
        {"border-collapse", Phase::Late, MOJIAN_APPLY { s.collapseBorders = lv == "collapse"; }},
        {"border-spacing", Phase::Late, MOJIAN_APPLY {
            const auto words = css::Words(lv);
            if (auto l = ParseLength(words.empty() ? lv : words.front(), s.fontSize, s.zoom); l && l->unit == Length::Px)
                s.cellSpacing = SnapSpacing(std::max(0.0f, l->value), s.zoom);
        }},
        {"box-sizing", Phase::Late, MOJIAN_APPLY {
            if (lv == "border-box") s.borderBox = true;
            else if (lv == "content-box") s.borderBox = false;
        }},
        {"clear", Phase::Late, MOJIAN_APPLY {
            s.clear = lv == "left" ? Clear::Left : lv == "right" ? Clear::Right : lv == "both" ? Clear::Both : Clear::None;
        }},
        {"float", Phase::Late, MOJIAN_APPLY {
            s.floating = lv == "left" ? Float::Left : lv == "right" ? Float::Right : Float::None;
        }},
        {"overflow", Phase::Late, MOJIAN_APPLY { s.overflowHidden = lv == "hidden" || lv == "auto" || lv == "scroll"; }},
        {"overflow-y", Phase::Late, MOJIAN_APPLY { s.overflowHidden = lv == "hidden" || lv == "auto" || lv == "scroll"; }},
        {"margin", Phase::Late, nullptr, +[](std::string_view v, Longhands& out) { BoxShorthand(kMargins, v, true, out); }},
        {"margin-top", Phase::Late, MarginSide<0>},
        {"margin-right", Phase::Late, MarginSide<1>},
        {"margin-bottom", Phase::Late, MarginSide<2>},
        {"margin-left", Phase::Late, MarginSide<3>},
        {"padding", Phase::Late, nullptr, +[](std::string_view v, Longhands& out) { BoxShorthand(kPaddings, v, false, out); }},
        {"padding-top", Phase::Late, PaddingSide<0>},
        {"padding-right", Phase::Late, PaddingSide<1>},
        {"padding-bottom", Phase::Late, PaddingSide<2>},
        {"padding-left", Phase::Late, PaddingSide<3>},
        {"border", Phase::Late, nullptr, +[](std::string_view v, Longhands& out) { BorderShorthand(-1, v, out); }},
        {"border-top", Phase::Late, nullptr, BorderSideShorthand<0>},
        {"border-right", Phase::Late, nullptr, BorderSideShorthand<1>},
        {"border-bottom", Phase::Late, nullptr, BorderSideShorthand<2>},
        {"border-left", Phase::Late, nullptr, BorderSideShorthand<3>},
        {"border-width", Phase::Late, nullptr, +[](std::string_view v, Longhands& out) {
            if (ValidBorderWords("-width", v)) SideShorthand(kBorderWidths, v, out);
        }},
        {"border-style", Phase::Late, nullptr, +[](std::string_view v, Longhands& out) {
            if (ValidBorderWords("-style", v)) SideShorthand(kBorderStyles, v, out);
        }},
        {"border-color", Phase::Late, nullptr, +[](std::string_view v, Longhands& out) {
            if (ValidBorderWords("-color", v)) SideShorthand(kBorderColors, v, out);
        }},
        {"border-top-width", Phase::Late, BorderWidthSide<0>},
        {"border-right-width", Phase::Late, BorderWidthSide<1>},
        {"border-bottom-width", Phase::Late, BorderWidthSide<2>},
        {"border-left-width", Phase::Late, BorderWidthSide<3>},
        {"border-top-style", Phase::Late, BorderStyleSide<0>},
        {"border-right-style", Phase::Late, BorderStyleSide<1>},
        {"border-bottom-style", Phase::Late, BorderStyleSide<2>},
        {"border-left-style", Phase::Late, BorderStyleSide<3>},
        {"border-top-color", Phase::Late, BorderColorSide<0>},
        {"border-right-color", Phase::Late, BorderColorSide<1>},
        {"border-bottom-color", Phase::Late, BorderColorSide<2>},
        {"border-left-color", Phase::Late, BorderColorSide<3>},
        {"background", Phase::Late, nullptr, BackgroundShorthand},
        {"background-color", Phase::Late, MOJIAN_APPLY {
            if (lv == "transparent") s.background.reset();
            else if (auto col = ParseColor(v)) s.background = *col;
        }},
        {"background-image", Phase::Late, MOJIAN_APPLY {
            const std::vector<std::string> urls = css::Urls(v);
            s.backgroundImage.url = urls.empty() ? std::string() : urls.front();
        }},
        {"background-repeat", Phase::Late, MOJIAN_APPLY { ApplyRepeat(s.backgroundImage, lv); }},
        {"background-position", Phase::Late, MOJIAN_APPLY {
            std::vector<std::string> words;
            for (std::string_view w : css::Words(lv)) words.emplace_back(w);
            ApplyPosition(s.backgroundImage, words, s.fontSize, s.zoom);
        }},
        {"background-size", Phase::Late, MOJIAN_APPLY { ApplySize(s.backgroundImage, lv, s.fontSize, s.zoom); }},
        {"list-style-type", Phase::Late, MOJIAN_APPLY {
            if (lv.find("decimal") != std::string::npos) s.orderedList = true;
            else if (lv.find("disc") != std::string::npos || lv.find("circle") != std::string::npos) s.orderedList = false;
        }},
        {"list-style", Phase::Late, nullptr, +[](std::string_view v, Longhands& out) { out.Set("list-style-type", v); }},
    };
    return p;
}

#undef MOJIAN_APPLY

const Property* FindProperty(std::string_view name) {
    static const std::vector<Property> properties = MakeProperties();
    static const std::unordered_map<std::string_view, const Property*> byName = [] {
        std::unordered_map<std::string_view, const Property*> m;
        for (const Property& p : properties) m.emplace(p.name, &p);
        return m;
    }();
    const auto it = byName.find(name);
    return it == byName.end() ? nullptr : it->second;
}

void Run(const Known& d, Style& s, const Context& c) {
    if ((d.property->phase == Phase::Early) == c.early) d.property->apply(s, d.value, d.lower, c);
}

// The longhands the view knows of a style attribute's declarations.
std::vector<Known> KnownDeclarations(std::string_view css) {
    std::vector<css::Declaration> declarations = css::ParseDeclarations(css);
    std::vector<Known> out;
    out.reserve(declarations.size() + 4);
    for (css::Declaration& d : declarations) {
        const Property* p = FindProperty(d.property);
        if (!p) continue;
        if (p->expand) {
            Longhands longhands{out, d.important};
            p->expand(d.value, longhands);
        } else {
            std::string lower = AsciiLowered(d.value);
            out.push_back({p, std::move(d.value), std::move(lower), d.important});
        }
    }
    return out;
}

// A style attribute's longhands. Pages repeat the same style attributes
// over and over (every cell of a table, every block of a description), and
// each page is styled again at every change: what was read is kept, up to a
// bound, for every thread that styles (the window's, the live check's).
// Not thread_local: MinGW's runtime runs a thread_local's destructor after
// the thread's own storage is gone, which corrupted the heap whenever a
// thread that had styled a page ended.
using KnownList = std::shared_ptr<const std::vector<Known>>;
KnownList InlineDeclarations(const std::string& css) {
    static std::mutex mutex;
    static std::unordered_map<std::string, KnownList> read;
    {
        const std::lock_guard lock(mutex);
        if (const auto it = read.find(css); it != read.end()) return it->second;
    }
    auto made = std::make_shared<const std::vector<Known>>(KnownDeclarations(css));
    const std::lock_guard lock(mutex);
    if (read.size() >= 2048) read.clear();  // a list handed out lives on with its holder
    read.emplace(css, made);
    return made;
}

// ---- The browser's own style sheet ------------------------------------------
//
// What browsers give the elements seller HTML uses, by tag name. What
// depends on more than the tag (links, nested lists, cells inside their
// table) is in UserAgentContext below.

struct UserAgentRule {
    const char* tags;  // separated by spaces
    const char* css;
};

constexpr UserAgentRule kUserAgentSheet[] = {
    {"body div center form address section article header footer nav aside figure blockquote pre dl dd dt "
     "fieldset main p h1 h2 h3 h4 h5 h6 ul ol menu dir hr caption", "display:block"},
    {"center", "text-align:-webkit-center"},
    {"blockquote", "margin:1em 40px"},
    {"dl", "margin:1em 0"},
    {"dd", "margin-left:40px"},
    {"pre", "margin:1em 0; white-space:pre"},
    {"p", "margin:1em 0"},
    {"h1", "font-weight:bold; font-size:2em; margin:0.67em 0"},
    {"h2", "font-weight:bold; font-size:1.5em; margin:0.83em 0"},
    {"h3", "font-weight:bold; font-size:1.17em; margin:1em 0"},
    {"h4", "font-weight:bold; font-size:1em; margin:1.33em 0"},
    {"h5", "font-weight:bold; font-size:0.83em; margin:1.67em 0"},
    {"h6", "font-weight:bold; font-size:0.67em; margin:2.33em 0"},
    {"ul menu dir", "margin:1em 0; padding-left:40px; list-style-type:disc"},
    {"ol", "margin:1em 0; padding-left:40px; list-style-type:decimal"},
    {"li", "display:list-item"},
    {"hr", "margin:0.5em auto; border-style:solid; border-width:1px; border-color:#9a9a9a #eeeeee #eeeeee #9a9a9a"},
    {"table", "display:table; vertical-align:middle; border-spacing:2px"},
    {"tbody thead tfoot", "display:table-row-group; vertical-align:middle"},
    {"tr", "display:table-row; vertical-align:middle"},
    {"td th", "display:table-cell"},
    {"th", "font-weight:bold; text-align:-webkit-center"},
    {"caption", "text-align:center"},
    {"strong b", "font-weight:bold"},
    {"em i cite var dfn", "font-style:italic"},
    {"u ins", "text-decoration:underline"},
    {"s strike del", "text-decoration:line-through"},
    {"small", "font-size:smaller"},
    {"big", "font-size:larger"},
    {"sub sup", "font-size:0.83em"},
    {"input button select textarea iframe object embed video", "display:inline-block"},
    {"nobr", "white-space:nowrap"},
    {"col colgroup map area noscript template param source track option datalist", "display:none"},
};

const std::vector<Known>* UserAgentDeclarations(const std::string& tag) {
    static const std::unordered_map<std::string, std::vector<Known>> sheet = [] {
        std::unordered_map<std::string, std::vector<Known>> m;
        for (const UserAgentRule& r : kUserAgentSheet) {
            const std::vector<Known> decls = KnownDeclarations(r.css);
            for (std::string_view name : css::Words(r.tags)) {
                std::vector<Known>& list = m[std::string(name)];
                list.insert(list.end(), decls.begin(), decls.end());
            }
        }
        return m;
    }();
    const auto it = sheet.find(tag);
    return it == sheet.end() ? nullptr : &it->second;
}

// The browser's rules that look past the tag name.
void UserAgentContext(Style& s, const Node& e, const Style& parent, float bodyMargin, bool early) {
    const std::string& t = e.tag;
    if (t == "a" && e.Attr("href")) {
        if (early) s.color = 0x0000ee;
        else s.underline = true;
    } else if (t == "table") {
        // Alignment from align= and <center> stops at a table; old documents
        // also give a table the default font size, weight, style, line
        // height, wrapping and alignment, whatever is around it.
        if (early) {
            if (s.quirks) s.fontSize = 16 * s.zoom;
            return;
        }
        if (s.alignBlocks) {
            s.textAlign = TextAlign::Start;
            s.alignBlocks = false;
        }
        if (s.quirks) {
            s.bold = s.italic = false;
            s.lineHeight = s.lineHeightNumber = -1;
            s.noWrap = false;
            s.textAlign = TextAlign::Start;
        }
        s.tableCellPadding = s.zoom;
        s.tableCellBorder = false;
    } else if (early) {
        return;
    } else if (t == "body") {
        for (auto& m : s.margin) m = Length{Length::Px, bodyMargin};
    } else if (t == "ul" || t == "ol" || t == "menu" || t == "dir") {
        if (parent.display == Display::ListItem) s.margin[0] = s.margin[2] = Length{Length::Px, 0};
    } else if (t == "td" || t == "th") {
        s.verticalAlign = parent.verticalAlign == VAlign::Baseline ? VAlign::Middle : parent.verticalAlign;
        for (float& p : s.padding) p = parent.tableCellPadding;
        if (parent.tableCellBorder)
            for (auto& b : s.border) b = BorderSide{DeviceBorder(1, s.zoom), 0x808080};
    }
}

// ---- Presentational attributes ----------------------------------------------
//
// The old attributes as browsers map them onto the style: after the
// browser's sheet, before the style attribute.

float AttrNumber(const Node& e, std::string_view name, float fallback) {
    const std::string* v = e.Attr(name);
    float f;
    std::string_view unit;
    if (v && ParseNumber(TrimSpaceAndControls(*v), f, unit)) return f;
    return fallback;
}

std::optional<Length> AttrLength(const Node& e, std::string_view name, float zoom) {
    const std::string* v = e.Attr(name);
    if (!v) return std::nullopt;
    float f;
    std::string_view unit;
    if (!ParseNumber(TrimSpaceAndControls(*v), f, unit) || f < 0) return std::nullopt;
    if (unit.rfind("%", 0) == 0) return Length{Length::Percent, f};
    if (f == 0 && name == "width") return std::nullopt;  // width="0" means auto to browsers
    return Length{Length::Px, f * zoom};
}

// A body margin attribute, in pixels.
Length AttrMargin(const Style& s, const Node& e, std::string_view name) {
    return Length{Length::Px, std::max(0.0f, AttrNumber(e, name, 0)) * s.zoom};
}

std::string LowerTrimmed(const std::string& v) { return AsciiLowered(TrimSpaceAndControls(v)); }

void AlignAttr(Style& s, const Node&, const std::string& value) {
    const std::string v = LowerTrimmed(value);
    if (v == "center" || v == "middle") s.textAlign = TextAlign::Center;
    else if (v == "right") s.textAlign = TextAlign::Right;
    else if (v == "left") s.textAlign = TextAlign::Left;
    else return;
    s.alignBlocks = true;
}

void BackgroundColorAttr(Style& s, const Node&, const std::string& value) {
    if (auto col = ParseColor(value)) s.background = *col;
}

using AttrFn = void (*)(Style& s, const Node& e, const std::string& value);

struct AttributeRule {
    const char* attribute;
    const char* tags;  // separated by spaces
    bool early;        // sets the font size or colour
    AttrFn apply;
};

#define MOJIAN_ATTR +[]([[maybe_unused]] Style& s, [[maybe_unused]] const Node& e, [[maybe_unused]] const std::string& v)

const AttributeRule kAttributeRules[] = {
    {"width", "table td th hr", false, MOJIAN_ATTR {
        if (auto w = AttrLength(e, "width", s.zoom)) s.width = *w;
    }},
    {"width", "img", false, MOJIAN_ATTR {
        // Both attributes in pixels give the picture its proportions before it arrives.
        const auto w = AttrLength(e, "width", s.zoom), h = AttrLength(e, "height", s.zoom);
        if (w) s.width = *w;
        if (w && h && w->unit == Length::Px && h->unit == Length::Px && w->value > 0 && h->value > 0)
            s.aspectRatio = w->value / h->value;
    }},
    {"height", "table td th tr img", false, MOJIAN_ATTR {
        if (auto h = AttrLength(e, "height", s.zoom)) s.height = *h;
    }},
    {"border", "table", false, MOJIAN_ATTR {
        const float border = AttrNumber(e, "border", 1);
        if (border > 0) {
            for (auto& b : s.border) b = BorderSide{DeviceBorder(border, s.zoom), 0x808080};
            s.tableCellBorder = true;
        }
    }},
    {"border", "img", false, MOJIAN_ATTR {
        const float border = AttrNumber(e, "border", 0);
        if (border > 0)
            for (auto& b : s.border) b = BorderSide{DeviceBorder(border, s.zoom), s.color};
    }},
    {"cellspacing", "table", false, MOJIAN_ATTR {
        s.cellSpacing = SnapSpacing(std::max(0.0f, AttrNumber(e, "cellspacing", 2)) * s.zoom, s.zoom);
    }},
    {"cellpadding", "table", false, MOJIAN_ATTR {
        s.tableCellPadding = std::max(0.0f, AttrNumber(e, "cellpadding", 1)) * s.zoom;
    }},
    {"align", "table", false, MOJIAN_ATTR {
        const std::string a = LowerTrimmed(v);
        if (a == "center") {
            s.margin[1] = s.margin[3] = Length{};
            s.explicitAlign = true;
        } else if (a == "left" || a == "right") {
            s.floating = a == "left" ? Float::Left : Float::Right;
            s.explicitAlign = true;
        }
    }},
    {"align", "td th tr tbody thead tfoot div p h1 h2 h3 h4 h5 h6 hr caption", false, AlignAttr},
    {"align", "img", false, MOJIAN_ATTR {
        const std::string a = LowerTrimmed(v);
        if (a == "left") s.floating = Float::Left;
        else if (a == "right") s.floating = Float::Right;
        else if (a == "middle" || a == "absmiddle") s.verticalAlign = VAlign::Middle;
        else if (a == "top") s.verticalAlign = VAlign::Top;
    }},
    {"valign", "td th tr tbody thead tfoot", false, MOJIAN_ATTR {
        const std::string a = LowerTrimmed(v);
        if (a == "top") s.verticalAlign = VAlign::Top;
        else if (a == "bottom") s.verticalAlign = VAlign::Bottom;
        else if (a == "middle" || a == "center") s.verticalAlign = VAlign::Middle;
        else if (a == "baseline") s.verticalAlign = VAlign::Baseline;
    }},
    {"colspan", "td th", false, MOJIAN_ATTR {
        s.colSpan = std::clamp(static_cast<int>(AttrNumber(e, "colspan", 1)), 1, 1000);
    }},
    {"rowspan", "td th", false, MOJIAN_ATTR {
        s.rowSpan = std::clamp(static_cast<int>(AttrNumber(e, "rowspan", 1)), 0, 65534);
        if (s.rowSpan == 0) s.rowSpan = 1;
    }},
    {"nowrap", "td th", false, MOJIAN_ATTR { s.noWrap = true; }},
    {"color", "font", true, MOJIAN_ATTR {
        if (auto col = ParseColor(v)) s.color = *col;
    }},
    {"face", "font", false, MOJIAN_ATTR {
        const std::u16string family = FamilyList(v);
        if (!family.empty()) s.fontFamily = family;
    }},
    {"size", "font", true, MOJIAN_ATTR {
        static constexpr float kSizes[] = {10, 13, 16, 18, 24, 32, 48};
        const std::string_view z = TrimSpaceAndControls(v);
        float n;
        std::string_view unit;
        if (ParseNumber(z, n, unit)) {
            int level = static_cast<int>(n);
            if (!z.empty() && (z[0] == '+' || z[0] == '-')) level += 3;
            s.fontSize = kSizes[std::clamp(level, 1, 7) - 1] * s.zoom;
        }
    }},
    {"clear", "br", false, MOJIAN_ATTR {
        const std::string a = LowerTrimmed(v);
        s.clear = a == "left" ? Clear::Left : a == "right" ? Clear::Right : a == "all" || a == "both" ? Clear::Both
                                                                                                       : Clear::None;
    }},
    // The old margin attributes: marginwidth/marginheight and IE's leftmargin and the rest.
    {"marginheight", "body", false, MOJIAN_ATTR {
        if (!e.Attr("topmargin")) s.margin[0] = AttrMargin(s, e, "marginheight");
        if (!e.Attr("bottommargin")) s.margin[2] = AttrMargin(s, e, "marginheight");
    }},
    {"marginwidth", "body", false, MOJIAN_ATTR {
        if (!e.Attr("rightmargin")) s.margin[1] = AttrMargin(s, e, "marginwidth");
        if (!e.Attr("leftmargin")) s.margin[3] = AttrMargin(s, e, "marginwidth");
    }},
    {"topmargin", "body", false, MOJIAN_ATTR { s.margin[0] = AttrMargin(s, e, "topmargin"); }},
    {"rightmargin", "body", false, MOJIAN_ATTR { s.margin[1] = AttrMargin(s, e, "rightmargin"); }},
    {"bottommargin", "body", false, MOJIAN_ATTR { s.margin[2] = AttrMargin(s, e, "bottommargin"); }},
    {"leftmargin", "body", false, MOJIAN_ATTR { s.margin[3] = AttrMargin(s, e, "leftmargin"); }},
    {"text", "body", true, MOJIAN_ATTR {
        if (auto col = ParseColor(v)) s.color = *col;
    }},
    {"bgcolor", "table td th tr body", false, BackgroundColorAttr},
    {"background", "table td th tr body", false, MOJIAN_ATTR {
        if (!TrimSpaceAndControls(v).empty()) s.backgroundImage.url = std::string(TrimSpaceAndControls(v));
    }},
};

#undef MOJIAN_ATTR

// The rules of one attribute name, each for its tags.
using AttributeRules = std::unordered_map<std::string_view, std::vector<std::pair<std::string_view, const AttributeRule*>>>;

const AttributeRules& AttributeRulesByName() {
    static const AttributeRules rules = [] {
        AttributeRules m;
        for (const AttributeRule& r : kAttributeRules)
            for (std::string_view tag : css::Words(r.tags)) m[r.attribute].emplace_back(tag, &r);
        return m;
    }();
    return rules;
}

void ApplyAttributes(Style& s, const Node& e, bool early) {
    const AttributeRules& rules = AttributeRulesByName();
    for (const Attribute& a : e.attrs) {
        if (a.duplicate) continue;
        const auto it = rules.find(a.name);
        if (it == rules.end()) continue;
        for (const auto& [tag, rule] : it->second)
            if (rule->early == early && tag == e.tag) rule->apply(s, e, a.value);
    }
}

// ---- The cascade ------------------------------------------------------------

Style Compute(const Node& e, const Style& parent, float bodyMargin) {
    Style s;
    // Inherited properties.
    s.fontFamily = parent.fontFamily;
    s.fontSize = parent.fontSize;
    s.bold = parent.bold;
    s.italic = parent.italic;
    s.underline = parent.underline;
    s.strike = parent.strike;
    s.color = parent.color;
    s.textAlign = parent.textAlign;
    s.alignBlocks = parent.alignBlocks;
    s.lineHeight = parent.lineHeight;
    s.lineHeightNumber = parent.lineHeightNumber;
    s.letterSpacing = parent.letterSpacing;
    s.wordSpacing = parent.wordSpacing;
    s.textTransform = parent.textTransform;
    s.noWrap = parent.noWrap;
    s.orderedList = parent.orderedList;
    s.tableCellPadding = parent.tableCellPadding;
    s.tableCellBorder = parent.tableCellBorder;
    s.quirks = parent.quirks;
    s.zoom = parent.zoom;
    s.rtl = parent.rtl;
    s.cellSpacing = SnapSpacing(s.cellSpacing * s.zoom, s.zoom);
    for (auto& b : s.border) b.declaredWidth = DeviceBorder(b.declaredWidth, s.zoom);
    for (auto& m : s.margin) m = Length{Length::Px, 0};
    if (const std::string* dir = e.Attr("dir")) {
        const std::string d = LowerTrimmed(*dir);
        if (d == "rtl") s.rtl = true;
        else if (d == "ltr") s.rtl = false;
    }

    const std::vector<Known>* sheet = UserAgentDeclarations(e.tag);
    static const std::vector<Known> kNone;
    const std::string* css = e.Attr("style");
    const KnownList held = css ? InlineDeclarations(*css) : nullptr;
    const std::vector<Known>& inline_ = held ? *held : kNone;
    for (const bool early : {true, false}) {
        const Context c{parent, early};
        if (sheet)
            for (const Known& d : *sheet) Run(d, s, c);
        UserAgentContext(s, e, parent, bodyMargin, early);
        ApplyAttributes(s, e, early);
        for (const bool important : {false, true})
            for (const Known& d : inline_)
                if (d.important == important) Run(d, s, c);
    }
    // A bare number is inherited as itself: 1.5 under a 14px parent gives
    // 18px lines in 12px text, not the parent's 21px.
    if (s.lineHeightNumber >= 0) s.lineHeight = s.lineHeightNumber * s.fontSize;
    return s;
}

}  // namespace

std::optional<Color> ParseColor(std::string_view text) {
    const std::string v = AsciiLowered(TrimSpaceAndControls(text));
    if (v.empty()) return std::nullopt;
    if (v[0] == '#') return ParseHex(std::string_view(v).substr(1));
    if (v.rfind("rgb", 0) == 0) {
        const std::size_t open = v.find('('), close = v.find(')');
        if (open == std::string::npos || close == std::string::npos || close < open) return std::nullopt;
        std::vector<float> parts;
        std::size_t i = open + 1;
        while (i < close && parts.size() < 4) {
            std::size_t end = v.find_first_of(",/ ", i);
            if (end == std::string::npos || end > close) end = close;
            float f;
            std::string_view unit;
            if (ParseNumber(TrimSpaceAndControls(std::string_view(v).substr(i, end - i)), f, unit))
                parts.push_back(unit == "%" ? (parts.size() < 3 ? f * 2.55f : f / 100) : f);
            i = end + 1;
        }
        if (parts.size() < 3) return std::nullopt;
        Color c = 0;
        for (int k = 0; k < 3; ++k) c = (c << 8) | static_cast<Color>(std::lround(std::clamp(parts[k], 0.0f, 255.0f)));
        if (parts.size() == 4) {
            const float alpha = std::clamp(parts[3], 0.0f, 1.0f);
            if (alpha == 0) return std::nullopt;
            c = Blend(c, alpha);
        }
        return c;
    }
    for (const auto& n : kColors)
        if (v == n.name) return n.value;
    // Attributes often drop the "#": bgcolor="ff6600".
    if (v.size() == 6) return ParseHex(v);
    return std::nullopt;
}

std::optional<Length> ParseLength(std::string_view text, float fontSize, float zoom) {
    const std::string v = AsciiLowered(TrimSpaceAndControls(text));
    if (v == "auto") return Length{};
    float f;
    std::string_view unit;
    if (!ParseNumber(v, f, unit)) return std::nullopt;
    if (unit == "%") return Length{Length::Percent, f};
    if (unit == "em") return Length{Length::Px, f * fontSize};  // the font size is zoomed already
    float px;
    if (unit.empty() || unit == "px") px = f;
    else if (unit == "rem") px = f * 16.0f;
    else if (unit == "pt") px = f * 4.0f / 3.0f;
    else if (unit == "pc") px = f * 16.0f;
    else if (unit == "in") px = f * 96.0f;
    else if (unit == "cm") px = f * 96.0f / 2.54f;
    else if (unit == "mm") px = f * 96.0f / 25.4f;
    else return std::nullopt;
    return Length{Length::Px, px * zoom};
}

Style RootStyle(float zoom) {
    Style s;
    if (std::isfinite(zoom) && zoom > 0 && zoom != 1) {
        s.zoom = zoom;
        s.fontSize *= zoom;
        s.tableCellPadding *= zoom;
    }
    return s;
}

Style ComputeStyle(const Node& e, const Style& parent) { return Compute(e, parent, 8); }

Style ComputeBodyStyle(const Node& body, const Style& parent, float margin) { return Compute(body, parent, margin); }

}  // namespace mojian::html
