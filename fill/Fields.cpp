#include "fill/Fields.h"

#include <algorithm>
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

bool StartsCaseless(std::string_view text, std::size_t at, std::string_view lowerWord) {
    if (text.size() - at < lowerWord.size()) return false;
    for (std::size_t i = 0; i < lowerWord.size(); ++i)
        if ((text[at + i] | 0x20) != lowerWord[i]) return false;
    return true;
}

// Whether a style attribute can hide its element: it says "display: none"
// somewhere (the style engine then decides what it means).
bool MayHide(std::string_view style) {
    for (std::size_t at = 0; at < style.size(); ++at) {
        if ((style[at] | 0x20) != 'd' || !StartsCaseless(style, at, "display")) continue;
        std::size_t i = at + 7;
        while (i < style.size() && IsHtmlSpace(style[i])) ++i;
        if (i == style.size() || style[i] != ':') continue;
        ++i;
        while (i < style.size() && IsHtmlSpace(style[i])) ++i;
        if (StartsCaseless(style, i, "none")) return true;
    }
    return false;
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

// A picture field whose size waits for the layout, and the element it belongs to.
struct Pending {
    std::size_t field;
    const html::Node* node;
};

// Lays the block out at 750 pixels, as the page shows it, and takes the
// pending sides from the boxes of the pictures' elements.
void Measure(const html::Document& doc, const std::vector<Pending>& pending, FieldSet& set) {
    html::FixedMeasurer measurer;
    html::PicturesLoading pictures;  // the room the page gives them, whatever they turn out to be
    const html::PageLayout page = html::LayoutDocument(doc, html::LayoutOptions{750, 0}, measurer, pictures);
    std::unordered_map<const html::Node*, html::Rect> boxes;
    boxes.reserve(page.boxes.size());
    for (const html::BoxRecord& b : page.boxes) boxes.emplace(b.node, b.rect);
    for (const Pending& p : pending) {
        const auto it = boxes.find(p.node);
        if (it == boxes.end()) continue;
        Field& f = set.fields[p.field];
        if (f.widthPending) f.width = static_cast<int>(std::lround(it->second.w));
        if (f.heightPending) f.height = static_cast<int>(std::lround(it->second.h));
        f.widthPending = f.heightPending = false;
        f.measured = true;
    }
}

void CollectPictureElements(const html::Node& n, std::vector<const html::Node*>& out) {
    for (const auto& child : n.children) {
        if (!child->IsElement()) continue;
        if (child->tag == "img" || TakesBackground(child->tag)) out.push_back(child.get());
        CollectPictureElements(*child, out);
    }
}

class Finder {
public:
    Finder(std::string_view source, const FindOptions& options) : s_(source), options_(options) {}

    FieldSet Run() {
        const html::Document doc = html::ParseHtml(s_);
        if (doc.body) Element(*doc.body, false);
        if (!pending_.empty() && options_.measurePictures) Measure(doc, pending_, set_);
        return std::move(set_);
    }

private:
    void Element(const html::Node& e, bool keepsLines) {
        if (Hidden(e)) return;
        // An element the parser made up has no attributes of its own: a
        // reopened <a> holds those of the one it continues, a field already.
        if (!e.implied) Attributes(e);
        keepsLines = keepsLines || KeepsLineBreaks(e.tag);
        for (const auto& child : e.children) {
            if (child->IsText()) {
                Text(*child, keepsLines);
            } else if (child->IsElement() && !HidesContent(child->tag)) {
                Element(*child, keepsLines);
            }
        }
    }

    // Whether the page hides the element and all it holds. Styles are
    // computed only for the elements that need one (a style attribute that
    // names display; no other attribute can hide), against the root's, as
    // display is not inherited: most elements of a block cost a lookup.
    bool Hidden(const html::Node& e) {
        const html::Attribute* style = nullptr;
        for (const html::Attribute& a : e.attrs) {
            if (a.name == "hidden") return true;
            if (a.name == "style" && !a.duplicate) style = &a;
        }
        // An image map's areas are links of the picture, though no box shows them.
        if (e.tag == "map" || e.tag == "area") return false;
        if (style && MayHide(style->value)) return html::ComputeStyle(e, root_).display == html::Display::None;
        const auto [it, fresh] = hiddenTags_.try_emplace(e.tag, false);
        if (fresh) {
            html::Node bare;
            bare.tag = e.tag;
            it->second = html::ComputeStyle(bare, root_).display == html::Display::None;
        }
        return it->second;
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

    void Attributes(const html::Node& e) {
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
            Size(e, false, f);
            Add(std::move(f));
        } else if (TakesBackground(e.tag)) {
            Field f;
            f.kind = FieldKind::Picture;
            if (!Address(e, "background", f)) return;
            f.background = true;
            Size(e, true, f);
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
    // <img> without a side takes its own. (A size in em is taken against
    // the default font size.)
    void Size(const html::Node& e, bool background, Field& f) {
        const html::Style style = html::ComputeStyle(e, root_);
        const Side w = SideOf(style.width, background), h = SideOf(style.height, background);
        f.width = w.pixels;
        f.height = h.pixels;
        f.widthPending = w.measure;
        f.heightPending = h.measure;
        if (w.measure || h.measure) pending_.push_back({set_.fields.size(), &e});
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

    std::string_view s_;
    FindOptions options_;
    FieldSet set_;
    std::vector<Pending> pending_;
    const html::Style root_ = html::RootStyle();
    std::unordered_map<std::string, bool> hiddenTags_;
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

void MeasurePictures(std::string_view html, FieldSet& set) {
    if (std::none_of(set.fields.begin(), set.fields.end(),
                     [](const Field& f) { return f.widthPending || f.heightPending; }))
        return;
    const html::Document doc = html::ParseHtml(html);
    // The element a field belongs to is the one whose start tag holds its range.
    std::vector<const html::Node*> elements;
    if (doc.body) CollectPictureElements(*doc.body, elements);
    std::sort(elements.begin(), elements.end(),
              [](const html::Node* a, const html::Node* b) { return a->startTag.begin < b->startTag.begin; });
    std::vector<Pending> pending;
    for (std::size_t i = 0; i < set.fields.size(); ++i) {
        const Field& f = set.fields[i];
        if (!f.widthPending && !f.heightPending) continue;
        auto it = std::upper_bound(elements.begin(), elements.end(), f.range.begin,
                                   [](std::size_t at, const html::Node* e) { return at < e->startTag.begin; });
        if (it == elements.begin()) continue;
        const html::Node* e = *--it;
        if (f.range.begin < e->startTag.end) pending.push_back({i, e});
    }
    Measure(doc, pending, set);
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
    // Most addresses are on the web: no need to take them apart.
    if (StartsCaseless(address, 0, "http://") || StartsCaseless(address, 0, "https://")) return false;
    if (address.substr(0, 2) == "\\\\") return true;
    if (StartsCaseless(address, 0, "file:")) return true;
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
