// The rules read from the source alone.
#include <algorithm>

#include "base/Utf.h"
#include "check/Addresses.h"
#include "check/LineScan.h"
#include "check/Placeholders.h"
#include "check/Text.h"
#include "html/Css.h"
#include "html/Parser.h"
#include "html/Style.h"

namespace mojian::check {

namespace {

bool Contains(const std::vector<std::string>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string Join(const std::vector<std::string>& parts, std::string_view sep) {
    std::string out;
    for (const std::string& p : parts) {
        if (!out.empty()) out += sep;
        out += p;
    }
    return out;
}

// Where a picture's address is written.
struct PictureAt {
    std::string address;               // as a browser reads it
    html::SourceRange range;           // the attribute, or the start tag of an img without src
    const html::Node* img = nullptr;   // the picture element when it is one
    bool background = false;           // a background attribute or a url() in a style
};

class MarkupScan {
public:
    MarkupScan(const RuleSet& rules, LineScan& scan) : rules_(rules), scan_(scan) {}

    void Run() {
        Walk(*scan_.doc.root);
        for (const html::StrayTag& stray : scan_.doc.strayTags)
            if (!stray.endTag) Stray(stray);
    }

private:
    void Walk(const html::Node& n) {
        if (n.IsText()) {
            TextRules(n);
            return;
        }
        if (n.IsElement() && !n.implied) Element(n);
        for (const auto& c : n.children) Walk(*c);
    }

    void Element(const html::Node& e) {
        for (const Rule& r : rules_.Rules())
            if (r.kind == RuleKind::Elements && Contains(r.names, e.tag)) scan_.Add(r, e.startTag, "<" + e.tag + ">");
        for (const html::Attribute& a : e.attrs) AttributeRules(a, a.range);
        std::vector<PictureAt> pictures;
        if (e.tag == "img") {
            const html::Attribute* src = e.FindAttr("src");
            pictures.push_back({src ? BrowserAddress(src->value) : std::string(), src ? src->range : e.startTag, &e, false});
        }
        for (const html::Attribute& a : e.attrs) {
            if (a.duplicate) continue;  // browsers never load from it
            if (a.name == "background") {
                std::string address = BrowserAddress(a.value);
                if (!address.empty()) pictures.push_back({std::move(address), a.range, nullptr, true});
            } else if (a.name == "style") {
                for (const std::string& url : html::css::Urls(a.value)) {
                    std::string address = BrowserAddress(url);
                    if (!address.empty()) pictures.push_back({std::move(address), a.range, nullptr, true});
                }
            }
        }
        for (const PictureAt& p : pictures) Picture(p);
        if (e.tag == "img") GivenPictureWidth(e);
    }

    // The attribute rules; also what the stray tags' attributes go through.
    void AttributeRules(const html::Attribute& a, html::SourceRange range, bool scriptsOnly = false) {
        for (const Rule& r : rules_.Rules()) {
            switch (r.kind) {
            case RuleKind::AttributePrefix:
                if (a.name.size() > r.prefix.size() && StartsWith(a.name, r.prefix)) scan_.Add(r, range, a.name);
                break;
            case RuleKind::ScriptAddress: ScriptAddress(r, a, range); break;
            case RuleKind::Attributes:
                if (!scriptsOnly && Contains(r.names, a.name)) scan_.Add(r, range, a.name + "=\"" + a.value + "\"");
                break;
            case RuleKind::ClassPrefix:
                if (!scriptsOnly && a.name == "class") ClassPrefix(r, a, range);
                break;
            case RuleKind::CssProperties:
                if (!scriptsOnly && a.name == "style") CssProperties(r, a, range);
                break;
            default: break;
            }
        }
    }

    void ScriptAddress(const Rule& r, const html::Attribute& a, html::SourceRange range) {
        std::vector<std::string> addresses;
        if (Contains(r.more, a.name)) addresses.push_back(BrowserAddress(a.value));
        if (r.css && a.name == "style")
            for (const std::string& url : html::css::Urls(a.value)) addresses.push_back(BrowserAddress(url));
        for (const std::string& address : addresses) {
            const std::string scheme = AddressScheme(address);
            if (!scheme.empty() && Contains(r.names, scheme)) {
                scan_.Add(r, range, a.name + " 里的 " + scheme + ": 地址");
                return;  // one finding per attribute
            }
        }
    }

    void ClassPrefix(const Rule& r, const html::Attribute& a, html::SourceRange range) {
        std::vector<std::string> hits;
        std::size_t i = 0;
        const std::string_view v = a.value;
        while (i < v.size()) {
            while (i < v.size() && IsHtmlSpace(v[i])) ++i;
            const std::size_t start = i;
            while (i < v.size() && !IsHtmlSpace(v[i])) ++i;
            const std::string_view token = v.substr(start, i - start);
            if (!token.empty() && std::any_of(r.names.begin(), r.names.end(),
                                              [&](const std::string& p) { return StartsWith(token, p); }))
                hits.emplace_back(token);
        }
        if (!hits.empty()) scan_.Add(r, range, "类名 " + Join(hits, "、"));
    }

    void CssProperties(const Rule& r, const html::Attribute& a, html::SourceRange range) {
        std::vector<std::string> hits;
        for (const html::css::Declaration& d : html::css::ParseDeclarations(a.value))
            if (Contains(r.names, d.property) && !Contains(r.more, AsciiLowered(d.value)))
                hits.push_back(d.property + ": " + d.value);
        if (!hits.empty()) scan_.Add(r, range, Join(hits, "; "));
    }

    void Picture(const PictureAt& p) {
        const PictureVerdict v = JudgePictureAddress(p.address);
        // A script in a picture's place is the script rule's to report.
        const std::string scheme = AddressScheme(p.address);
        const bool script = !scheme.empty() && std::any_of(rules_.Rules().begin(), rules_.Rules().end(), [&](const Rule& r) {
            return r.kind == RuleKind::ScriptAddress && Contains(r.names, scheme);
        });
        for (const Rule& r : rules_.Rules()) {
            switch (r.kind) {
            case RuleKind::UnloadablePicture:
                if (script) break;
                if (v.kind == PictureVerdict::Kind::Unloadable ||
                    (v.kind == PictureVerdict::Kind::Empty && !p.background))
                    scan_.Add(r, p.range, p.address.empty() ? v.why : v.why + "：" + Shortened(p.address));
                break;
            case RuleKind::PictureHost:
                if (v.kind == PictureVerdict::Kind::Data) {
                    scan_.Add(r, p.range, "图片直接写在 data: 地址里");
                } else if (v.kind == PictureVerdict::Kind::Network &&
                           std::none_of(r.names.begin(), r.names.end(),
                                        [&](const std::string& h) { return OnHost(v.host, h); })) {
                    scan_.Add(r, p.range, "图片在 " + v.host + " 上");
                }
                break;
            case RuleKind::PlaceholderPicture:
                if (p.img && PlaceholderPictures(r.number).count(p.address))
                    scan_.Add(r, p.range, "示例图 " + Shortened(p.address));
                break;
            default: break;
            }
        }
    }

    void GivenPictureWidth(const html::Node& img) {
        const auto given = PictureGivenWidth(img);
        if (!given) return;
        for (const Rule& r : rules_.Rules())
            if (r.kind == RuleKind::PictureWidth && given->pixels > r.number + 0.5f) {
                scan_.Add(r, given->attribute ? given->attribute->range : img.startTag,
                          "宽度写的是 " + std::to_string(static_cast<long>(given->pixels + 0.5f)) + " 像素");
                scan_.widePictures.insert(&img);
            }
    }

    void TextRules(const html::Node& t) {
        if (t.parent && (t.parent->tag == "script" || t.parent->tag == "style" || t.parent->tag == "title")) return;
        std::string text;  // made once, when a rule wants it
        for (const Rule& r : rules_.Rules()) {
            if (r.kind != RuleKind::PlaceholderText) continue;
            if (text.empty()) text = CollapseSpace(Utf16ToUtf8(t.text));
            if (text.empty()) return;
            for (const std::string& p : PlaceholderTexts(r.names)) {
                if (text.find(p) == std::string::npos) continue;
                // The placeholder itself when the source writes it as it reads.
                html::SourceRange range = t.range;
                const std::size_t at = t.range.Of(scan_.source).find(p);
                if (at != std::string_view::npos) range = {t.range.begin + at, t.range.begin + at + p.size()};
                scan_.Add(r, range, "“" + p + "”");
                break;
            }
        }
    }

    // A tag the tree has no element for still says what it says: the
    // forbidden ones count, and the script in its attributes (a second
    // <body onload=...> gives the body that handler in browsers).
    void Stray(const html::StrayTag& stray) {
        for (const Rule& r : rules_.Rules())
            if (r.kind == RuleKind::Elements && Contains(r.names, stray.name))
                scan_.Add(r, stray.range, "<" + stray.name + ">");
        // Read the tag's attributes by parsing it alone under a neutral name
        // of the same length, so the offsets stay those of the source.
        std::string tag(stray.range.Of(scan_.source));
        if (tag.size() < 2 + stray.name.size()) return;
        std::fill(tag.begin() + 1, tag.begin() + 1 + static_cast<std::ptrdiff_t>(stray.name.size()), 'x');
        const html::Document alone = html::ParseHtml(tag);
        const html::Node* e = alone.body && !alone.body->children.empty() ? alone.body->children.front().get() : nullptr;
        if (!e || !e->IsElement()) return;
        for (const html::Attribute& a : e->attrs)
            AttributeRules(a, {stray.range.begin + a.range.begin, stray.range.begin + a.range.end}, true);
    }

    static std::string Shortened(const std::string& address) {
        constexpr std::size_t kMax = 80;
        if (address.size() <= kMax) return address;
        std::size_t cut = kMax;
        while (cut > 0 && (static_cast<unsigned char>(address[cut]) & 0xC0) == 0x80) --cut;
        return address.substr(0, cut) + "…";
    }

    const RuleSet& rules_;
    LineScan& scan_;
};

}  // namespace

std::optional<GivenWidth> PictureGivenWidth(const html::Node& img) {
    const html::Style style = html::ComputeStyle(img, html::RootStyle());
    if (style.width.unit != html::Length::Px) return std::nullopt;
    GivenWidth given{style.width.value, nullptr};
    if (const html::Attribute* s = img.FindAttr("style")) {
        const auto decls = html::css::ParseDeclarations(s->value);
        if (std::any_of(decls.begin(), decls.end(), [](const html::css::Declaration& d) { return d.property == "width"; }))
            given.attribute = s;
    }
    if (!given.attribute) given.attribute = img.FindAttr("width");
    return given;
}

void CheckMarkup(const RuleSet& rules, LineScan& scan) { MarkupScan(rules, scan).Run(); }

}  // namespace mojian::check
