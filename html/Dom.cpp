#include "html/Dom.h"

#include <algorithm>
#include <cstdint>

#include "base/Utf.h"

namespace mojian::html {

const std::string* Node::Attr(std::string_view name) const {
    for (const auto& [k, v] : attrs)
        if (k == name) return &v;
    return nullptr;
}

namespace {

struct Entity {
    const char* name;
    char32_t cp;
};

// The references seller HTML actually uses, plus the common Latin-1 and
// typographic ones; anything else stays as written, as browsers show it.
constexpr Entity kEntities[] = {
    {"nbsp", 0xA0},   {"amp", '&'},      {"lt", '<'},       {"gt", '>'},       {"quot", '"'},
    {"apos", '\''},   {"yen", 0xA5},     {"times", 0xD7},   {"divide", 0xF7},  {"copy", 0xA9},
    {"reg", 0xAE},    {"trade", 0x2122}, {"middot", 0xB7},  {"bull", 0x2022},  {"hellip", 0x2026},
    {"mdash", 0x2014}, {"ndash", 0x2013}, {"laquo", 0xAB},  {"raquo", 0xBB},   {"lsquo", 0x2018},
    {"rsquo", 0x2019}, {"ldquo", 0x201C}, {"rdquo", 0x201D}, {"deg", 0xB0},    {"plusmn", 0xB1},
    {"sect", 0xA7},   {"para", 0xB6},    {"cent", 0xA2},    {"pound", 0xA3},   {"euro", 0x20AC},
    {"iexcl", 0xA1},  {"iquest", 0xBF},  {"sup1", 0xB9},    {"sup2", 0xB2},    {"sup3", 0xB3},
    {"frac12", 0xBD}, {"frac14", 0xBC},  {"frac34", 0xBE},  {"micro", 0xB5},   {"shy", 0xAD},
    {"larr", 0x2190}, {"uarr", 0x2191},  {"rarr", 0x2192},  {"darr", 0x2193},  {"harr", 0x2194},
    {"hearts", 0x2665}, {"spades", 0x2660}, {"clubs", 0x2663}, {"diams", 0x2666}, {"star", 0x2606},
    {"starf", 0x2605}, {"check", 0x2713}, {"ensp", 0x2002}, {"emsp", 0x2003}, {"thinsp", 0x2009},
    {"zwsp", 0x200B}, {"permil", 0x2030}, {"prime", 0x2032}, {"infin", 0x221E}, {"asymp", 0x2248},
    {"ne", 0x2260},   {"le", 0x2264},    {"ge", 0x2265},    {"radic", 0x221A}, {"alpha", 0x3B1},
    {"beta", 0x3B2},  {"pi", 0x3C0},     {"ordm", 0xBA},    {"ordf", 0xAA},    {"macr", 0xAF},
    {"acute", 0xB4},  {"uml", 0xA8},     {"cedil", 0xB8},   {"not", 0xAC},     {"brvbar", 0xA6},
    {"curren", 0xA4},
};

// Without a semicolon browsers still accept the old Latin-1 names.
bool LegacyName(std::string_view name) {
    static constexpr const char* kLegacy[] = {"nbsp", "amp", "lt", "gt", "quot", "yen", "times", "copy", "reg",
                                              "middot", "deg", "laquo", "raquo", "plusmn", "divide"};
    return std::any_of(std::begin(kLegacy), std::end(kLegacy), [&](const char* n) { return name == n; });
}

char32_t Windows1252(char32_t cp) {
    static constexpr char16_t kC1[32] = {0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021,
                                         0x2C6,  0x2030, 0x160,  0x2039, 0x152,  0x8D,   0x17D,  0x8F,
                                         0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                         0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};
    if (cp >= 0x80 && cp <= 0x9F) return kC1[cp - 0x80];
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
    return cp;
}

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Decodes the reference at s[pos] == '&'; on success appends it and returns
// the position after it, otherwise returns pos unchanged.
std::size_t DecodeOne(std::string_view s, std::size_t pos, std::string& out) {
    std::size_t i = pos + 1;
    if (i < s.size() && s[i] == '#') {
        ++i;
        const bool hex = i < s.size() && (s[i] == 'x' || s[i] == 'X');
        if (hex) ++i;
        const std::size_t start = i;
        std::uint32_t value = 0;
        while (i < s.size() && (hex ? IsHex(s[i]) : IsDigit(s[i]))) {
            const char c = s[i];
            const std::uint32_t d = IsDigit(c) ? static_cast<std::uint32_t>(c - '0')
                                               : static_cast<std::uint32_t>(Lower(c) - 'a' + 10);
            if (value <= 0x10FFFF) value = value * (hex ? 16 : 10) + d;  // saturates past the last code point
            ++i;
        }
        if (i == start) return pos;
        if (i < s.size() && s[i] == ';') ++i;
        AppendUtf8(out, Windows1252(value));
        return i;
    }
    std::size_t end = i;
    while (end < s.size() && end - i < 32 && (IsAlpha(s[end]) || IsDigit(s[end]))) ++end;
    const std::string_view name = s.substr(i, end - i);
    if (name.empty()) return pos;
    const bool semicolon = end < s.size() && s[end] == ';';
    for (const auto& e : kEntities) {
        if (name == e.name && (semicolon || LegacyName(name))) {
            AppendUtf8(out, e.cp);
            return semicolon ? end + 1 : end;
        }
    }
    // "&nbspx" and the like: the longest legacy prefix, as browsers do in text.
    if (!semicolon) {
        for (const auto& e : kEntities) {
            const std::string_view n = e.name;
            if (LegacyName(n) && name.size() > n.size() && name.substr(0, n.size()) == n) {
                AppendUtf8(out, e.cp);
                return i + n.size();
            }
        }
    }
    return pos;
}

bool IsVoid(std::string_view t) {
    static constexpr const char* kVoid[] = {"br",   "img", "hr",    "input", "meta",  "link",  "area",
                                            "base", "col", "wbr",   "embed", "param", "source", "track",
                                            "keygen", "basefont", "bgsound", "frame"};
    return std::any_of(std::begin(kVoid), std::end(kVoid), [&](const char* v) { return t == v; });
}

bool ClosesP(std::string_view t) {
    static constexpr const char* kBlocks[] = {"p",  "div", "table", "ul", "ol", "dl", "h1", "h2", "h3",
                                              "h4", "h5",  "h6",    "hr", "center", "pre", "blockquote",
                                              "form", "li", "dd", "dt", "address", "fieldset", "section",
                                              "article", "header", "footer", "nav", "aside", "figure"};
    return std::any_of(std::begin(kBlocks), std::end(kBlocks), [&](const char* v) { return t == v; });
}

bool IsTableSection(std::string_view t) { return t == "tbody" || t == "thead" || t == "tfoot"; }
bool IsTableContext(std::string_view t) { return t == "table" || IsTableSection(t) || t == "tr"; }
bool IsTableStructure(std::string_view t) {
    return IsTableContext(t) || t == "td" || t == "th" || t == "caption" || t == "col" || t == "colgroup";
}

class TreeBuilder {
public:
    TreeBuilder() : root_(std::make_unique<Node>()) {
        root_->tag = "body";
        stack_.push_back(root_.get());
    }

    std::unique_ptr<Node> Finish() { return std::move(root_); }

    void Text(std::string_view decoded) {
        if (decoded.empty()) return;
        Node* top = stack_.back();
        Node* parent = top;
        Node* before = nullptr;
        if (IsTableContext(top->tag)) {
            if (std::all_of(decoded.begin(), decoded.end(), [](char c) { return IsSpace(c); })) return;
            FosterTarget(parent, before);
        }
        std::u16string text = Utf8ToUtf16(decoded);
        auto& siblings = parent->children;
        auto at = before ? std::find_if(siblings.begin(), siblings.end(), [&](auto& c) { return c.get() == before; })
                         : siblings.end();
        if (at != siblings.begin() && (*(at - 1))->isText) {
            (*(at - 1))->text += text;
            return;
        }
        auto node = std::make_unique<Node>();
        node->isText = true;
        node->text = std::move(text);
        node->parent = parent;
        siblings.insert(at, std::move(node));
    }

    void Start(std::string name, std::vector<std::pair<std::string, std::string>> attrs) {
        if (name == "html" || name == "head" || name == "body" || name == "meta" || name == "link" ||
            name == "base" || name == "title")
            return;
        if (ClosesP(name)) ClosePInScope();
        if (name == "li") CloseUpTo({"li"}, {"ul", "ol", "td", "th", "table"});
        if (name == "dd" || name == "dt") CloseUpTo({"dd", "dt"}, {"dl", "td", "th", "table"});
        if (name == "a") CloseUpTo({"a"}, {"td", "th", "table"});
        if (name == "td" || name == "th") {
            CloseUpTo({"td", "th"}, {"table"});
            const std::string& top = stack_.back()->tag;
            if (top == "table" || IsTableSection(top)) Push(MakeElement("tr", {}), false);
            else if (top != "tr") return;  // a cell outside any table is dropped, as browsers do
        } else if (name == "tr") {
            if (!PopToTableContext(true)) return;
        } else if (IsTableSection(name) || name == "caption" || name == "colgroup") {
            if (!PopToTableContext(false)) return;
        } else if (name == "col") {
            if (!IsTableContext(stack_.back()->tag)) return;
        }
        auto element = MakeElement(std::move(name), std::move(attrs));
        const bool isVoid = IsVoid(element->tag);
        const bool foster = IsTableContext(stack_.back()->tag) && !IsTableStructure(element->tag) &&
                            element->tag != "form" && element->tag != "input";
        Push(std::move(element), foster, isVoid);
    }

    void End(const std::string& name) {
        if (name == "br") {
            Start("br", {});
            return;
        }
        if (name == "html" || name == "head" || name == "body") return;
        std::vector<std::string> stops;
        if (name == "td" || name == "th" || name == "tr" || IsTableSection(name)) stops = {"table"};
        else if (name != "table") stops = {"td", "th", "table", "caption"};
        CloseUpTo({name}, stops);
    }

private:
    std::unique_ptr<Node> MakeElement(std::string name, std::vector<std::pair<std::string, std::string>> attrs) {
        auto n = std::make_unique<Node>();
        n->tag = std::move(name);
        n->attrs = std::move(attrs);
        return n;
    }

    // Content met where only table rows belong goes just before the table.
    void FosterTarget(Node*& parent, Node*& before) {
        for (std::size_t i = stack_.size(); i-- > 1;) {
            if (stack_[i]->tag == "table") {
                before = stack_[i];
                parent = stack_[i]->parent;
                return;
            }
        }
    }

    void Push(std::unique_ptr<Node> element, bool foster, bool isVoid = false) {
        Node* parent = stack_.back();
        Node* before = nullptr;
        if (foster) FosterTarget(parent, before);
        element->parent = parent;
        Node* raw = element.get();
        auto& siblings = parent->children;
        auto at = before ? std::find_if(siblings.begin(), siblings.end(), [&](auto& c) { return c.get() == before; })
                         : siblings.end();
        siblings.insert(at, std::move(element));
        // Past the depth limit elements stay empty and their content joins the parent.
        if (!isVoid && stack_.size() < static_cast<std::size_t>(kMaxDepth)) stack_.push_back(raw);
    }

    void ClosePInScope() { CloseUpTo({"p"}, {"td", "th", "table", "caption", "button"}); }

    // Pops up to and including the nearest element named in `names`, unless
    // one named in `stops` comes first; does nothing when none is open.
    void CloseUpTo(std::initializer_list<std::string_view> names, const std::vector<std::string>& stops) {
        for (std::size_t i = stack_.size(); i-- > 1;) {
            const std::string& t = stack_[i]->tag;
            if (std::find(names.begin(), names.end(), t) != names.end()) {
                stack_.resize(i);
                return;
            }
            if (std::find(stops.begin(), stops.end(), t) != stops.end()) return;
        }
    }
    void CloseUpTo(std::initializer_list<std::string_view> names, std::initializer_list<const char*> stops) {
        CloseUpTo(names, std::vector<std::string>(stops.begin(), stops.end()));
    }

    // Makes the nearest table (or, for rows, its section) the open element.
    bool PopToTableContext(bool sectionOk) {
        for (std::size_t i = stack_.size(); i-- > 1;) {
            const std::string& t = stack_[i]->tag;
            if (t == "table" || (sectionOk && IsTableSection(t))) {
                stack_.resize(i + 1);
                return true;
            }
        }
        return false;
    }

    std::unique_ptr<Node> root_;
    std::vector<Node*> stack_;
};

std::size_t FindCaseless(std::string_view s, std::string_view what, std::size_t from) {
    for (std::size_t i = from; i + what.size() <= s.size(); ++i) {
        std::size_t k = 0;
        while (k < what.size() && Lower(s[i + k]) == what[k]) ++k;
        if (k == what.size()) return i;
    }
    return std::string_view::npos;
}

}  // namespace

std::string DecodeEntities(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        if (s[i] == '&') {
            const std::size_t next = DecodeOne(s, i, out);
            if (next != i) {
                i = next;
                continue;
            }
        }
        out += s[i++];
    }
    return out;
}

std::unique_ptr<Node> ParseHtml(std::string_view s) {
    TreeBuilder tree;
    std::size_t i = 0;
    const std::size_t n = s.size();
    if (n >= 3 && s.substr(0, 3) == "\xEF\xBB\xBF") i = 3;
    while (i < n) {
        if (s[i] != '<') {
            const std::size_t end = std::min(s.find('<', i), n);
            tree.Text(DecodeEntities(s.substr(i, end - i)));
            i = end;
            continue;
        }
        if (s.compare(i, 4, "<!--") == 0) {
            const std::size_t end = s.find("-->", i + 4);
            i = end == std::string_view::npos ? n : end + 3;
            continue;
        }
        if (i + 1 < n && (s[i + 1] == '!' || s[i + 1] == '?')) {
            const std::size_t end = s.find('>', i);
            i = end == std::string_view::npos ? n : end + 1;
            continue;
        }
        const bool endTag = i + 1 < n && s[i + 1] == '/';
        std::size_t p = i + (endTag ? 2 : 1);
        if (p >= n || !IsAlpha(s[p])) {
            if (endTag && p < n) {  // "</ junk>" is a comment to browsers
                const std::size_t end = s.find('>', p);
                i = end == std::string_view::npos ? n : end + 1;
            } else {
                tree.Text("<");
                ++i;
            }
            continue;
        }
        std::string name;
        while (p < n && !IsSpace(s[p]) && s[p] != '/' && s[p] != '>') name += Lower(s[p++]);
        std::vector<std::pair<std::string, std::string>> attrs;
        while (p < n && s[p] != '>') {
            if (IsSpace(s[p]) || s[p] == '/') {
                ++p;
                continue;
            }
            std::string key;
            do key += Lower(s[p++]);
            while (p < n && !IsSpace(s[p]) && s[p] != '/' && s[p] != '>' && s[p] != '=');
            while (p < n && IsSpace(s[p])) ++p;
            std::string value;
            if (p < n && s[p] == '=') {
                ++p;
                while (p < n && IsSpace(s[p])) ++p;
                if (p < n && (s[p] == '"' || s[p] == '\'')) {
                    const char q = s[p++];
                    const std::size_t end = std::min(s.find(q, p), n);
                    value = DecodeEntities(s.substr(p, end - p));
                    p = end < n ? end + 1 : n;
                } else {
                    const std::size_t start = p;
                    while (p < n && !IsSpace(s[p]) && s[p] != '>') ++p;
                    value = DecodeEntities(s.substr(start, p - start));
                }
            }
            if (!endTag && std::none_of(attrs.begin(), attrs.end(), [&](auto& a) { return a.first == key; }))
                attrs.emplace_back(std::move(key), std::move(value));
        }
        i = p < n ? p + 1 : n;
        if (endTag) {
            tree.End(name);
            continue;
        }
        if (name == "script" || name == "style" || name == "title" || name == "textarea" || name == "xmp") {
            // Raw text: nothing inside is markup, and none of it is shown.
            const std::size_t end = FindCaseless(s, "</" + name, i);
            if (end == std::string_view::npos) {
                i = n;
            } else {
                const std::size_t close = s.find('>', end);
                i = close == std::string_view::npos ? n : close + 1;
            }
            continue;
        }
        tree.Start(std::move(name), std::move(attrs));
    }
    return tree.Finish();
}

}  // namespace mojian::html
