#include "html/Parser.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <span>
#include <unordered_set>
#include <utility>

#include "base/Utf.h"
#include "html/Entities.h"

namespace mojian::html {

namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool OneOf(std::string_view t, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return t == n; });
}

bool DecodesReferences(std::string_view t) { return t == "title" || t == "textarea"; }

// What goes in the head while the body has not started.
bool BelongsInHead(std::string_view t) { return OneOf(t, {"meta", "link", "base", "title", "style", "script"}); }

bool ClosesP(std::string_view t) {
    return OneOf(t, {"p", "div", "table", "ul", "ol", "dl", "h1", "h2", "h3", "h4", "h5", "h6", "hr", "center", "pre",
                     "blockquote", "form", "li", "dd", "dt", "address", "fieldset", "section", "article", "header",
                     "footer", "nav", "aside", "figure"});
}

bool IsTableSection(std::string_view t) { return t == "tbody" || t == "thead" || t == "tfoot"; }
bool IsTableContext(std::string_view t) { return t == "table" || IsTableSection(t) || t == "tr"; }
bool IsTableStructure(std::string_view t) {
    return IsTableContext(t) || t == "td" || t == "th" || t == "caption" || t == "col" || t == "colgroup";
}

bool AllSpace(std::string_view s) { return std::all_of(s.begin(), s.end(), IsSpace); }

// A start tag as the tokenizer read it.
struct StartTag {
    std::string name;
    std::vector<Attribute> attrs;
    SourceRange range;
    bool selfClosing = false;
};

// Builds the tree from the tokens in source order: the html element, its
// head while the body has not started, then the body with the browser's
// rules for implied end tags and table structure.
class TreeBuilder {
public:
    TreeBuilder() : root_(std::make_unique<Node>()) { root_->kind = NodeKind::Document; }

    void Markup(NodeKind kind, SourceRange range, std::u16string text) {
        auto node = std::make_unique<Node>();
        node->kind = kind;
        node->range = range;
        node->text = std::move(text);
        Node* parent = phase_ == Phase::BeforeHtml ? root_.get()
                       : phase_ == Phase::InHead   ? head_
                       : phase_ == Phase::InBody   ? stack_.back()
                                                   : html_;
        Append(parent, std::move(node));
    }

    // Text as written at `range`, `decoded` its references decoded.
    void Text(SourceRange range, std::string_view decoded) {
        if (decoded.empty()) return;
        if (phase_ != Phase::InBody) {
            // White space before the body goes where browsers keep it; the
            // first other character starts the body.
            const auto lead = static_cast<std::size_t>(
                std::find_if_not(decoded.begin(), decoded.end(), IsSpace) - decoded.begin());
            if (lead > 0) {
                if (phase_ == Phase::InHead) AppendText(head_, nullptr, {range.begin, range.begin + lead}, decoded.substr(0, lead));
                else if (phase_ == Phase::AfterHead) AppendText(html_, nullptr, {range.begin, range.begin + lead}, decoded.substr(0, lead));
                range.begin += lead;
                decoded.remove_prefix(lead);
            }
            if (decoded.empty()) return;
            StartBody(range.begin);
        }
        Node* top = stack_.back();
        Node* parent = top;
        Node* before = nullptr;
        if (IsTableContext(top->tag)) {
            if (AllSpace(decoded)) return;  // never shown, and browsers keep it out of the rendering
            FosterTarget(parent, before);
        }
        AppendText(parent, before, range, decoded);
    }

    // Returns the element made for the tag, or nullptr when it has none.
    Node* Start(StartTag tag) {
        const std::string& name = tag.name;
        if (name == "html") {
            if (html_) return Stray(tag.name, false, tag.range);
            html_ = NewElement(root_.get(), std::move(tag));
            phase_ = Phase::BeforeHead;
            return html_;
        }
        if (name == "head") {
            if (phase_ > Phase::BeforeHead) return Stray(tag.name, false, tag.range);
            EnsureHtml(tag.range.begin);
            head_ = NewElement(html_, std::move(tag));
            phase_ = Phase::InHead;
            return head_;
        }
        if (name == "body") {
            if (phase_ == Phase::InBody) return Stray(tag.name, false, tag.range);
            EnsureHead(tag.range.begin);
            body_ = NewElement(html_, std::move(tag));
            stack_.assign(1, body_);
            phase_ = Phase::InBody;
            return body_;
        }
        if (phase_ != Phase::InBody) {
            if (BelongsInHead(name)) {
                if (phase_ == Phase::BeforeHtml || phase_ == Phase::BeforeHead) {
                    EnsureHead(tag.range.begin);
                    phase_ = Phase::InHead;
                }
                return NewElement(head_, std::move(tag));
            }
            StartBody(tag.range.begin);
        }
        return StartInBody(std::move(tag));
    }

    // An end tag; `range` is all of it.
    void End(const std::string& name, SourceRange range) {
        if (name == "br") {  // "</br>" is a line break to browsers
            StartTag br;
            br.name = "br";
            br.range = range;
            Start(std::move(br));
            return;
        }
        if (name == "head") {
            if (phase_ != Phase::InHead || head_->endTag) {
                Stray(name, true, range);
                return;
            }
            head_->endTag = range;
            phase_ = Phase::AfterHead;
            return;
        }
        if (name == "body" || name == "html") {
            // Browsers keep adding what follows to the body: nothing closes here.
            StartBody(range.begin);
            Node* element = name == "body" ? body_ : html_;
            if (element->endTag) Stray(name, true, range);
            else element->endTag = range;
            return;
        }
        if (phase_ != Phase::InBody) {
            Stray(name, true, range);
            return;
        }
        static constexpr std::string_view kTable[] = {"table"};
        static constexpr std::string_view kCellOrTable[] = {"td", "th", "table", "caption"};
        std::span<const std::string_view> stops;
        if (name == "td" || name == "th" || name == "tr" || IsTableSection(name)) stops = kTable;
        else if (name != "table") stops = kCellOrTable;
        if (Node* closed = CloseUpTo({name}, stops)) closed->endTag = range;
        else Stray(name, true, range);
    }

    // Text inside a raw-text element, appended to it whatever it holds.
    void RawText(Node* element, SourceRange range, std::u16string text) {
        if (text.empty()) return;
        auto node = std::make_unique<Node>();
        node->kind = NodeKind::Text;
        node->range = range;
        node->text = std::move(text);
        Append(element, std::move(node));
    }

    Document Finish(std::size_t sourceSize) {
        StartBody(sourceSize);
        root_->range = {0, sourceSize};
        Extend(*root_);
        Document doc;
        doc.root = std::move(root_);
        doc.html = html_;
        doc.head = head_;
        doc.body = body_;
        doc.strayTags = std::move(strays_);
        doc.sourceSize = sourceSize;
        doc.flattenedFrom = flattenedFrom_;
        return doc;
    }

private:
    enum class Phase : std::uint8_t { BeforeHtml, BeforeHead, InHead, AfterHead, InBody };

    Node* Stray(std::string name, bool endTag, SourceRange range) {
        strays_.push_back({std::move(name), endTag, range});
        return nullptr;
    }

    // Where `before` stands among the siblings, or their end. Content is
    // fostered before a table that is still open, which is among the last of
    // its parent's children: searched from the back, a page that fosters
    // much after many siblings still costs time in proportion to its length.
    static std::vector<std::unique_ptr<Node>>::iterator Position(std::vector<std::unique_ptr<Node>>& siblings,
                                                                 const Node* before) {
        if (!before) return siblings.end();
        const auto found = std::find_if(siblings.rbegin(), siblings.rend(), [&](auto& c) { return c.get() == before; });
        return found == siblings.rend() ? siblings.end() : std::prev(found.base());
    }

    static void Append(Node* parent, std::unique_ptr<Node> node, Node* before = nullptr) {
        node->parent = parent;
        auto& siblings = parent->children;
        siblings.insert(Position(siblings, before), std::move(node));
    }

    // A text run joins the text just before it when the two are contiguous
    // in the source (text around a literal "<").
    static void AppendText(Node* parent, Node* before, SourceRange range, std::string_view decoded) {
        auto& siblings = parent->children;
        const auto at = Position(siblings, before);
        if (at != siblings.begin()) {
            Node& prev = **(at - 1);
            if (prev.IsText() && prev.range.end == range.begin) {
                prev.text += Utf8ToUtf16(decoded);
                prev.range.end = range.end;
                return;
            }
        }
        auto node = std::make_unique<Node>();
        node->kind = NodeKind::Text;
        node->range = range;
        node->text = Utf8ToUtf16(decoded);
        node->parent = parent;
        siblings.insert(at, std::move(node));
    }

    static Node* NewElement(Node* parent, StartTag tag) {
        auto element = std::make_unique<Node>();
        element->tag = std::move(tag.name);
        element->attrs = std::move(tag.attrs);
        element->startTag = tag.range;
        element->selfClosing = tag.selfClosing;
        Node* raw = element.get();
        Append(parent, std::move(element));
        return raw;
    }

    // An element the source has no start tag for, made up at `at`.
    static std::unique_ptr<Node> Implied(std::string name, std::size_t at) {
        auto element = std::make_unique<Node>();
        element->tag = std::move(name);
        element->startTag = {at, at};
        element->implied = true;
        return element;
    }

    void EnsureHtml(std::size_t at) {
        if (html_) return;
        auto html = Implied("html", at);
        html_ = html.get();
        Append(root_.get(), std::move(html));
        phase_ = Phase::BeforeHead;
    }

    // The head exists and is closed.
    void EnsureHead(std::size_t at) {
        EnsureHtml(at);
        if (!head_) {
            auto head = Implied("head", at);
            head_ = head.get();
            Append(html_, std::move(head));
        }
        if (phase_ < Phase::AfterHead) phase_ = Phase::AfterHead;
    }

    void StartBody(std::size_t at) {
        if (phase_ == Phase::InBody) return;
        EnsureHead(at);
        auto body = Implied("body", at);
        body_ = body.get();
        Append(html_, std::move(body));
        stack_.assign(1, body_);
        phase_ = Phase::InBody;
    }

    Node* StartInBody(StartTag tag) {
        const std::string& name = tag.name;
        if (ClosesP(name)) ClosePInScope();
        if (name == "li") CloseUpTo({"li"}, {"ul", "ol", "td", "th", "table"});
        if (name == "dd" || name == "dt") CloseUpTo({"dd", "dt"}, {"dl", "td", "th", "table"});
        if (name == "a") CloseUpTo({"a"}, {"td", "th", "table"});
        if (name == "td" || name == "th") {
            CloseUpTo({"td", "th"}, {"table"});
            const std::string& top = stack_.back()->tag;
            if (top == "table" || IsTableSection(top)) Push(Implied("tr", tag.range.begin), false, true);
            else if (top != "tr") return Stray(tag.name, false, tag.range);  // a cell outside any table, as browsers do
        } else if (name == "tr") {
            if (!PopToTableContext(true)) return Stray(tag.name, false, tag.range);
        } else if (IsTableSection(name) || name == "caption" || name == "colgroup") {
            if (!PopToTableContext(false)) return Stray(tag.name, false, tag.range);
        } else if (name == "col") {
            if (!IsTableContext(stack_.back()->tag)) return Stray(tag.name, false, tag.range);
        } else if (name == "table" && IsTableContext(stack_.back()->tag)) {
            // A table where only rows belong (in a row, outside any cell)
            // ends the table it is in and follows it, as browsers parse it.
            CloseUpTo({"table"}, std::span<const std::string_view>{});
        }
        auto element = std::make_unique<Node>();
        element->tag = std::move(tag.name);
        element->attrs = std::move(tag.attrs);
        element->startTag = tag.range;
        element->selfClosing = tag.selfClosing;
        const std::string& t = element->tag;
        // Raw-text elements are closed by the tokenizer, not the stack.
        const bool open = !IsVoidElement(t) && !IsRawTextElement(t);
        const bool foster = IsTableContext(stack_.back()->tag) && !IsTableStructure(t) && t != "form" &&
                            t != "input" && t != "script" && t != "style";
        return Push(std::move(element), foster, open);
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

    Node* Push(std::unique_ptr<Node> element, bool foster, bool open) {
        Node* parent = stack_.back();
        Node* before = nullptr;
        if (foster) FosterTarget(parent, before);
        Node* raw = element.get();
        Append(parent, std::move(element), before);
        // Past the depth limit elements stay empty and their content joins the parent.
        if (open && stack_.size() < static_cast<std::size_t>(kMaxDepth)) {
            stack_.push_back(raw);
            if (raw->tag == "p") ++openParagraphs_;
        }
        else if (open && flattenedFrom_ == std::string_view::npos) flattenedFrom_ = raw->startTag.begin;
        return raw;
    }

    // Most start tags close an open paragraph; with none open (the usual
    // case) the stack need not be searched.
    void ClosePInScope() {
        if (openParagraphs_ > 0) CloseUpTo({"p"}, {"td", "th", "table", "caption", "button"});
    }

    void PopTo(std::size_t size) {
        for (std::size_t i = size; i < stack_.size(); ++i)
            if (stack_[i]->tag == "p") --openParagraphs_;
        stack_.resize(size);
    }

    // Pops up to and including the nearest element named in `names`, unless
    // one named in `stops` comes first; returns the element it closed, or
    // nullptr when none is open.
    Node* CloseUpTo(std::initializer_list<std::string_view> names, std::span<const std::string_view> stops) {
        for (std::size_t i = stack_.size(); i-- > 1;) {
            const std::string& t = stack_[i]->tag;
            if (std::find(names.begin(), names.end(), t) != names.end()) {
                Node* closed = stack_[i];
                PopTo(i);
                return closed;
            }
            if (std::find(stops.begin(), stops.end(), t) != stops.end()) return nullptr;
        }
        return nullptr;
    }
    Node* CloseUpTo(std::initializer_list<std::string_view> names, std::initializer_list<std::string_view> stops) {
        return CloseUpTo(names, std::span<const std::string_view>(stops.begin(), stops.size()));
    }

    // Makes the nearest table (or, for rows, its section) the open element.
    bool PopToTableContext(bool sectionOk) {
        for (std::size_t i = stack_.size(); i-- > 1;) {
            const std::string& t = stack_[i]->tag;
            if (t == "table" || (sectionOk && IsTableSection(t))) {
                PopTo(i + 1);
                return true;
            }
        }
        return false;
    }

    // An element's range spans its tags and everything it holds.
    static void Extend(Node& n) {
        for (auto& c : n.children) {
            Extend(*c);
            n.range.end = std::max(n.range.end, c->range.end);
        }
        if (n.IsElement()) {
            n.range.begin = n.startTag.begin;
            n.range.end = std::max({n.range.end, n.startTag.end, n.endTag ? n.endTag->end : 0});
        }
    }

    std::unique_ptr<Node> root_;
    Node* html_ = nullptr;
    Node* head_ = nullptr;
    Node* body_ = nullptr;
    Phase phase_ = Phase::BeforeHtml;
    std::vector<Node*> stack_;  // open elements in the body, the body first
    std::size_t openParagraphs_ = 0;  // <p> elements in stack_
    std::vector<StrayTag> strays_;
    std::size_t flattenedFrom_ = std::string_view::npos;
};

std::size_t FindCaseless(std::string_view s, std::string_view what, std::size_t from) {
    for (std::size_t i = from; i + what.size() <= s.size(); ++i) {
        std::size_t k = 0;
        while (k < what.size() && Lower(s[i + k]) == what[k]) ++k;
        if (k == what.size()) return i;
    }
    return std::string_view::npos;
}

// Reads the attributes of a tag from s[p] up to its '>' (or the end); leaves
// p at the '>' or at the end. Attributes of end tags are read and dropped.
std::vector<Attribute> ReadAttributes(std::string_view s, std::size_t& p, bool& selfClosing) {
    const std::size_t n = s.size();
    std::vector<Attribute> attrs;
    constexpr std::size_t kFewAttributes = 16;
    std::unordered_set<std::string> seen;
    selfClosing = false;
    while (p < n && s[p] != '>') {
        if (IsSpace(s[p]) || s[p] == '/') {
            selfClosing = s[p] == '/';
            ++p;
            continue;
        }
        selfClosing = false;
        Attribute a;
        a.range.begin = a.nameRange.begin = p;
        do a.name += Lower(s[p++]);
        while (p < n && !IsSpace(s[p]) && s[p] != '/' && s[p] != '>' && s[p] != '=');
        a.nameRange.end = a.range.end = p;
        a.valueRange = {p, p};
        std::size_t q = p;
        while (q < n && IsSpace(s[q])) ++q;
        if (q < n && s[q] == '=') {
            p = q + 1;
            while (p < n && IsSpace(s[p])) ++p;
            if (p < n && (s[p] == '"' || s[p] == '\'')) {
                const char quote = s[p++];
                a.quote = quote == '"' ? Quote::Double : Quote::Single;
                const std::size_t end = std::min(s.find(quote, p), n);
                a.valueRange = {p, end};
                p = end < n ? end + 1 : n;
            } else {
                a.quote = Quote::Unquoted;
                const std::size_t start = p;
                while (p < n && !IsSpace(s[p]) && s[p] != '>') ++p;
                a.valueRange = {start, p};
            }
            a.range.end = p;
            a.value = DecodeEntities(a.valueRange.Of(s), true);
        }
        // A tag's few attributes are compared one by one; a tag with very
        // many looks its names up, so that it costs time in proportion to them.
        if (attrs.size() < kFewAttributes) {
            a.duplicate = std::any_of(attrs.begin(), attrs.end(), [&](const Attribute& b) { return b.name == a.name; });
        } else {
            if (seen.empty())
                for (const Attribute& b : attrs) seen.insert(b.name);
            a.duplicate = !seen.insert(a.name).second;
        }
        attrs.push_back(std::move(a));
    }
    return attrs;
}

bool StartsCaseless(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (Lower(s[i]) != Lower(prefix[i])) return false;
    return true;
}

// The mode a doctype puts a browser in; `text` is what stands between "<!"
// and ">": "DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Transitional//EN" "...".
Compat CompatOf(std::string_view text) {
    std::size_t i = 7;  // past "DOCTYPE"
    auto skipSpace = [&] {
        while (i < text.size() && IsSpace(text[i])) ++i;
    };
    auto word = [&] {
        const std::size_t start = i;
        while (i < text.size() && !IsSpace(text[i]) && text[i] != '"' && text[i] != '\'') ++i;
        return std::string(text.substr(start, i - start));
    };
    auto quoted = [&]() -> std::optional<std::string> {
        skipSpace();
        if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) return std::nullopt;
        const char q = text[i++];
        const std::size_t start = i;
        while (i < text.size() && text[i] != q) ++i;
        std::string v(text.substr(start, i - start));
        if (i < text.size()) ++i;
        return v;
    };
    skipSpace();
    std::string name = word();
    for (char& c : name) c = Lower(c);
    if (name != "html") return Compat::Quirks;
    skipSpace();
    std::string keyword = word();
    for (char& c : keyword) c = Lower(c);
    std::optional<std::string> publicId, systemId;
    if (keyword == "public") {
        publicId = quoted();
        if (!publicId) return Compat::Quirks;
        systemId = quoted();
    } else if (keyword == "system") {
        systemId = quoted();
        if (!systemId) return Compat::Quirks;
    } else if (!keyword.empty()) {
        return Compat::Quirks;
    }
    const std::string pub = publicId.value_or("");
    auto equals = [&](std::string_view a, std::string_view b) { return a.size() == b.size() && StartsCaseless(a, b); };
    if (equals(pub, "-//W3O//DTD W3 HTML Strict 3.0//EN//") || equals(pub, "-/W3C/DTD HTML 4.0 Transitional/EN") ||
        equals(pub, "HTML") ||
        (systemId && equals(*systemId, "http://www.ibm.com/data/dtd/v11/ibmxhtml1-transitional.dtd")))
        return Compat::Quirks;
    static constexpr const char* kQuirks[] = {
        "+//Silmaril//dtd html Pro v0r11 19970101//", "-//AS//DTD HTML 3.0 asWedit + extensions//",
        "-//AdvaSoft Ltd//DTD HTML 3.0 asWedit + extensions//", "-//IETF//DTD HTML 2.0 Level 1//",
        "-//IETF//DTD HTML 2.0 Level 2//", "-//IETF//DTD HTML 2.0 Strict Level 1//",
        "-//IETF//DTD HTML 2.0 Strict Level 2//", "-//IETF//DTD HTML 2.0 Strict//", "-//IETF//DTD HTML 2.0//",
        "-//IETF//DTD HTML 2.1E//", "-//IETF//DTD HTML 3.0//", "-//IETF//DTD HTML 3.2 Final//",
        "-//IETF//DTD HTML 3.2//", "-//IETF//DTD HTML 3//", "-//IETF//DTD HTML Level 0//",
        "-//IETF//DTD HTML Level 1//", "-//IETF//DTD HTML Level 2//", "-//IETF//DTD HTML Level 3//",
        "-//IETF//DTD HTML Strict Level 0//", "-//IETF//DTD HTML Strict Level 1//",
        "-//IETF//DTD HTML Strict Level 2//", "-//IETF//DTD HTML Strict Level 3//", "-//IETF//DTD HTML Strict//",
        "-//IETF//DTD HTML//", "-//Metrius//DTD Metrius Presentational//",
        "-//Microsoft//DTD Internet Explorer 2.0 HTML Strict//", "-//Microsoft//DTD Internet Explorer 2.0 HTML//",
        "-//Microsoft//DTD Internet Explorer 2.0 Tables//", "-//Microsoft//DTD Internet Explorer 3.0 HTML Strict//",
        "-//Microsoft//DTD Internet Explorer 3.0 HTML//", "-//Microsoft//DTD Internet Explorer 3.0 Tables//",
        "-//Netscape Comm. Corp.//DTD HTML//", "-//Netscape Comm. Corp.//DTD Strict HTML//",
        "-//O'Reilly and Associates//DTD HTML 2.0//", "-//O'Reilly and Associates//DTD HTML Extended 1.0//",
        "-//O'Reilly and Associates//DTD HTML Extended Relaxed 1.0//",
        "-//SQ//DTD HTML 2.0 HoTMetaL + extensions//",
        "-//SoftQuad Software//DTD HoTMetaL PRO 6.0::19990601::extensions to HTML 4.0//",
        "-//SoftQuad//DTD HoTMetaL PRO 4.0::19971010::extensions to HTML 4.0//",
        "-//Spyglass//DTD HTML 2.0 Extended//", "-//Sun Microsystems Corp.//DTD HotJava HTML//",
        "-//Sun Microsystems Corp.//DTD HotJava Strict HTML//", "-//W3C//DTD HTML 3 1995-03-24//",
        "-//W3C//DTD HTML 3.2 Draft//", "-//W3C//DTD HTML 3.2 Final//", "-//W3C//DTD HTML 3.2//",
        "-//W3C//DTD HTML 3.2S Draft//", "-//W3C//DTD HTML 4.0 Frameset//", "-//W3C//DTD HTML 4.0 Transitional//",
        "-//W3C//DTD HTML Experimental 19960712//", "-//W3C//DTD HTML Experimental 970421//",
        "-//W3C//DTD W3 HTML//", "-//W3O//DTD W3 HTML 3.0//", "-//WebTechs//DTD Mozilla HTML 2.0//",
        "-//WebTechs//DTD Mozilla HTML//"};
    for (const char* prefix : kQuirks)
        if (StartsCaseless(pub, prefix)) return Compat::Quirks;
    const bool html401 =
        StartsCaseless(pub, "-//W3C//DTD HTML 4.01 Frameset//") || StartsCaseless(pub, "-//W3C//DTD HTML 4.01 Transitional//");
    if (html401 && !systemId) return Compat::Quirks;
    if (html401 || StartsCaseless(pub, "-//W3C//DTD XHTML 1.0 Frameset//") ||
        StartsCaseless(pub, "-//W3C//DTD XHTML 1.0 Transitional//"))
        return Compat::LimitedQuirks;
    return Compat::NoQuirks;
}

}  // namespace

bool IsVoidElement(std::string_view t) {
    return OneOf(t, {"br", "img", "hr", "input", "meta", "link", "area", "base", "col", "wbr", "embed", "param",
                     "source", "track", "keygen", "basefont", "bgsound", "frame"});
}

bool IsRawTextElement(std::string_view t) { return OneOf(t, {"title", "textarea", "script", "style", "xmp"}); }

Document ParseHtml(std::string_view s) {
    TreeBuilder tree;
    std::size_t i = 0;
    const std::size_t n = s.size();
    if (n >= 3 && s.substr(0, 3) == "\xEF\xBB\xBF") i = 3;
    while (i < n) {
        if (s[i] != '<') {
            const std::size_t end = std::min(s.find('<', i), n);
            tree.Text({i, end}, DecodeEntities(s.substr(i, end - i)));
            i = end;
            continue;
        }
        if (s.compare(i, 4, "<!--") == 0) {
            const std::size_t end = s.find("-->", i + 4);
            const std::size_t stop = end == std::string_view::npos ? n : end;
            const std::size_t next = end == std::string_view::npos ? n : end + 3;
            tree.Markup(NodeKind::Comment, {i, next}, Utf8ToUtf16(s.substr(i + 4, stop - (i + 4))));
            i = next;
            continue;
        }
        if (i + 1 < n && (s[i + 1] == '!' || s[i + 1] == '?')) {
            // A doctype, or markup browsers keep as a comment ("<?xml ...?>").
            const std::size_t end = s.find('>', i);
            const std::size_t stop = end == std::string_view::npos ? n : end;
            const std::size_t next = end == std::string_view::npos ? n : end + 1;
            const bool doctype = s[i + 1] == '!' && FindCaseless(s.substr(i, std::min<std::size_t>(9, n - i)), "<!doctype", 0) == 0;
            tree.Markup(doctype ? NodeKind::Doctype : NodeKind::Comment, {i, next},
                        Utf8ToUtf16(s.substr(i + 2, stop - (i + 2))));
            i = next;
            continue;
        }
        const bool endTag = i + 1 < n && s[i + 1] == '/';
        std::size_t p = i + (endTag ? 2 : 1);
        if (p >= n || !IsAlpha(s[p])) {
            if (endTag && p < n) {  // "</ junk>" is a comment to browsers
                const std::size_t end = s.find('>', p);
                const std::size_t stop = end == std::string_view::npos ? n : end;
                const std::size_t next = end == std::string_view::npos ? n : end + 1;
                tree.Markup(NodeKind::Comment, {i, next}, Utf8ToUtf16(s.substr(p, stop - p)));
                i = next;
            } else {
                tree.Text({i, i + 1}, "<");
                ++i;
            }
            continue;
        }
        StartTag tag;
        tag.range.begin = i;
        while (p < n && !IsSpace(s[p]) && s[p] != '/' && s[p] != '>') tag.name += Lower(s[p++]);
        tag.attrs = ReadAttributes(s, p, tag.selfClosing);
        i = p < n ? p + 1 : n;
        tag.range.end = i;
        if (endTag) {
            tree.End(tag.name, tag.range);
            continue;
        }
        const std::string name = tag.name;
        Node* element = tree.Start(std::move(tag));
        if (!IsRawTextElement(name)) continue;
        // Raw text: nothing inside is markup.
        const std::size_t end = FindCaseless(s, "</" + name, i);
        const std::size_t stop = end == std::string_view::npos ? n : end;
        const std::string_view raw = s.substr(i, stop - i);
        if (element)
            tree.RawText(element, {i, stop}, Utf8ToUtf16(DecodesReferences(name) ? DecodeEntities(raw) : std::string(raw)));
        if (end == std::string_view::npos) {
            i = n;
        } else {
            const std::size_t close = s.find('>', end);
            i = close == std::string_view::npos ? n : close + 1;
            if (element) element->endTag = SourceRange{end, i};
        }
    }
    Document doc = tree.Finish(n);
    // Only a doctype ahead of the html element counts.
    for (const auto& child : doc.root->children) {
        if (child->kind == NodeKind::Doctype) {
            doc.compat = CompatOf(Utf16ToUtf8(child->text));
            Doctype d;
            const std::string t = Utf16ToUtf8(child->text);
            std::size_t a = 7;
            while (a < t.size() && IsSpace(t[a])) ++a;
            while (a < t.size() && !IsSpace(t[a])) d.name += Lower(t[a++]);
            doc.doctype = d;
            break;
        }
        if (child->IsElement()) break;
    }
    return doc;
}

Document ParseHtmlFragment(std::string_view utf8) { return ParseHtml(utf8); }

}  // namespace mojian::html
