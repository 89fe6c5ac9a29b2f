#include "fill/Fields.h"

#include <cmath>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "base/Utf.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "fill/SourceText.h"
#include "html/Layout.h"
#include "html/Parser.h"
#include "html/PictureAddress.h"
#include "html/Style.h"

namespace mojian::fill {

namespace {

bool OneOf(std::string_view tag, std::initializer_list<std::string_view> tags) {
    for (const std::string_view t : tags)
        if (tag == t) return true;
    return false;
}

// Elements whose content the page does not show as its text: code, the
// head's contents, what only shows without scripts or frames, and raw text
// that is written without escapes (a field there could not be written back).
bool HidesContent(std::string_view tag) {
    return OneOf(tag, {"head", "script", "style", "template", "title", "noscript", "noembed", "noframes",
                       "iframe", "xmp", "plaintext"});
}

bool KeepsLineBreaks(std::string_view tag) { return OneOf(tag, {"pre", "listing", "textarea"}); }

bool TakesBackground(std::string_view tag) {
    return OneOf(tag, {"body", "table", "thead", "tbody", "tfoot", "tr", "td", "th"});
}

// Text a seller would not call text: white space, no-break and ideographic
// spaces, the typographic spaces and the byte-order mark.
bool ShowsNothing(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = NextCodePoint(text, i);
        const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == 0xA0 ||
                           c == 0x3000 || (c >= 0x2000 && c <= 0x200B) || c == 0xFEFF;
        if (!space) return false;
    }
    return true;
}

struct Side {
    int pixels = 0;
    bool measure = false;  // the layout decides
};

Side SideOf(const html::Length& length, bool autoMeasures) {
    if (length.unit == html::Length::Px) return {static_cast<int>(std::lround(length.value)), false};
    if (length.unit == html::Length::Percent) return {0, true};
    return {0, autoMeasures};
}

struct Pending {
    std::size_t field;
    const html::Node* node;
    bool width, height;
};

class Finder {
public:
    Finder(std::string_view source, const FindOptions& options) : s_(source), options_(options) {}

    FieldSet Run() {
        const html::Document doc = html::ParseHtml(s_);
        if (doc.body) Element(*doc.body, html::RootStyle(), false);
        if (!pending_.empty() && options_.measurePictures) Measure(doc);
        return std::move(set_);
    }

private:
    void Element(const html::Node& e, const html::Style& parentStyle, bool keepsLines) {
        const html::Style style = html::ComputeStyle(e, parentStyle);
        // An image map's areas are links of the picture, though no box shows them.
        const bool imageMap = e.tag == "map" || e.tag == "area";
        if ((style.display == html::Display::None && !imageMap) || e.FindAttr("hidden")) return;
        Attributes(e, style);
        keepsLines = keepsLines || KeepsLineBreaks(e.tag);
        for (const auto& child : e.children) {
            if (child->IsText()) {
                Text(*child, keepsLines);
            } else if (child->IsElement() && !HidesContent(child->tag)) {
                Element(*child, style, keepsLines);
            }
        }
    }

    void Text(const html::Node& t, bool keepsLines) {
        html::SourceRange r = t.range;
        while (r.begin < r.end && IsHtmlSpace(s_[r.begin])) ++r.begin;
        while (r.end > r.begin && IsHtmlSpace(s_[r.end - 1])) --r.end;
        if (r.empty()) return;
        std::string value = DecodedValue(s_, r, keepsLines ? Spaces::Lines : Spaces::Collapse);
        if (ShowsNothing(value)) return;
        Field f;
        f.kind = FieldKind::Text;
        f.value = std::move(value);
        f.range = r;
        f.keepsLineBreaks = keepsLines;
        Add(std::move(f));
    }

    void Attributes(const html::Node& e, const html::Style& style) {
        if (e.tag == "img") {
            Field f;
            f.kind = FieldKind::Picture;
            if (!Address(e, "src", f)) {
                if (e.startTag.empty()) return;
                // The new attribute goes right after the tag's name as written.
                std::size_t at = e.startTag.begin + 1;
                while (at < e.startTag.end && !IsHtmlSpace(s_[at]) && s_[at] != '/' && s_[at] != '>') ++at;
                f.range = {at, at};
                f.missingAttribute = true;
            }
            if (const std::string* alt = e.Attr("alt")) f.alt = *alt;
            Size(e, style, false, f);
            Add(std::move(f));
        } else if (TakesBackground(e.tag)) {
            Field f;
            f.kind = FieldKind::Picture;
            if (!Address(e, "background", f)) return;
            f.background = true;
            Size(e, style, true, f);
            Add(std::move(f));
        }
        if (e.tag == "a" || e.tag == "area") {
            Field f;
            f.kind = FieldKind::Link;
            if (Address(e, "href", f)) Add(std::move(f));
        }
    }

    static bool Address(const html::Node& e, std::string_view name, Field& f) {
        const html::Attribute* a = e.FindAttr(name);
        if (!a) return false;
        f.value = a->value;
        f.range = a->valueRange;
        f.quote = a->quote;
        return true;
    }

    // What the page says of the size; the rest waits for the layout. A
    // background fills its element's box, which the layout knows; an
    // <img> without a side takes its own.
    void Size(const html::Node& e, const html::Style& style, bool background, Field& f) {
        const Side w = SideOf(style.width, background), h = SideOf(style.height, background);
        f.width = w.pixels;
        f.height = h.pixels;
        if (w.measure || h.measure) pending_.push_back({set_.fields.size(), &e, w.measure, h.measure});
    }

    void Add(Field f) {
        if (f.kind == FieldKind::Picture) f.localFile = IsLocalAddress(f.value);
        switch (f.kind) {
        case FieldKind::Text: ++set_.texts; break;
        case FieldKind::Picture: ++set_.pictures; break;
        case FieldKind::Link: ++set_.links; break;
        }
        set_.fields.push_back(std::move(f));
    }

    void Measure(const html::Document& doc) {
        html::FixedMeasurer measurer;
        const html::PageLayout page = html::LayoutDocument(doc, html::LayoutOptions{750, 0}, measurer);
        std::unordered_map<const html::Node*, html::Rect> boxes;
        boxes.reserve(page.boxes.size());
        for (const html::BoxRecord& b : page.boxes) boxes.emplace(b.node, b.rect);
        for (const Pending& p : pending_) {
            const auto it = boxes.find(p.node);
            if (it == boxes.end()) continue;
            Field& f = set_.fields[p.field];
            if (p.width) f.width = static_cast<int>(std::lround(it->second.w));
            if (p.height) f.height = static_cast<int>(std::lround(it->second.h));
            f.measured = true;
        }
    }

    std::string_view s_;
    FindOptions options_;
    FieldSet set_;
    std::vector<Pending> pending_;
};

// Every value the ninety built-in blocks hold, by kind: what "still the
// block's own" is measured against, for custom sources made from a block too.
class BuiltInValues {
public:
    BuiltInValues() {
        for (int kind = 0; kind < kKindCount; ++kind) {
            for (int style = 0; style < kStyleCounts[static_cast<std::size_t>(kind)]; ++style) {
                const FieldSet set = FindFields(BuiltInLibrary().Get(kind, style), FindOptions{false, false});
                for (const Field& f : set.fields) values_[static_cast<std::size_t>(f.kind)].insert(f.value);
            }
        }
    }
    bool Has(const Field& f) const { return values_[static_cast<std::size_t>(f.kind)].count(f.value) != 0; }

private:
    std::unordered_set<std::string> values_[3];
};

const BuiltInValues& TheBuiltInValues() {
    static const BuiltInValues values;
    return values;
}

}  // namespace

std::size_t FieldSet::Count(FieldKind kind) const {
    switch (kind) {
    case FieldKind::Text: return texts;
    case FieldKind::Picture: return pictures;
    case FieldKind::Link: return links;
    }
    return 0;
}

FieldSet FindFields(std::string_view html, const FindOptions& options) {
    FieldSet set = Finder(html, options).Run();
    if (options.markPlaceholders) {
        const BuiltInValues& builtIn = TheBuiltInValues();
        for (Field& f : set.fields) f.placeholder = builtIn.Has(f);
    }
    return set;
}

FieldHint HintFor(const FieldSet& set, std::size_t index) {
    // Only fields close by are neighbours; a text far away says nothing.
    constexpr std::size_t kReach = 40;
    constexpr int kCharacters = 12;
    FieldHint hint;
    const auto& fields = set.fields;
    if (index >= fields.size()) return hint;
    for (std::size_t i = index, steps = 0; i > 0 && steps < kReach; --i, ++steps) {
        if (fields[i - 1].kind == FieldKind::Text) {
            hint.before = LastCharacters(fields[i - 1].value, kCharacters);
            break;
        }
    }
    for (std::size_t i = index + 1, steps = 0; i < fields.size() && steps < kReach; ++i, ++steps) {
        if (fields[i].kind == FieldKind::Text) {
            hint.after = FirstCharacters(fields[i].value, kCharacters);
            break;
        }
    }
    return hint;
}

bool IsLocalAddress(std::string_view address) {
    while (!address.empty() && IsHtmlSpace(address.front())) address.remove_prefix(1);
    if (address.substr(0, 2) == "\\\\") return true;
    if (address.size() >= 5) {
        std::string scheme(address.substr(0, 5));
        for (char& c : scheme)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (scheme == "file:") return true;
    }
    return html::ClassifyPictureAddress(address).kind == html::PictureAddress::Kind::File;
}

std::string AddressAsWritten(std::string_view typed, bool local) {
    std::string out;
    out.reserve(typed.size() + 8);
    for (const char c : typed)
        if (c != '\t' && c != '\r' && c != '\n') out += c;
    const auto first = out.find_first_not_of(" \f");
    if (first == std::string::npos) return {};
    out = out.substr(first, out.find_last_not_of(" \f") - first + 1);
    if (local) return out;
    std::string encoded;
    encoded.reserve(out.size() + 8);
    for (const char c : out) {
        if (c == ' ') encoded += "%20";
        else encoded += c;
    }
    return encoded;
}

std::string AddressAsWritten(std::string_view typed) {
    return AddressAsWritten(typed, IsLocalAddress(AddressAsWritten(typed, true)));
}

}  // namespace mojian::fill
