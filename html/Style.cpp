#include "html/Style.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "base/Text.h"
#include "base/Utf.h"
#include "html/FontChoice.h"

namespace mojian::html {

namespace {

// Splits at spaces outside parentheses: "1px solid rgb(1, 2, 3)".
std::vector<std::string_view> Tokens(std::string_view s) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (static_cast<unsigned char>(s[i]) <= ' ' || s[i] == ',')) ++i;
        const std::size_t start = i;
        int depth = 0;
        while (i < s.size() && (depth > 0 || (static_cast<unsigned char>(s[i]) > ' ' && s[i] != ','))) {
            if (s[i] == '(') ++depth;
            if (s[i] == ')' && depth > 0) --depth;
            ++i;
        }
        if (i > start) out.push_back(s.substr(start, i - start));
    }
    return out;
}

bool ParseNumber(std::string_view s, float& value, std::string_view& unit) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
    const std::size_t digits = i;
    while (i < s.size() && ((s[i] >= '0' && s[i] <= '9') || s[i] == '.')) ++i;
    if (i == digits) return false;
    const std::string number(s.substr(0, i));
    value = std::strtof(number.c_str(), nullptr);
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

float FontSizeKeyword(std::string_view v, float parent) {
    if (v == "xx-small") return 9;
    if (v == "x-small") return 10;
    if (v == "small") return 13;
    if (v == "medium") return 16;
    if (v == "large") return 18;
    if (v == "x-large") return 24;
    if (v == "xx-large") return 32;
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

// A border width: a length or thin, medium, thick.
std::optional<float> BorderWidth(std::string_view v, float fontSize) {
    if (v == "thin") return 1.0f;
    if (v == "medium") return 3.0f;
    if (v == "thick") return 5.0f;
    if (auto l = ParseLength(v, fontSize); l && l->unit == Length::Px) return std::max(0.0f, l->value);
    return std::nullopt;
}

// The border shorthands: width, style and colour in any order, each back
// to its initial value when left out.
void ApplyBorder(BorderSide& side, std::string_view value, float fontSize, Color current) {
    BorderSide b;
    b.color = current;
    for (std::string_view t : Tokens(value)) {
        const std::string lt = AsciiLowered(t);
        if (lt == "none" || lt == "hidden") b.styled = false;
        else if (IsBorderStyle(lt)) b.styled = true;
        else if (auto w = BorderWidth(lt, fontSize)) b.declaredWidth = *w;
        else if (auto c = ParseColor(t)) b.color = *c;
    }
    b.Update();
    side = b;
}

// The address inside "url(...)", quotes removed; empty when there is none.
std::string UrlOf(std::string_view v) {
    const std::string lv = AsciiLowered(v);
    const std::size_t at = lv.find("url(");
    if (at == std::string::npos) return {};
    std::size_t begin = at + 4;
    const std::size_t end = v.find(')', begin);
    if (end == std::string_view::npos) return {};
    std::string_view inner = TrimSpaceAndControls(v.substr(begin, end - begin));
    if (inner.size() >= 2 && (inner.front() == '"' || inner.front() == '\'') && inner.back() == inner.front())
        inner = inner.substr(1, inner.size() - 2);
    return std::string(TrimSpaceAndControls(inner));
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
void ApplyPosition(BackgroundImage& b, const std::vector<std::string>& words, float fontSize) {
    std::optional<Length> x, y;
    std::vector<Length> plain;  // lengths and "center", in order
    for (const std::string& w : words) {
        if (w == "left") x = Length{Length::Percent, 0};
        else if (w == "right") x = Length{Length::Percent, 100};
        else if (w == "top") y = Length{Length::Percent, 0};
        else if (w == "bottom") y = Length{Length::Percent, 100};
        else if (w == "center") plain.push_back(Length{Length::Percent, 50});
        else if (auto l = ParseLength(w, fontSize); l && !l->IsAuto()) plain.push_back(*l);
    }
    std::size_t next = 0;
    if (!x && next < plain.size()) x = plain[next++];
    if (!y && next < plain.size()) y = plain[next++];
    b.x = x.value_or(Length{Length::Percent, 50});
    b.y = y.value_or(Length{Length::Percent, 50});
    if (!x && !y && plain.empty()) b.x = b.y = Length{Length::Percent, 0};
}

void ApplyBackground(Style& s, const std::string& prop, std::string_view value) {
    const std::string lv = AsciiLowered(TrimSpaceAndControls(value));
    if (prop == "background-color") {
        if (lv == "transparent") s.background.reset();
        else if (auto c = ParseColor(value)) s.background = *c;
        return;
    }
    if (prop == "background-image") {
        s.backgroundImage.url = UrlOf(value);
        return;
    }
    if (prop == "background-repeat") {
        ApplyRepeat(s.backgroundImage, lv);
        return;
    }
    std::vector<std::string> words;
    for (std::string_view t : Tokens(value)) words.push_back(AsciiLowered(t));
    if (prop == "background-position") {
        ApplyPosition(s.backgroundImage, words, s.fontSize);
        return;
    }
    // The shorthand sets every part, to its initial value where it says nothing.
    BackgroundImage image;
    std::optional<Color> color;
    std::vector<std::string> position;
    for (std::string_view t : Tokens(value)) {
        const std::string w = AsciiLowered(t);
        if (w.rfind("url(", 0) == 0) image.url = UrlOf(t);
        else if (ApplyRepeat(image, w) || w == "none" || w == "transparent" || w == "scroll" || w == "fixed" ||
                 w == "local")
            continue;
        else if (auto c = ParseColor(t)) color = *c;
        else position.push_back(w);
    }
    if (!position.empty()) ApplyPosition(image, position, s.fontSize);
    s.backgroundImage = std::move(image);
    s.background = color;
}

void ApplyDeclaration(Style& s, const std::string& prop, std::string_view value, const Style& parent);

// The font shorthand: [style] [variant] [weight] size[/line-height] family, the
// parts it leaves out back to normal.
void ApplyFont(Style& s, std::string_view value, const Style& parent) {
    std::size_t i = 0;
    std::vector<std::string> before;
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
        const bool isSize = FontSizeKeyword(size, parent.fontSize) > 0 ||
                            (ParseNumber(size, n, unit) && !unit.empty() && ParseLength(size, parent.fontSize));
        if (!isSize) {
            before.push_back(word);
            continue;
        }
        const std::string_view family = TrimSpaceAndControls(value.substr(i));
        if (family.empty()) return;  // the family is required: an incomplete declaration is dropped
        s.italic = false;
        s.bold = false;
        s.lineHeight = -1;
        for (const std::string& w : before) ApplyDeclaration(s, w == "italic" || w == "oblique" ? "font-style" : "font-weight", w, parent);
        ApplyDeclaration(s, "font-size", size, parent);
        if (slash != std::string::npos) ApplyDeclaration(s, "line-height", word.substr(slash + 1), parent);
        ApplyDeclaration(s, "font-family", family, parent);
        return;
    }
}

void ApplyDeclaration(Style& s, const std::string& prop, std::string_view value, const Style& parent) {
    const std::string lv = AsciiLowered(TrimSpaceAndControls(value));
    const float fs = s.fontSize;
    auto length = [&](std::string_view v) { return ParseLength(v, fs); };
    if (prop == "color") {
        if (auto c = ParseColor(value)) s.color = *c;
    } else if (prop == "background" || prop == "background-color" || prop == "background-image" ||
               prop == "background-repeat" || prop == "background-position") {
        ApplyBackground(s, prop, value);
    } else if (prop == "font-size") {
        const float k = FontSizeKeyword(lv, parent.fontSize);
        if (k > 0) s.fontSize = k;
        else if (auto l = ParseLength(value, parent.fontSize); l && !l->IsAuto() && l->value >= 0)
            s.fontSize = l->Resolve(parent.fontSize);  // 0 too: spacer cells hide their &nbsp; that way
    } else if (prop == "font") {
        ApplyFont(s, value, parent);
    } else if (prop == "font-family") {
        const std::u16string f = FamilyList(value);
        if (!f.empty()) s.fontFamily = f;
    } else if (prop == "font-weight") {
        if (lv == "bold" || lv == "bolder") s.bold = true;
        else if (lv == "normal" || lv == "lighter") s.bold = false;
        else {
            float w;
            std::string_view unit;
            if (ParseNumber(lv, w, unit)) s.bold = w >= 600;
        }
    } else if (prop == "font-style") {
        s.italic = lv == "italic" || lv == "oblique";
    } else if (prop == "text-decoration" || prop == "text-decoration-line") {
        if (lv.find("none") != std::string::npos) s.underline = s.strike = false;
        if (lv.find("underline") != std::string::npos) s.underline = true;
        if (lv.find("line-through") != std::string::npos) s.strike = true;
    } else if (prop == "text-align") {
        s.alignBlocks = lv.rfind("-webkit-", 0) == 0;
        if (lv == "center" || lv == "-webkit-center") s.textAlign = TextAlign::Center;
        else if (lv == "right" || lv == "-webkit-right") s.textAlign = TextAlign::Right;
        else if (lv == "left" || lv == "-webkit-left") s.textAlign = TextAlign::Left;
        else if (lv == "start" || lv == "justify" || lv == "-webkit-auto") s.textAlign = TextAlign::Start;
        else if (lv == "end") s.textAlign = s.rtl ? TextAlign::Left : TextAlign::Right;
    } else if (prop == "direction") {
        if (lv == "rtl") s.rtl = true;
        else if (lv == "ltr") s.rtl = false;
    } else if (prop == "vertical-align") {
        s.verticalAlignSet = true;
        if (lv == "top" || lv == "text-top") s.verticalAlign = VAlign::Top;
        else if (lv == "middle") s.verticalAlign = VAlign::Middle;
        else if (lv == "bottom" || lv == "text-bottom") s.verticalAlign = VAlign::Bottom;
        else if (lv == "sub") s.verticalAlign = VAlign::Sub;
        else if (lv == "super") s.verticalAlign = VAlign::Super;
        else s.verticalAlign = VAlign::Baseline;
    } else if (prop == "line-height") {
        float v;
        std::string_view unit;
        if (lv == "normal") s.lineHeight = -1;
        else if (ParseNumber(lv, v, unit) && v >= 0) {
            if (unit.empty()) s.lineHeight = v * s.fontSize;
            else if (unit == "%") s.lineHeight = v * s.fontSize / 100;
            else if (auto l = length(lv); l && l->unit == Length::Px) s.lineHeight = l->value;
        }
    } else if (prop == "letter-spacing" || prop == "word-spacing") {
        float& spacing = prop[0] == 'l' ? s.letterSpacing : s.wordSpacing;
        if (auto l = length(lv); l && l->unit == Length::Px) spacing = l->value;
        else if (lv == "normal") spacing = 0;
    } else if (prop == "text-transform") {
        if (lv == "uppercase") s.textTransform = Style::Transform::Upper;
        else if (lv == "lowercase") s.textTransform = Style::Transform::Lower;
        else if (lv == "capitalize") s.textTransform = Style::Transform::Capitalize;
        else if (lv == "none") s.textTransform = Style::Transform::None;
    } else if (prop == "white-space") {
        s.noWrap = lv == "nowrap" || lv == "pre";
    } else if (prop == "width" || prop == "height") {
        if (auto l = length(lv); l && l->value >= 0) (prop == "width" ? s.width : s.height) = *l;
    } else if (prop == "min-width" || prop == "max-width" || prop == "min-height" || prop == "max-height") {
        Length* target = prop == "min-width" ? &s.minWidth : prop == "max-width" ? &s.maxWidth
                         : prop == "min-height" ? &s.minHeight : &s.maxHeight;
        const bool isMax = prop[1] == 'a';
        if (lv == "none" && isMax) *target = Length{};
        else if (lv == "auto" && !isMax) *target = Length{Length::Px, 0};
        else if (auto l = length(lv); l && !l->IsAuto() && l->value >= 0) *target = *l;
    } else if (prop == "display") {
        if (lv == "block" || lv == "flex" || lv == "grid" || lv == "-webkit-box") s.display = Display::Block;
        else if (lv == "inline") s.display = Display::Inline;
        else if (lv == "inline-block" || lv == "inline-flex" || lv == "inline-table") s.display = Display::InlineBlock;
        else if (lv == "none") s.display = Display::None;
        else if (lv == "table") s.display = Display::Table;
        else if (lv == "table-row") s.display = Display::Row;
        else if (lv == "table-cell") s.display = Display::Cell;
        else if (lv == "list-item") s.display = Display::ListItem;
    } else if (prop == "border-collapse") {
        s.collapseBorders = lv == "collapse";
    } else if (prop == "border-spacing") {
        if (auto l = length(Tokens(value).empty() ? lv : Tokens(value).front()); l && l->unit == Length::Px)
            s.cellSpacing = std::max(0.0f, l->value);
    } else if (prop == "box-sizing") {
        if (lv == "border-box") s.borderBox = true;
        else if (lv == "content-box") s.borderBox = false;
    } else if (prop == "clear") {
        s.clear = lv == "left" ? Clear::Left : lv == "right" ? Clear::Right : lv == "both" ? Clear::Both : Clear::None;
    } else if (prop == "float") {
        s.floating = lv == "left" ? Float::Left : lv == "right" ? Float::Right : Float::None;
    } else if (prop == "overflow" || prop == "overflow-y") {
        s.overflowHidden = lv == "hidden" || lv == "auto" || lv == "scroll";
    } else if (prop == "padding" || prop.rfind("padding-", 0) == 0 || prop == "margin" ||
               prop.rfind("margin-", 0) == 0) {
        const bool padding = prop[0] == 'p';
        const std::string side = prop.substr(padding ? 7 : 6);
        std::vector<Length> values;
        for (std::string_view t : Tokens(value)) {
            if (AsciiLowered(t) == "auto") values.push_back(Length{});
            else if (auto l = length(t)) values.push_back(*l);
            else return;  // an invalid declaration is dropped whole
        }
        if (values.empty()) return;
        Length box[4];
        if (side.empty()) {
            box[0] = values[0];
            box[1] = values.size() > 1 ? values[1] : values[0];
            box[2] = values.size() > 2 ? values[2] : values[0];
            box[3] = values.size() > 3 ? values[3] : box[1];
        }
        static constexpr const char* kSides[] = {"-top", "-right", "-bottom", "-left"};
        for (int i = 0; i < 4; ++i) {
            Length l = box[i];
            if (!side.empty()) {
                if (side != kSides[i]) continue;
                l = values[0];
            }
            if (padding) s.padding[i] = std::max(0.0f, l.unit == Length::Px ? l.value : 0.0f);
            else s.margin[i] = l;
        }
    } else if (prop == "border" || prop == "border-top" || prop == "border-right" || prop == "border-bottom" ||
               prop == "border-left") {
        static constexpr const char* kSides[] = {"border-top", "border-right", "border-bottom", "border-left"};
        for (int i = 0; i < 4; ++i)
            if (prop == "border" || prop == kSides[i]) ApplyBorder(s.border[i], value, fs, s.color);
    } else if (prop == "border-width" || prop == "border-style" || prop == "border-color") {
        // One to four values, top, right, bottom, left as for margins.
        std::vector<std::string_view> parts = Tokens(value);
        if (parts.empty() || parts.size() > 4) return;
        const std::size_t pick[4][4] = {{0, 0, 0, 0}, {0, 1, 0, 1}, {0, 1, 2, 1}, {0, 1, 2, 3}};
        BorderSide next[4] = {s.border[0], s.border[1], s.border[2], s.border[3]};
        for (int i = 0; i < 4; ++i) {
            const std::string_view part = parts[pick[parts.size() - 1][i]];
            const std::string lp = AsciiLowered(part);
            if (prop == "border-width") {
                const auto w = BorderWidth(lp, fs);
                if (!w) return;  // an invalid declaration is dropped whole
                next[i].declaredWidth = *w;
            } else if (prop == "border-style") {
                if (!IsBorderStyle(lp) && lp != "none" && lp != "hidden") return;
                next[i].styled = IsBorderStyle(lp);
            } else {
                const auto c = ParseColor(part);
                if (!c) return;
                next[i].color = *c;
            }
        }
        for (int i = 0; i < 4; ++i) {
            next[i].Update();
            s.border[i] = next[i];
        }
    } else if (prop.rfind("border-", 0) == 0 &&
               (prop.size() > 6 && (prop.find("-width") != std::string::npos || prop.find("-style") != std::string::npos ||
                                    prop.find("-color") != std::string::npos))) {
        // border-top-width and the other longhands of one side.
        static constexpr const char* kSides[] = {"top", "right", "bottom", "left"};
        for (int i = 0; i < 4; ++i) {
            const std::string head = std::string("border-") + kSides[i] + "-";
            if (prop.rfind(head, 0) != 0) continue;
            const std::string what = prop.substr(head.size());
            BorderSide& b = s.border[i];
            if (what == "width") {
                if (const auto w = BorderWidth(lv, fs)) b.declaredWidth = *w;
            } else if (what == "style") {
                if (IsBorderStyle(lv)) b.styled = true;
                else if (lv == "none" || lv == "hidden") b.styled = false;
            } else if (what == "color") {
                if (const auto c = ParseColor(value)) b.color = *c;
            }
            b.Update();
        }
    } else if (prop == "list-style-type" || prop == "list-style") {
        if (lv.find("decimal") != std::string::npos) s.orderedList = true;
        else if (lv.find("disc") != std::string::npos || lv.find("circle") != std::string::npos) s.orderedList = false;
    }
}

void ApplyInlineStyle(Style& s, std::string_view css, const Style& parent) {
    std::size_t i = 0;
    while (i < css.size()) {
        std::size_t end = css.find(';', i);
        if (end == std::string_view::npos) end = css.size();
        const std::string_view decl = css.substr(i, end - i);
        i = end + 1;
        const std::size_t colon = decl.find(':');
        if (colon == std::string_view::npos) continue;
        std::string prop = AsciiLowered(TrimSpaceAndControls(decl.substr(0, colon)));
        std::string_view value = TrimSpaceAndControls(decl.substr(colon + 1));
        if (const std::size_t bang = value.find("!important"); bang != std::string_view::npos)
            value = TrimSpaceAndControls(value.substr(0, bang));
        ApplyDeclaration(s, prop, value, parent);
    }
}

float AttrNumber(const Node& e, std::string_view name, float fallback) {
    const std::string* v = e.Attr(name);
    float f;
    std::string_view unit;
    if (v && ParseNumber(TrimSpaceAndControls(*v), f, unit)) return f;
    return fallback;
}

std::optional<Length> AttrLength(const Node& e, std::string_view name) {
    const std::string* v = e.Attr(name);
    if (!v) return std::nullopt;
    float f;
    std::string_view unit;
    if (!ParseNumber(TrimSpaceAndControls(*v), f, unit) || f < 0) return std::nullopt;
    if (unit.rfind("%", 0) == 0) return Length{Length::Percent, f};
    if (f == 0 && name == "width") return std::nullopt;  // width="0" means auto to browsers
    return Length{Length::Px, f};
}

void ApplyAlignAttr(Style& s, const Node& e) {
    const std::string* a = e.Attr("align");
    if (!a) return;
    const std::string v = AsciiLowered(TrimSpaceAndControls(*a));
    if (v == "center" || v == "middle") s.textAlign = TextAlign::Center;
    else if (v == "right") s.textAlign = TextAlign::Right;
    else if (v == "left") s.textAlign = TextAlign::Left;
    else return;
    s.alignBlocks = true;
}

void ApplyVAlignAttr(Style& s, const Node& e) {
    const std::string* a = e.Attr("valign");
    if (!a) return;
    const std::string v = AsciiLowered(TrimSpaceAndControls(*a));
    if (v == "top") s.verticalAlign = VAlign::Top;
    else if (v == "bottom") s.verticalAlign = VAlign::Bottom;
    else if (v == "middle" || v == "center") s.verticalAlign = VAlign::Middle;
    else if (v == "baseline") s.verticalAlign = VAlign::Baseline;
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

std::optional<Length> ParseLength(std::string_view text, float fontSize) {
    const std::string v = AsciiLowered(TrimSpaceAndControls(text));
    if (v == "auto") return Length{};
    float f;
    std::string_view unit;
    if (!ParseNumber(v, f, unit)) return std::nullopt;
    if (unit.empty() || unit == "px") return Length{Length::Px, f};
    if (unit == "%") return Length{Length::Percent, f};
    if (unit == "em" || unit == "rem") return Length{Length::Px, f * (unit == "em" ? fontSize : 16.0f)};
    if (unit == "pt") return Length{Length::Px, f * 4.0f / 3.0f};
    if (unit == "pc") return Length{Length::Px, f * 16.0f};
    if (unit == "in") return Length{Length::Px, f * 96.0f};
    if (unit == "cm") return Length{Length::Px, f * 96.0f / 2.54f};
    if (unit == "mm") return Length{Length::Px, f * 96.0f / 25.4f};
    return std::nullopt;
}

Style RootStyle() { return Style{}; }

namespace {

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
    s.letterSpacing = parent.letterSpacing;
    s.wordSpacing = parent.wordSpacing;
    s.textTransform = parent.textTransform;
    s.noWrap = parent.noWrap;
    s.orderedList = parent.orderedList;
    s.tableCellPadding = parent.tableCellPadding;
    s.tableCellBorder = parent.tableCellBorder;
    s.quirks = parent.quirks;
    s.rtl = parent.rtl;
    if (const std::string* dir = e.Attr("dir")) {
        if (AsciiLowered(TrimSpaceAndControls(*dir)) == "rtl") s.rtl = true;
        else if (AsciiLowered(TrimSpaceAndControls(*dir)) == "ltr") s.rtl = false;
    }

    const std::string& t = e.tag;
    const float em = parent.fontSize;
    // The browser's vertical margins are in ems of the element's own font,
    // which its style attribute may still change: kept as ems until then.
    float emMargins[2] = {-1, -1};
    auto marginsV = [&](float top, float bottom) {
        s.margin[0] = Length{Length::Px, top};
        s.margin[2] = Length{Length::Px, bottom};
        if (s.fontSize > 0) {
            emMargins[0] = top / s.fontSize;
            emMargins[1] = bottom / s.fontSize;
        }
    };
    for (auto& m : s.margin) m = Length{Length::Px, 0};

    // The browser's own style sheet, for the elements seller HTML uses.
    if (t == "body") {
        s.display = Display::Block;
        for (auto& m : s.margin) m = Length{Length::Px, bodyMargin};
    } else if (t == "div" || t == "center" || t == "form" || t == "address" || t == "section" || t == "article" ||
        t == "header" || t == "footer" || t == "nav" || t == "aside" || t == "figure" || t == "blockquote" ||
        t == "pre" || t == "dl" || t == "dd" || t == "dt" || t == "fieldset" || t == "main") {
        s.display = Display::Block;
        if (t == "center") {
            s.textAlign = TextAlign::Center;
            s.alignBlocks = true;
        }
        if (t == "blockquote") {
            marginsV(em, em);
            s.margin[1] = s.margin[3] = Length{Length::Px, 40};
        }
        if (t == "dl") marginsV(em, em);
        if (t == "dd") s.margin[3] = Length{Length::Px, 40};
        if (t == "pre") {
            marginsV(em, em);
            s.noWrap = true;
        }
    } else if (t == "p") {
        s.display = Display::Block;
        marginsV(em, em);
    } else if (t.size() == 2 && t[0] == 'h' && t[1] >= '1' && t[1] <= '6') {
        static constexpr float kSize[] = {2.0f, 1.5f, 1.17f, 1.0f, 0.83f, 0.67f};
        static constexpr float kMargin[] = {0.67f, 0.83f, 1.0f, 1.33f, 1.67f, 2.33f};
        const int level = t[1] - '1';
        s.display = Display::Block;
        s.bold = true;
        s.fontSize = em * kSize[level];
        marginsV(s.fontSize * kMargin[level], s.fontSize * kMargin[level]);
    } else if (t == "ul" || t == "ol" || t == "menu" || t == "dir") {
        s.display = Display::Block;
        s.orderedList = t == "ol";
        const bool nested = parent.display == Display::ListItem;
        marginsV(nested ? 0 : em, nested ? 0 : em);
        s.padding[3] = 40;
    } else if (t == "li") {
        s.display = Display::ListItem;
    } else if (t == "hr") {
        s.display = Display::Block;
        marginsV(8, 8);
        s.margin[1] = s.margin[3] = Length{};
        for (auto& b : s.border) b = BorderSide{1, 0x9a9a9a};
        s.border[2].color = s.border[1].color = 0xeeeeee;
    } else if (t == "table") {
        s.display = Display::Table;
        // Alignment from align= and <center> stops at a table; old documents
        // also give a table the default font size, weight, style, line
        // height, wrapping and alignment, whatever is around it.
        if (s.alignBlocks) {
            s.textAlign = TextAlign::Start;
            s.alignBlocks = false;
        }
        if (s.quirks) {
            s.fontSize = 16;
            s.bold = s.italic = false;
            s.lineHeight = -1;
            s.noWrap = false;
            s.textAlign = TextAlign::Start;
        }
        s.verticalAlign = VAlign::Middle;
        s.cellSpacing = 2;
        s.tableCellPadding = 1;
        s.tableCellBorder = false;
    } else if (t == "tbody" || t == "thead" || t == "tfoot") {
        s.display = Display::RowGroup;
        s.verticalAlign = VAlign::Middle;
    } else if (t == "tr") {
        s.display = Display::Row;
        s.verticalAlign = VAlign::Middle;
    } else if (t == "td" || t == "th") {
        s.display = Display::Cell;
        s.verticalAlign = parent.verticalAlign == VAlign::Baseline ? VAlign::Middle : parent.verticalAlign;
        for (float& p : s.padding) p = parent.tableCellPadding;
        if (parent.tableCellBorder)
            for (auto& b : s.border) b = BorderSide{1, 0x808080};
        if (t == "th") {
            s.bold = true;
            s.textAlign = TextAlign::Center;
            s.alignBlocks = true;
        }
    } else if (t == "caption") {
        s.display = Display::Block;
        s.textAlign = TextAlign::Center;
    } else if (t == "strong" || t == "b") {
        s.bold = true;
    } else if (t == "em" || t == "i" || t == "cite" || t == "var" || t == "dfn") {
        s.italic = true;
    } else if (t == "u" || t == "ins") {
        s.underline = true;
    } else if (t == "s" || t == "strike" || t == "del") {
        s.strike = true;
    } else if (t == "a") {
        if (e.Attr("href")) {
            s.color = 0x0000ee;
            s.underline = true;
        }
    } else if (t == "small") {
        s.fontSize = em / 1.2f;
    } else if (t == "big") {
        s.fontSize = em * 1.2f;
    } else if (t == "sub" || t == "sup") {
        s.fontSize = em * 0.83f;
    } else if (t == "input" || t == "button" || t == "select" || t == "textarea" || t == "iframe" ||
               t == "object" || t == "embed" || t == "video") {
        s.display = Display::InlineBlock;
    } else if (t == "br" || t == "wbr" || t == "span" || t == "font" || t == "label" || t == "code" ||
               t == "nobr") {
        if (t == "nobr") s.noWrap = true;
    } else if (t == "col" || t == "colgroup" || t == "map" || t == "area" || t == "noscript" || t == "template" ||
               t == "param" || t == "source" || t == "track" || t == "option" || t == "datalist") {
        s.display = Display::None;
    }

    // Presentational attributes.
    if (t == "table") {
        if (auto w = AttrLength(e, "width")) s.width = *w;
        if (auto h = AttrLength(e, "height")) s.height = *h;
        const float border = AttrNumber(e, "border", e.Attr("border") ? 1.0f : 0.0f);
        if (border > 0) {
            for (auto& b : s.border) b = BorderSide{border, 0x808080};
            s.tableCellBorder = true;
        }
        s.cellSpacing = std::max(0.0f, AttrNumber(e, "cellspacing", 2));
        s.tableCellPadding = std::max(0.0f, AttrNumber(e, "cellpadding", 1));
        if (const std::string* a = e.Attr("align")) {
            const std::string v = AsciiLowered(TrimSpaceAndControls(*a));
            if (v == "center") {
                s.margin[1] = s.margin[3] = Length{};
                s.explicitAlign = true;
            } else if (v == "left" || v == "right") {
                s.floating = v == "left" ? Float::Left : Float::Right;
                s.explicitAlign = true;
            }
        }
    } else if (t == "td" || t == "th" || t == "tr" || t == "tbody" || t == "thead" || t == "tfoot") {
        if (t != "tbody" && t != "thead" && t != "tfoot") {
            if (auto h = AttrLength(e, "height")) s.height = *h;
        }
        if (t == "td" || t == "th") {
            if (auto w = AttrLength(e, "width")) s.width = *w;
            s.colSpan = std::clamp(static_cast<int>(AttrNumber(e, "colspan", 1)), 1, 1000);
            s.rowSpan = std::clamp(static_cast<int>(AttrNumber(e, "rowspan", 1)), 0, 65534);
            if (s.rowSpan == 0) s.rowSpan = 1;
            if (e.Attr("nowrap")) s.noWrap = true;
        }
        ApplyAlignAttr(s, e);
        ApplyVAlignAttr(s, e);
    } else if (t == "img") {
        const auto w = AttrLength(e, "width"), h = AttrLength(e, "height");
        if (w) s.width = *w;
        if (h) s.height = *h;
        // Both attributes in pixels give the picture its proportions before it arrives.
        if (w && h && w->unit == Length::Px && h->unit == Length::Px && w->value > 0 && h->value > 0)
            s.aspectRatio = w->value / h->value;
        const float border = AttrNumber(e, "border", 0);
        if (border > 0)
            for (auto& b : s.border) b = BorderSide{border, s.color};
        if (const std::string* a = e.Attr("align")) {
            const std::string v = AsciiLowered(TrimSpaceAndControls(*a));
            if (v == "left") s.floating = Float::Left;
            else if (v == "right") s.floating = Float::Right;
            else if (v == "middle" || v == "absmiddle") s.verticalAlign = VAlign::Middle;
            else if (v == "top") s.verticalAlign = VAlign::Top;
        }
    } else if (t == "font") {
        if (const std::string* c = e.Attr("color"))
            if (auto v = ParseColor(*c)) s.color = *v;
        if (const std::string* f = e.Attr("face")) {
            const std::u16string family = FamilyList(*f);
            if (!family.empty()) s.fontFamily = family;
        }
        if (const std::string* z = e.Attr("size")) {
            static constexpr float kSizes[] = {10, 13, 16, 18, 24, 32, 48};
            const std::string_view v = TrimSpaceAndControls(*z);
            float n;
            std::string_view unit;
            if (ParseNumber(v, n, unit)) {
                int level = static_cast<int>(n);
                if (!v.empty() && (v[0] == '+' || v[0] == '-')) level += 3;
                s.fontSize = kSizes[std::clamp(level, 1, 7) - 1];
            }
        }
    } else if (t == "div" || t == "p" || (t.size() == 2 && t[0] == 'h') || t == "caption") {
        ApplyAlignAttr(s, e);
    } else if (t == "hr") {
        if (auto w = AttrLength(e, "width")) s.width = *w;
        if (const std::string* z = e.Attr("size")) {
            const float h = std::max(0.0f, AttrNumber(e, "size", 2) - 2);
            (void)z;
            s.height = Length{Length::Px, h};
        }
        if (const std::string* c = e.Attr("color"))
            if (auto v = ParseColor(*c)) {
                for (auto& b : s.border) b.color = *v;
                s.background = *v;
            }
    } else if (t == "br") {
        if (const std::string* c = e.Attr("clear")) {
            const std::string v = AsciiLowered(TrimSpaceAndControls(*c));
            s.clear = v == "left" ? Clear::Left : v == "right" ? Clear::Right : v == "all" || v == "both" ? Clear::Both
                                                                                                           : Clear::None;
        }
    } else if (t == "body") {
        // The old margin attributes: marginwidth/marginheight and IE's leftmargin and the rest.
        static constexpr const char* kSides[4][2] = {
            {"topmargin", "marginheight"}, {"rightmargin", "marginwidth"},
            {"bottommargin", "marginheight"}, {"leftmargin", "marginwidth"}};
        for (int i = 0; i < 4; ++i)
            for (const char* name : kSides[i])
                if (e.Attr(name)) {
                    s.margin[i] = Length{Length::Px, std::max(0.0f, AttrNumber(e, name, 0))};
                    break;
                }
        if (const std::string* c = e.Attr("text"))
            if (auto v = ParseColor(*c)) s.color = *v;
    }
    if (t == "table" || t == "td" || t == "th" || t == "tr" || t == "body") {
        if (const std::string* c = e.Attr("bgcolor"))
            if (auto v = ParseColor(*c)) s.background = *v;
        if (const std::string* url = e.Attr("background"))
            if (!TrimSpaceAndControls(*url).empty()) s.backgroundImage.url = std::string(TrimSpaceAndControls(*url));
    }

    if (const std::string* css = e.Attr("style")) {
        const float size = s.fontSize;
        const Length before[2] = {s.margin[0], s.margin[2]};
        ApplyInlineStyle(s, *css, parent);
        for (int i = 0; i < 2; ++i)
            if (emMargins[i] >= 0 && s.fontSize != size && s.margin[i * 2].unit == before[i].unit &&
                s.margin[i * 2].value == before[i].value)
                s.margin[i * 2].value = emMargins[i] * s.fontSize;
    }
    // Borders written without a colour take the element's final text colour.
    return s;
}

}  // namespace

Style ComputeStyle(const Node& e, const Style& parent) { return Compute(e, parent, 8); }

Style ComputeBodyStyle(const Node& body, const Style& parent, float margin) { return Compute(body, parent, margin); }

}  // namespace mojian::html
