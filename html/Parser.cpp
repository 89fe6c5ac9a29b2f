#include "html/Parser.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "base/Text.h"
#include "base/Utf.h"
#include "html/Entities.h"

namespace mojian::html {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD, for NUL where browsers put it

bool StartsCaseless(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (Lower(s[i]) != Lower(prefix[i])) return false;
    return true;
}

bool EqualsCaseless(std::string_view a, std::string_view b) { return a.size() == b.size() && StartsCaseless(a, b); }

// Line breaks as browsers read them: CR LF and a lone CR are LF.
void FoldLineBreaks(std::string& s) {
    if (s.find('\r') == std::string::npos) return;
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\r') out += s[i];
        else {
            out += '\n';
            if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
        }
    }
    s = std::move(out);
}

void ReplaceNul(std::string& s) {
    for (std::size_t at = s.find('\0'); at != std::string::npos; at = s.find('\0', at + kReplacement.size()))
        s.replace(at, 1, kReplacement);
}

// The elements the tree builder tells apart; every other name is Other.
enum class Tag : std::uint8_t {
    Other, A, Address, Applet, Area, Article, Aside, B, Base, Basefont, Bgsound, Big, Blockquote, Body, Br, Button,
    Caption, Center, Code, Col, Colgroup, Dd, Details, Dialog, Dir, Div, Dl, Dt, Em, Embed, Fieldset, Figcaption,
    Figure, Font, Footer, Form, Frame, Frameset, H1, H2, H3, H4, H5, H6, Head, Header, Hgroup, Hr, Html, I, Iframe,
    Image, Img, Input, Keygen, Li, Link, Listing, Main, Marquee, Menu, Meta, Nav, Nobr, Noembed, Noframes, Noscript,
    Object, Ol, Optgroup, Option, P, Param, Plaintext, Pre, Rb, Rp, Rt, Rtc, Ruby, S, Script, Search, Section,
    Select, Small, Source, Strike, Strong, Style, Summary, Table, Tbody, Td, Template, Textarea, Tfoot, Th, Thead,
    Title, Tr, Track, Tt, U, Ul, Wbr, Xmp, Count
};

constexpr const char* kTagNames[] = {
    "", "a", "address", "applet", "area", "article", "aside", "b", "base", "basefont", "bgsound", "big",
    "blockquote", "body", "br", "button", "caption", "center", "code", "col", "colgroup", "dd", "details", "dialog",
    "dir", "div", "dl", "dt", "em", "embed", "fieldset", "figcaption", "figure", "font", "footer", "form", "frame",
    "frameset", "h1", "h2", "h3", "h4", "h5", "h6", "head", "header", "hgroup", "hr", "html", "i", "iframe", "image",
    "img", "input", "keygen", "li", "link", "listing", "main", "marquee", "menu", "meta", "nav", "nobr", "noembed",
    "noframes", "noscript", "object", "ol", "optgroup", "option", "p", "param", "plaintext", "pre", "rb", "rp", "rt",
    "rtc", "ruby", "s", "script", "search", "section", "select", "small", "source", "strike", "strong", "style",
    "summary", "table", "tbody", "td", "template", "textarea", "tfoot", "th", "thead", "title", "tr", "track", "tt",
    "u", "ul", "wbr", "xmp"};
static_assert(std::size(kTagNames) == static_cast<std::size_t>(Tag::Count));

Tag TagOf(std::string_view name) {
    static const std::unordered_map<std::string_view, Tag> tags = [] {
        std::unordered_map<std::string_view, Tag> m;
        for (std::size_t i = 1; i < std::size(kTagNames); ++i) m.emplace(kTagNames[i], static_cast<Tag>(i));
        return m;
    }();
    if (name.empty() || name.size() > 10) return Tag::Other;
    const auto it = tags.find(name);
    return it == tags.end() ? Tag::Other : it->second;
}

// What the tree builder needs to know of an element, as bits.
enum : std::uint32_t {
    kSpecial = 1u << 0,      // ends the search of "any other end tag" and of the adoption
    kFormatting = 1u << 1,   // kept on the list of active formatting elements
    kImpliedEnd = 1u << 2,   // closed by "generate implied end tags"
    kThoroughEnd = 1u << 3,  // ... and by the thorough version of it
    kScope = 1u << 4,        // bounds the default scope
    kHeading = 1u << 5,
    kClosesP = 1u << 6,      // a block start tag that closes an open p first
    kBlockEnd = 1u << 7,     // an end tag that closes its element when in scope
};

std::uint32_t Bits(Tag t) {
    static const std::array<std::uint32_t, static_cast<std::size_t>(Tag::Count)> bits = [] {
        std::array<std::uint32_t, static_cast<std::size_t>(Tag::Count)> b{};
        auto set = [&](std::initializer_list<Tag> tags, std::uint32_t bit) {
            for (Tag one : tags) b[static_cast<std::size_t>(one)] |= bit;
        };
        using enum Tag;
        set({Address, Applet, Area, Article, Aside, Base, Basefont, Bgsound, Blockquote, Body, Br, Button, Caption,
             Center, Col, Colgroup, Dd, Details, Dir, Div, Dl, Dt, Embed, Fieldset, Figcaption, Figure, Footer, Form,
             Frame, Frameset, H1, H2, H3, H4, H5, H6, Head, Header, Hgroup, Hr, Html, Iframe, Img, Input, Keygen, Li,
             Link, Listing, Main, Marquee, Menu, Meta, Nav, Noembed, Noframes, Noscript, Object, Ol, P, Param,
             Plaintext, Pre, Script, Search, Section, Select, Source, Style, Summary, Table, Tbody, Td, Template,
             Textarea, Tfoot, Th, Thead, Title, Tr, Track, Ul, Wbr, Xmp},
            kSpecial);
        set({A, B, Big, Code, Em, Font, I, Nobr, S, Small, Strike, Strong, Tt, U}, kFormatting);
        set({Dd, Dt, Li, Optgroup, Option, P, Rb, Rp, Rt, Rtc}, kImpliedEnd | kThoroughEnd);
        set({Caption, Colgroup, Tbody, Td, Tfoot, Th, Thead, Tr}, kThoroughEnd);
        set({Applet, Caption, Html, Table, Td, Th, Marquee, Object, Template}, kScope);
        set({H1, H2, H3, H4, H5, H6}, kHeading);
        set({Address, Article, Aside, Blockquote, Center, Details, Dialog, Dir, Div, Dl, Fieldset, Figcaption, Figure,
             Footer, Header, Hgroup, Main, Menu, Nav, Ol, P, Search, Section, Summary, Ul},
            kClosesP);
        set({Address, Article, Aside, Blockquote, Button, Center, Details, Dialog, Dir, Div, Dl, Fieldset, Figcaption,
             Figure, Footer, Header, Hgroup, Listing, Main, Menu, Nav, Ol, Pre, Search, Section, Summary, Ul},
            kBlockEnd);
        return b;
    }();
    return bits[static_cast<std::size_t>(t)];
}

bool Is(Tag t, std::uint32_t bit) { return (Bits(t) & bit) != 0; }

enum class TokenKind : std::uint8_t { StartTag, EndTag, Text, Nul, Comment, Doctype, Eof };

struct Token {
    TokenKind kind = TokenKind::Eof;
    Tag tag = Tag::Other;
    std::string name;  // tags: lower case
    std::vector<Attribute> attrs;
    bool selfClosing = false;
    SourceRange range;
    std::string text;  // text: decoded; comment: its data; doctype: what stands between "<!" and ">"
    Doctype doctype;

    bool IsStart(Tag t) const { return kind == TokenKind::StartTag && tag == t; }
    bool IsEnd(Tag t) const { return kind == TokenKind::EndTag && tag == t; }
    // Text of nothing but white space (the tokenizer gives leading white space a token of its own).
    bool IsSpaceText() const {
        return kind == TokenKind::Text && std::all_of(text.begin(), text.end(), IsSpace);
    }
};

// A doctype as browsers read it; `text` follows "<!DOCTYPE", `closed` says
// whether a ">" ends it (at the end of the input it counts for an old one).
Doctype ReadDoctype(std::string_view text, bool closed) {
    Doctype d;
    d.forceQuirks = !closed;
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto skipSpace = [&] {
        while (i < n && IsSpace(text[i])) ++i;
    };
    auto append = [](std::string& to, char c) {
        if (c == '\0') to += kReplacement;
        else to += Lower(c);
    };
    skipSpace();
    if (i == n) {
        d.forceQuirks = true;
        return d;
    }
    while (i < n && !IsSpace(text[i])) append(d.name, text[i++]);
    skipSpace();
    if (i == n) return d;
    // An identifier in quotes; `gap` is whether white space came before it.
    auto quoted = [&](std::optional<std::string>& into) -> bool {
        if (i >= n || (text[i] != '"' && text[i] != '\'')) {
            d.forceQuirks = true;
            return false;
        }
        const char q = text[i++];
        std::string v;
        while (i < n && text[i] != q) {
            v += text[i] == '\0' ? std::string(kReplacement) : std::string(1, text[i]);
            ++i;
        }
        into = std::move(v);
        if (i == n) {  // the ">" came inside the quotes
            d.forceQuirks = true;
            return false;
        }
        ++i;
        return true;
    };
    if (StartsCaseless(text.substr(i), "public")) {
        i += 6;
        skipSpace();
        if (!quoted(d.publicId)) return d;
        skipSpace();
        if (i == n) return d;
        if (!quoted(d.systemId)) return d;
    } else if (StartsCaseless(text.substr(i), "system")) {
        i += 6;
        skipSpace();
        if (!quoted(d.systemId)) return d;
    } else {
        d.forceQuirks = true;
    }
    return d;
}

// The mode a doctype puts a browser in.
Compat CompatOf(const Doctype& d) {
    if (d.forceQuirks || d.name != "html") return Compat::Quirks;
    const std::string pub = d.publicId.value_or("");
    if (EqualsCaseless(pub, "-//W3O//DTD W3 HTML Strict 3.0//EN//") ||
        EqualsCaseless(pub, "-/W3C/DTD HTML 4.0 Transitional/EN") || EqualsCaseless(pub, "HTML") ||
        (d.systemId && EqualsCaseless(*d.systemId, "http://www.ibm.com/data/dtd/v11/ibmxhtml1-transitional.dtd")))
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
    const bool html401 = StartsCaseless(pub, "-//W3C//DTD HTML 4.01 Frameset//") ||
                         StartsCaseless(pub, "-//W3C//DTD HTML 4.01 Transitional//");
    if (html401 && !d.systemId) return Compat::Quirks;
    if (html401 || StartsCaseless(pub, "-//W3C//DTD XHTML 1.0 Frameset//") ||
        StartsCaseless(pub, "-//W3C//DTD XHTML 1.0 Transitional//"))
        return Compat::LimitedQuirks;
    return Compat::NoQuirks;
}

enum class Mode : std::uint8_t {
    Initial, BeforeHtml, BeforeHead, InHead, InHeadNoscript, AfterHead, InBody, Text, InTable, InTableText,
    InCaption, InColumnGroup, InTableBody, InRow, InCell, InSelect, InSelectInTable, AfterBody, InFrameset,
    AfterFrameset, AfterAfterBody, AfterAfterFrameset
};

// How the tokenizer reads what follows a start tag.
enum class TextState : std::uint8_t { Data, RcData, RawText, ScriptData, Plaintext };

enum class Scope : std::uint8_t { Default, ListItem, Button, Table, Select };

// Builds the tree from the tokens as browsers do: the insertion modes, the
// stack of open elements and the list of active formatting elements.
class TreeBuilder {
public:
    TreeBuilder(bool fragment, std::size_t sourceSize)
        : root_(std::make_unique<Node>()), fragment_(fragment),
          // Reopened elements grow no faster than the input: a page that
          // closes and reopens many at every word gets a quarter of its
          // length of them, far more than any real page needs.
          reopenBudget_(4096 + sourceSize / 4) {
        root_->kind = NodeKind::Document;
        if (fragment_) {
            // The content of an element in a body: html, head and body are
            // there, made up, and nothing closes the body.
            html_ = Append(root_.get(), Implied("html", 0));
            head_ = Append(html_, Implied("head", 0));
            body_ = Append(html_, Implied("body", 0));
            open_ = {{html_, Tag::Html}, {body_, Tag::Body}};
            mode_ = Mode::InBody;
            framesetOk_ = false;
        }
    }

    TextState textState() const { return textState_; }
    const std::string& rawEndName() const { return rawEndName_; }

    void Process(Token& t) {
        if (skipNewline_) {
            skipNewline_ = false;
            if (t.kind == TokenKind::Text && !t.text.empty() && t.text[0] == '\n') {
                t.text.erase(0, 1);
                // The source's line break may be CR LF; the range skips all of it.
                t.range.begin = std::min(t.range.end, t.range.begin + lineBreakSize_);
                if (t.text.empty()) return;
            }
        }
        capped_ = false;
        tokenBegin_ = t.range.begin;
        Dispatch(t);
        // An element the depth limit kept off the stack cannot have put the
        // builder in its mode: the stack says where it is.
        if (capped_ && mode_ != Mode::Text) ResetMode();
    }

    // The source's bytes of a line break at the start of text, for the newline a <pre> drops.
    void SetLineBreakSize(std::size_t n) { lineBreakSize_ = n; }

    Document Finish(std::size_t sourceSize) {
        if (!html_) html_ = Append(root_.get(), Implied("html", sourceSize));
        if (!head_) head_ = Append(html_, Implied("head", sourceSize));
        if (!body_ && !frameset_) body_ = Append(html_, Implied("body", sourceSize));
        if (!body_) {
            // A frameset document has no body; callers still get an empty one.
            noBody_ = Implied("body", sourceSize);
            noBody_->parent = html_;
            body_ = noBody_.get();
        }
        for (const Open& o : open_)
            if (o.tag == Tag::Table) ReachTo(o.node, sourceSize);
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
        doc.compat = compat_;
        doc.doctype = std::move(doctype_);
        doc.noBody = std::move(noBody_);
        return doc;
    }

private:
    struct Open {
        Node* node;
        Tag tag;
    };
    // An entry of the list of active formatting elements; a null node is a marker.
    struct Active {
        Node* node;
        Tag tag;
    };

    // ---- the tree ----

    static Node* Append(Node* parent, std::unique_ptr<Node> node, Node* before = nullptr) {
        node->parent = parent;
        Node* raw = node.get();
        auto& siblings = parent->children;
        siblings.insert(Position(siblings, before), std::move(node));
        return raw;
    }

    // Where `before` stands among the siblings, or their end. Content is
    // fostered before a table that is among the last of its parent's
    // children, and moved nodes are usually last: searched from the back.
    static std::vector<std::unique_ptr<Node>>::iterator Position(std::vector<std::unique_ptr<Node>>& siblings,
                                                                 const Node* before) {
        if (!before) return siblings.end();
        const auto found = std::find_if(siblings.rbegin(), siblings.rend(), [&](auto& c) { return c.get() == before; });
        return found == siblings.rend() ? siblings.end() : std::prev(found.base());
    }

    static std::unique_ptr<Node> Detach(Node* node) {
        auto& siblings = node->parent->children;
        const auto at = Position(siblings, node);
        std::unique_ptr<Node> owned = std::move(*at);
        siblings.erase(at);
        owned->parent = nullptr;
        return owned;
    }

    // An element the source has no start tag for, made up at `at`.
    static std::unique_ptr<Node> Implied(std::string name, std::size_t at) {
        auto element = std::make_unique<Node>();
        element->tag = std::move(name);
        element->startTag = {at, at};
        element->implied = true;
        return element;
    }

    static std::unique_ptr<Node> ElementFor(Token& t) {
        auto element = std::make_unique<Node>();
        element->tag = std::move(t.name);
        element->attrs = std::move(t.attrs);
        element->startTag = t.range;
        element->selfClosing = t.selfClosing;
        return element;
    }

    // Where a node goes: the current node, or before the table when content
    // is fostered out of table structure.
    void InsertionPlace(Node*& parent, Node*& before, Node* target = nullptr) {
        if (!target) target = open_.back().node;
        parent = target;
        before = nullptr;
        const std::string& t = target->tag;
        if (fosterParenting_ && (t == "table" || t == "tbody" || t == "tfoot" || t == "thead" || t == "tr")) {
            for (std::size_t i = open_.size(); i-- > 0;) {
                if (open_[i].tag == Tag::Table) {
                    Node* table = open_[i].node;
                    if (table->parent) {
                        parent = table->parent;
                        before = table;
                    } else {
                        parent = open_[i - 1].node;
                    }
                    return;
                }
            }
        }
    }

    bool CanPush() const { return open_.size() <= static_cast<std::size_t>(kMaxDepth); }

    // Inserts an element for the start tag and pushes it on the stack.
    // Past the depth limit elements stay empty and their content joins the
    // parent; raw-text elements, closed by the tokenizer, always open.
    Node* Insert(std::unique_ptr<Node> element, Tag tag, bool open = true) {
        Node* parent;
        Node* before;
        InsertionPlace(parent, before);
        Node* raw = Append(parent, std::move(element), before);
        if (!open) return raw;
        const bool raw_text = tag == Tag::Script || tag == Tag::Style || tag == Tag::Title ||
                              tag == Tag::Textarea || tag == Tag::Xmp || tag == Tag::Iframe ||
                              tag == Tag::Noembed || tag == Tag::Noframes;
        if (CanPush() || raw_text) {
            Push(raw, tag);
        } else {
            capped_ = true;
            if (flattenedFrom_ == std::string_view::npos) flattenedFrom_ = raw->startTag.begin;
        }
        return raw;
    }
    Node* Insert(Token& t) {
        const Tag tag = t.tag;
        return Insert(ElementFor(t), tag);
    }
    // An element that holds nothing: inserted and not kept open.
    Node* InsertVoid(Token& t) { return Insert(ElementFor(t), t.tag, false); }
    Node* InsertImplied(const char* name, Tag tag, std::size_t at) { return Insert(Implied(name, at), tag); }

    void Push(Node* node, Tag tag) {
        open_.push_back({node, tag});
        if (tag == Tag::P) ++openParagraphs_;
    }
    void Pop() {
        if (open_.back().tag == Tag::P) --openParagraphs_;
        // A table spans up to what closes it, so that what browsers moved
        // out of it, before it, still lies inside its range.
        if (open_.back().tag == Tag::Table) ReachTo(open_.back().node, tokenBegin_);
        open_.pop_back();
    }
    static void ReachTo(Node* n, std::size_t at) { n->range.end = std::max(n->range.end, at); }
    bool Pushed(const Node* node) const { return open_.back().node == node; }

    void InsertText(SourceRange range, std::string_view decoded) {
        if (decoded.empty()) return;
        Node* parent;
        Node* before;
        InsertionPlace(parent, before);
        auto& siblings = parent->children;
        const auto at = Position(siblings, before);
        // Text joins the text just before it when the two are contiguous in
        // the source (text around a literal "<").
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

    void InsertComment(Token& t, Node* parent = nullptr) {
        auto node = std::make_unique<Node>();
        node->kind = NodeKind::Comment;
        node->range = t.range;
        node->text = Utf8ToUtf16(t.text);
        if (parent) {
            Append(parent, std::move(node));
            return;
        }
        Node* before;
        InsertionPlace(parent, before);
        Append(parent, std::move(node), before);
    }

    void Stray(const Token& t) {
        if (t.range.empty()) return;  // a tag the builder made up
        if (t.kind == TokenKind::StartTag || t.kind == TokenKind::EndTag)
            strays_.push_back({t.name, t.kind == TokenKind::EndTag, t.range});
        else if (t.kind == TokenKind::Doctype)
            strays_.push_back({"!doctype", false, t.range});
    }

    // A second <html> or <body>: browsers give the element the attributes it lacks.
    void MergeAttributes(Node* into, const Token& t) {
        for (const Attribute& a : t.attrs)
            if (!a.duplicate && !into->FindAttr(a.name)) into->attrs.push_back(a);
    }

    // ---- the stack of open elements ----

    Node* Current() const { return open_.back().node; }
    Tag CurrentTag() const { return open_.back().tag; }

    static bool Bounds(Tag t, Scope scope) {
        switch (scope) {
        case Scope::Default: return Is(t, kScope);
        case Scope::ListItem: return Is(t, kScope) || t == Tag::Ol || t == Tag::Ul;
        case Scope::Button: return Is(t, kScope) || t == Tag::Button;
        case Scope::Table: return t == Tag::Html || t == Tag::Table || t == Tag::Template;
        case Scope::Select: return t != Tag::Optgroup && t != Tag::Option;
        }
        return false;
    }

    bool InScope(Tag tag, Scope scope = Scope::Default) const {
        if (tag == Tag::P && openParagraphs_ == 0) return false;  // the usual case, without a search
        for (std::size_t i = open_.size(); i-- > 0;) {
            if (open_[i].tag == tag) return true;
            if (Bounds(open_[i].tag, scope)) return false;
        }
        return false;
    }
    bool HeadingInScope() const {
        for (std::size_t i = open_.size(); i-- > 0;) {
            if (Is(open_[i].tag, kHeading)) return true;
            if (Bounds(open_[i].tag, Scope::Default)) return false;
        }
        return false;
    }
    bool NodeInScope(const Node* node) const {
        for (std::size_t i = open_.size(); i-- > 0;) {
            if (open_[i].node == node) return true;
            if (Bounds(open_[i].tag, Scope::Default)) return false;
        }
        return false;
    }
    bool OnStack(const Node* node) const { return StackIndex(node) != npos; }
    std::size_t StackIndex(const Node* node) const {
        for (std::size_t i = open_.size(); i-- > 0;)
            if (open_[i].node == node) return i;
        return npos;
    }

    // Pops up to and including the nearest element of that tag; the end
    // tag that did it, when given, is the element's.
    void PopUntil(Tag tag, const SourceRange* endTag = nullptr) {
        while (open_.size() > 1) {
            const bool found = CurrentTag() == tag;
            if (found && endTag) Current()->endTag = *endTag;
            Pop();
            if (found) return;
        }
    }
    void PopUntilHeading(const SourceRange* endTag) {
        while (open_.size() > 1) {
            const bool found = Is(CurrentTag(), kHeading);
            if (found && endTag) Current()->endTag = *endTag;
            Pop();
            if (found) return;
        }
    }

    void GenerateImpliedEndTags(Tag except = Tag::Count) {
        while (Is(CurrentTag(), kImpliedEnd) && CurrentTag() != except) Pop();
    }
    void GenerateAllImpliedEndTags() {
        while (Is(CurrentTag(), kThoroughEnd)) Pop();
    }

    void ClosePInButtonScope() {
        if (InScope(Tag::P, Scope::Button)) CloseP(nullptr);
    }
    void CloseP(const SourceRange* endTag) {
        GenerateImpliedEndTags(Tag::P);
        PopUntil(Tag::P, endTag);
    }

    void ClearToTableContext() {
        while (CurrentTag() != Tag::Table && CurrentTag() != Tag::Template && CurrentTag() != Tag::Html) Pop();
    }
    void ClearToTableBodyContext() {
        while (CurrentTag() != Tag::Tbody && CurrentTag() != Tag::Tfoot && CurrentTag() != Tag::Thead &&
               CurrentTag() != Tag::Template && CurrentTag() != Tag::Html)
            Pop();
    }
    void ClearToRowContext() {
        while (CurrentTag() != Tag::Tr && CurrentTag() != Tag::Template && CurrentTag() != Tag::Html) Pop();
    }

    void ResetMode() {
        for (std::size_t i = open_.size(); i-- > 0;) {
            const bool last = i == 0 || (fragment_ && i == 1);
            switch (open_[i].tag) {
            case Tag::Select:
                for (std::size_t j = i; j-- > 0;) {
                    if (open_[j].tag == Tag::Template) break;
                    if (open_[j].tag == Tag::Table) {
                        mode_ = Mode::InSelectInTable;
                        return;
                    }
                }
                mode_ = Mode::InSelect;
                return;
            case Tag::Td:
            case Tag::Th:
                if (last) break;
                mode_ = Mode::InCell;
                return;
            case Tag::Tr: mode_ = Mode::InRow; return;
            case Tag::Tbody:
            case Tag::Thead:
            case Tag::Tfoot: mode_ = Mode::InTableBody; return;
            case Tag::Caption: mode_ = Mode::InCaption; return;
            case Tag::Colgroup: mode_ = Mode::InColumnGroup; return;
            case Tag::Table: mode_ = Mode::InTable; return;
            case Tag::Head:
                if (last) break;
                mode_ = Mode::InHead;
                return;
            case Tag::Body: mode_ = Mode::InBody; return;
            case Tag::Frameset: mode_ = Mode::InFrameset; return;
            case Tag::Html: mode_ = head_ ? Mode::AfterHead : Mode::BeforeHead; return;
            default: break;
            }
            if (last) {
                mode_ = Mode::InBody;
                return;
            }
        }
        mode_ = Mode::InBody;
    }

    // ---- the list of active formatting elements ----

    static constexpr std::size_t npos = std::string_view::npos;

    // An end tag closes the element; one the builder made up (an <a> that
    // closes the open one) is no end tag of the source.
    static void Closes(Node* element, const Token& t) {
        if (!t.range.empty()) element->endTag = t.range;
    }

    std::size_t ActiveIndex(const Node* node) const {
        for (std::size_t i = active_.size(); i-- > 0;)
            if (active_[i].node == node) return i;
        return npos;
    }

    static bool SameAttributes(const Node& a, const Node& b) {
        std::size_t count = 0;
        for (const Attribute& x : a.attrs) {
            if (x.duplicate) continue;
            ++count;
            const Attribute* y = b.FindAttr(x.name);
            if (!y || y->value != x.value) return false;
        }
        return count == static_cast<std::size_t>(std::count_if(b.attrs.begin(), b.attrs.end(),
                                                                [](const Attribute& y) { return !y.duplicate; }));
    }

    void PushActive(Node* node, Tag tag) {
        if (!Pushed(node)) return;  // kept off the stack by the depth limit: nothing to reopen
        // Three alike are enough: the earliest of them goes.
        std::size_t alike = 0, earliest = npos, since = 0;
        for (std::size_t i = active_.size(); i-- > 0;) {
            if (!active_[i].node) break;
            ++since;
            if (active_[i].tag == tag && active_[i].node->tag == node->tag && SameAttributes(*active_[i].node, *node)) {
                ++alike;
                earliest = i;
            }
        }
        if (alike >= 3) {
            active_.erase(active_.begin() + static_cast<std::ptrdiff_t>(earliest));
            --since;
        }
        // Nor does the list grow past the depth limit: each entry may be
        // reopened for every text, so a longer list would cost time for
        // every one of them.
        if (since >= static_cast<std::size_t>(kMaxDepth))
            active_.erase(active_.end() - static_cast<std::ptrdiff_t>(since));
        active_.push_back({node, tag});
    }

    void PushMarker() { active_.push_back({nullptr, Tag::Other}); }

    void ClearToMarker() {
        while (!active_.empty()) {
            const bool marker = !active_.back().node;
            active_.pop_back();
            if (marker) return;
        }
    }

    // A copy of a formatting element, made where `at` says, for one that
    // misnesting closed: it holds the original's attributes (their ranges
    // are the original's) and says which element it continues.
    static std::unique_ptr<Node> Reopened(const Node& original, std::size_t at) {
        auto copy = Implied(original.tag, at);
        copy->attrs = original.attrs;
        copy->reopens = original.reopens ? original.reopens : &original;
        return copy;
    }

    void Reconstruct(std::size_t at) {
        if (active_.empty()) return;
        if (!active_.back().node || OnStack(active_.back().node)) return;
        std::size_t i = active_.size() - 1;
        while (i > 0 && active_[i - 1].node && !OnStack(active_[i - 1].node)) --i;
        for (; i < active_.size(); ++i) {
            if (reopenBudget_ == 0 || !CanPush()) {
                // Out of budget: what is left stays closed.
                active_.erase(active_.begin() + static_cast<std::ptrdiff_t>(i), active_.end());
                return;
            }
            --reopenBudget_;
            Node* copy = Insert(Reopened(*active_[i].node, at), active_[i].tag);
            active_[i].node = copy;
        }
    }

    // An end tag of a formatting element: the adoption of misnested content.
    // Returns false when the tag is to be handled as any other end tag.
    bool Adopt(Token& t) {
        const Tag subject = t.tag;
        if (CurrentTag() == subject && Current()->tag == t.name && ActiveIndex(Current()) == npos) {
            Closes(Current(), t);
            Pop();
            return true;
        }
        for (int outer = 0; outer < 8; ++outer) {
            std::size_t fe = npos;
            for (std::size_t i = active_.size(); i-- > 0;) {
                if (!active_[i].node) break;
                if (active_[i].node->tag == t.name) {
                    fe = i;
                    break;
                }
            }
            if (fe == npos) return false;
            Node* formatting = active_[fe].node;
            const std::size_t feStack = StackIndex(formatting);
            if (feStack == npos) {
                active_.erase(active_.begin() + static_cast<std::ptrdiff_t>(fe));
                Stray(t);
                return true;
            }
            if (!NodeInScope(formatting)) {
                Stray(t);
                return true;
            }
            std::size_t fb = npos;
            for (std::size_t i = feStack + 1; i < open_.size(); ++i) {
                if (Is(open_[i].tag, kSpecial)) {
                    fb = i;
                    break;
                }
            }
            if (fb == npos) {
                Closes(formatting, t);
                while (open_.size() > feStack) Pop();
                active_.erase(active_.begin() + static_cast<std::ptrdiff_t>(fe));
                return true;
            }
            Node* commonAncestor = open_[feStack - 1].node;
            Node* furthest = open_[fb].node;
            std::size_t bookmark = fe;
            std::size_t nodeIndex = fb;
            Node* lastNode = furthest;
            std::unique_ptr<Node> lastOwned;  // the last node while it is out of the tree
            auto takeLast = [&] { return lastOwned ? std::move(lastOwned) : Detach(lastNode); };
            for (int inner = 1;; ++inner) {
                --nodeIndex;
                Node* node = open_[nodeIndex].node;
                if (node == formatting) break;
                std::size_t ai = ActiveIndex(node);
                if (inner > 3 && ai != npos) {
                    active_.erase(active_.begin() + static_cast<std::ptrdiff_t>(ai));
                    if (ai < bookmark) --bookmark;
                    ai = npos;
                }
                if (ai == npos) {
                    if (open_[nodeIndex].tag == Tag::P) --openParagraphs_;
                    open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(nodeIndex));
                    continue;
                }
                // A copy takes the node's place on the list and the stack.
                auto copy = Reopened(*node, t.range.begin);
                Node* raw = copy.get();
                active_[ai].node = raw;
                open_[nodeIndex].node = raw;
                if (lastNode == furthest) bookmark = ai + 1;
                Append(raw, takeLast());
                lastOwned = std::move(copy);
                lastNode = raw;
            }
            {
                std::unique_ptr<Node> moved = takeLast();
                Node* parent;
                Node* before;
                InsertionPlace(parent, before, commonAncestor);
                Append(parent, std::move(moved), before);
            }
            auto copy = Reopened(*formatting, t.range.begin);
            Node* raw = copy.get();
            std::vector<std::unique_ptr<Node>> children = std::move(furthest->children);
            furthest->children.clear();
            for (auto& c : children) c->parent = raw;
            raw->children = std::move(children);
            Append(furthest, std::move(copy));
            active_.erase(active_.begin() + static_cast<std::ptrdiff_t>(fe));
            if (bookmark > fe) --bookmark;
            active_.insert(active_.begin() + static_cast<std::ptrdiff_t>(std::min(bookmark, active_.size())),
                           Active{raw, subject});
            const std::size_t feAt = StackIndex(formatting);
            open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(feAt));
            const std::size_t fbAt = StackIndex(furthest);
            open_.insert(open_.begin() + static_cast<std::ptrdiff_t>(fbAt + 1), Open{raw, subject});
        }
        return true;
    }

    // ---- the insertion modes ----

    void Dispatch(Token& t) {
        switch (mode_) {
        case Mode::Initial: return Initial(t);
        case Mode::BeforeHtml: return BeforeHtml(t);
        case Mode::BeforeHead: return BeforeHead(t);
        case Mode::InHead: return InHead(t);
        case Mode::InHeadNoscript: return InHeadNoscript(t);
        case Mode::AfterHead: return AfterHead(t);
        case Mode::InBody: return InBody(t);
        case Mode::Text: return InText(t);
        case Mode::InTable: return InTable(t);
        case Mode::InTableText: return InTableText(t);
        case Mode::InCaption: return InCaption(t);
        case Mode::InColumnGroup: return InColumnGroup(t);
        case Mode::InTableBody: return InTableBody(t);
        case Mode::InRow: return InRow(t);
        case Mode::InCell: return InCell(t);
        case Mode::InSelect: return InSelect(t);
        case Mode::InSelectInTable: return InSelectInTable(t);
        case Mode::AfterBody: return AfterBody(t);
        case Mode::InFrameset: return InFrameset(t);
        case Mode::AfterFrameset: return AfterFrameset(t);
        case Mode::AfterAfterBody: return AfterAfterBody(t);
        case Mode::AfterAfterFrameset: return AfterAfterFrameset(t);
        }
    }

    void Reprocess(Mode mode, Token& t) {
        mode_ = mode;
        Dispatch(t);
    }

    void Initial(Token& t) {
        if (t.IsSpaceText()) return;  // never shown
        if (t.kind == TokenKind::Comment) return InsertComment(t, root_.get());
        if (t.kind == TokenKind::Doctype) {
            auto node = std::make_unique<Node>();
            node->kind = NodeKind::Doctype;
            node->range = t.range;
            node->text = Utf8ToUtf16(t.text);
            Append(root_.get(), std::move(node));
            compat_ = CompatOf(t.doctype);
            doctype_ = std::move(t.doctype);
            mode_ = Mode::BeforeHtml;
            return;
        }
        Reprocess(Mode::BeforeHtml, t);
    }

    void BeforeHtml(Token& t) {
        if (t.kind == TokenKind::Doctype) return Stray(t);
        if (t.kind == TokenKind::Comment) return InsertComment(t, root_.get());
        if (t.IsSpaceText()) return;
        if (t.IsStart(Tag::Html)) {
            html_ = Append(root_.get(), ElementFor(t));
            Push(html_, Tag::Html);
            mode_ = Mode::BeforeHead;
            return;
        }
        if (t.kind == TokenKind::EndTag && t.tag != Tag::Head && t.tag != Tag::Body && t.tag != Tag::Html &&
            t.tag != Tag::Br)
            return Stray(t);
        html_ = Append(root_.get(), Implied("html", t.range.begin));
        Push(html_, Tag::Html);
        Reprocess(Mode::BeforeHead, t);
    }

    void BeforeHead(Token& t) {
        if (t.IsSpaceText()) return;
        if (t.kind == TokenKind::Comment) return InsertComment(t);
        if (t.kind == TokenKind::Doctype) return Stray(t);
        if (t.IsStart(Tag::Html)) return InBody(t);
        if (t.IsStart(Tag::Head)) {
            head_ = Insert(t);
            mode_ = Mode::InHead;
            return;
        }
        if (t.kind == TokenKind::EndTag && t.tag != Tag::Head && t.tag != Tag::Body && t.tag != Tag::Html &&
            t.tag != Tag::Br)
            return Stray(t);
        head_ = InsertImplied("head", Tag::Head, t.range.begin);
        Reprocess(Mode::InHead, t);
    }

    void InHead(Token& t) {
        if (t.IsSpaceText()) return InsertText(t.range, t.text);
        switch (t.kind) {
        case TokenKind::Comment: return InsertComment(t);
        case TokenKind::Doctype: return Stray(t);
        case TokenKind::StartTag:
            switch (t.tag) {
            case Tag::Html: return InBody(t);
            case Tag::Base:
            case Tag::Basefont:
            case Tag::Bgsound:
            case Tag::Link:
            case Tag::Meta: InsertVoid(t); return;
            case Tag::Title: return TextElement(t, TextState::RcData);
            case Tag::Noscript:
                Insert(t);
                mode_ = Mode::InHeadNoscript;
                return;
            case Tag::Noframes:
            case Tag::Style: return TextElement(t, TextState::RawText);
            case Tag::Script: return TextElement(t, TextState::ScriptData);
            case Tag::Head: return Stray(t);
            default: break;
            }
            break;
        case TokenKind::EndTag:
            if (t.tag == Tag::Head) {
                head_->endTag = t.range;
                Pop();
                mode_ = Mode::AfterHead;
                return;
            }
            if (t.tag != Tag::Body && t.tag != Tag::Html && t.tag != Tag::Br) return Stray(t);
            break;
        default: break;
        }
        Pop();  // the head
        Reprocess(Mode::AfterHead, t);
    }

    void InHeadNoscript(Token& t) {
        if (t.kind == TokenKind::Doctype) return Stray(t);
        if (t.IsStart(Tag::Html)) return InBody(t);
        if (t.IsEnd(Tag::Noscript)) {
            Current()->endTag = t.range;
            Pop();
            mode_ = Mode::InHead;
            return;
        }
        if (t.IsSpaceText() || t.kind == TokenKind::Comment ||
            (t.kind == TokenKind::StartTag && (t.tag == Tag::Basefont || t.tag == Tag::Bgsound || t.tag == Tag::Link ||
                                               t.tag == Tag::Meta || t.tag == Tag::Noframes || t.tag == Tag::Style)))
            return InHead(t);
        if ((t.kind == TokenKind::StartTag && (t.tag == Tag::Head || t.tag == Tag::Noscript)) ||
            (t.kind == TokenKind::EndTag && t.tag != Tag::Br))
            return Stray(t);
        Pop();  // the noscript
        Reprocess(Mode::InHead, t);
    }

    void AfterHead(Token& t) {
        if (t.IsSpaceText()) return InsertText(t.range, t.text);
        switch (t.kind) {
        case TokenKind::Comment: return InsertComment(t);
        case TokenKind::Doctype: return Stray(t);
        case TokenKind::StartTag:
            switch (t.tag) {
            case Tag::Html: return InBody(t);
            case Tag::Body:
                body_ = Insert(t);
                framesetOk_ = false;
                mode_ = Mode::InBody;
                return;
            case Tag::Frameset:
                frameset_ = Insert(t);
                mode_ = Mode::InFrameset;
                return;
            case Tag::Base:
            case Tag::Basefont:
            case Tag::Bgsound:
            case Tag::Link:
            case Tag::Meta:
            case Tag::Noframes:
            case Tag::Script:
            case Tag::Style:
            case Tag::Title: {
                // Head elements after the head go back into it.
                Push(head_, Tag::Head);
                const std::size_t at = open_.size() - 1;
                InHead(t);
                for (std::size_t i = open_.size(); i-- > 0;)
                    if (open_[i].node == head_ && i <= at) {
                        open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(i));
                        break;
                    }
                return;
            }
            case Tag::Head: return Stray(t);
            default: break;
            }
            break;
        case TokenKind::EndTag:
            if (t.tag != Tag::Body && t.tag != Tag::Html && t.tag != Tag::Br) return Stray(t);
            break;
        default: break;
        }
        body_ = InsertImplied("body", Tag::Body, t.range.begin);
        Reprocess(Mode::InBody, t);
    }

    void TextElement(Token& t, TextState state) {
        const std::string name = t.name;
        Insert(t);
        textState_ = state;
        rawEndName_ = name;
        original_ = mode_;
        mode_ = Mode::Text;
    }

    void InText(Token& t) {
        if (t.kind == TokenKind::Text) return InsertText(t.range, t.text);
        if (t.kind == TokenKind::Eof) {
            Pop();
            textState_ = TextState::Data;
            return Reprocess(original_, t);
        }
        if (t.kind == TokenKind::EndTag) {
            Current()->endTag = t.range;
            Pop();
            textState_ = TextState::Data;
            mode_ = original_;
        }
    }

    void InBodyText(Token& t) {
        if (t.kind == TokenKind::Nul) return;
        Reconstruct(t.range.begin);
        InsertText(t.range, t.text);
        if (!t.IsSpaceText()) framesetOk_ = false;
    }

    void InBody(Token& t) {
        switch (t.kind) {
        case TokenKind::Text:
        case TokenKind::Nul: return InBodyText(t);
        case TokenKind::Comment: return InsertComment(t);
        case TokenKind::Doctype: return Stray(t);
        case TokenKind::Eof: return;
        case TokenKind::StartTag: return InBodyStart(t);
        case TokenKind::EndTag: return InBodyEnd(t);
        }
    }

    void InBodyStart(Token& t) {
        const Tag tag = t.tag;
        switch (tag) {
        case Tag::Html:
            Stray(t);
            if (html_ && !fragment_) MergeAttributes(html_, t);  // a fragment's html is no element of its own
            return;
        case Tag::Base:
        case Tag::Basefont:
        case Tag::Bgsound:
        case Tag::Link:
        case Tag::Meta:
        case Tag::Noframes:
        case Tag::Script:
        case Tag::Style:
        case Tag::Title: return InHead(t);
        case Tag::Body:
            Stray(t);
            if (fragment_ || open_.size() < 2 || open_[1].tag != Tag::Body) return;
            framesetOk_ = false;
            MergeAttributes(open_[1].node, t);
            return;
        case Tag::Frameset: {
            if (fragment_ || open_.size() < 2 || open_[1].tag != Tag::Body || !framesetOk_) return Stray(t);
            // The body goes, and the frameset takes its place.
            Node* body = open_[1].node;
            if (body->parent) Detach(body).reset();
            if (body == body_) body_ = nullptr;
            while (open_.size() > 1) Pop();
            frameset_ = Insert(t);
            mode_ = Mode::InFrameset;
            return;
        }
        case Tag::Pre:
        case Tag::Listing:
            ClosePInButtonScope();
            Insert(t);
            skipNewline_ = true;
            framesetOk_ = false;
            return;
        case Tag::Form:
            if (form_) return Stray(t);
            ClosePInButtonScope();
            form_ = Insert(t);
            if (!Pushed(form_)) form_ = nullptr;
            return;
        case Tag::Li:
        case Tag::Dd:
        case Tag::Dt: {
            framesetOk_ = false;
            for (std::size_t i = open_.size(); i-- > 0;) {
                const Tag n = open_[i].tag;
                const bool match = tag == Tag::Li ? n == Tag::Li : (n == Tag::Dd || n == Tag::Dt);
                if (match) {
                    GenerateImpliedEndTags(n);
                    PopUntil(n);
                    break;
                }
                if (Is(n, kSpecial) && n != Tag::Address && n != Tag::Div && n != Tag::P) break;
            }
            ClosePInButtonScope();
            Insert(t);
            return;
        }
        case Tag::Plaintext:
            ClosePInButtonScope();
            Insert(t);
            textState_ = TextState::Plaintext;
            return;
        case Tag::Button:
            if (InScope(Tag::Button)) {
                GenerateImpliedEndTags();
                PopUntil(Tag::Button);
            }
            Reconstruct(t.range.begin);
            Insert(t);
            framesetOk_ = false;
            return;
        case Tag::A: {
            for (std::size_t i = active_.size(); i-- > 0;) {
                if (!active_[i].node) break;
                if (active_[i].tag == Tag::A) {
                    Node* a = active_[i].node;
                    Token end;
                    end.kind = TokenKind::EndTag;
                    end.tag = Tag::A;
                    end.name = "a";
                    end.range = {t.range.begin, t.range.begin};
                    if (!Adopt(end)) AnyOtherEnd(end);
                    const std::size_t ai = ActiveIndex(a);
                    if (ai != npos) active_.erase(active_.begin() + static_cast<std::ptrdiff_t>(ai));
                    const std::size_t si = StackIndex(a);
                    if (si != npos) open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(si));
                    break;
                }
            }
            Reconstruct(t.range.begin);
            Node* a = Insert(t);
            PushActive(a, Tag::A);
            return;
        }
        case Tag::Nobr:
            Reconstruct(t.range.begin);
            if (InScope(Tag::Nobr)) {
                Token end;
                end.kind = TokenKind::EndTag;
                end.tag = Tag::Nobr;
                end.name = "nobr";
                end.range = {t.range.begin, t.range.begin};
                if (!Adopt(end)) AnyOtherEnd(end);
                Reconstruct(t.range.begin);
            }
            PushActive(Insert(t), Tag::Nobr);
            return;
        case Tag::Applet:
        case Tag::Marquee:
        case Tag::Object: {
            Reconstruct(t.range.begin);
            Node* e = Insert(t);
            if (Pushed(e)) PushMarker();
            framesetOk_ = false;
            return;
        }
        case Tag::Table:
            if (compat_ != Compat::Quirks) ClosePInButtonScope();
            Insert(t);
            framesetOk_ = false;
            mode_ = Mode::InTable;
            return;
        case Tag::Area:
        case Tag::Br:
        case Tag::Embed:
        case Tag::Img:
        case Tag::Keygen:
        case Tag::Wbr:
            Reconstruct(t.range.begin);
            InsertVoid(t);
            framesetOk_ = false;
            return;
        case Tag::Input: {
            Reconstruct(t.range.begin);
            const Attribute* type = nullptr;
            for (const Attribute& a : t.attrs)
                if (a.name == "type" && !a.duplicate) type = &a;
            const bool hidden = type && EqualsCaseless(type->value, "hidden");
            InsertVoid(t);
            if (!hidden) framesetOk_ = false;
            return;
        }
        case Tag::Param:
        case Tag::Source:
        case Tag::Track: InsertVoid(t); return;
        case Tag::Hr:
            ClosePInButtonScope();
            InsertVoid(t);
            framesetOk_ = false;
            return;
        case Tag::Image:
            t.name = "img";
            t.tag = Tag::Img;
            return InBodyStart(t);
        case Tag::Textarea:
            skipNewline_ = true;
            framesetOk_ = false;
            return TextElement(t, TextState::RcData);
        case Tag::Xmp:
            ClosePInButtonScope();
            Reconstruct(t.range.begin);
            framesetOk_ = false;
            return TextElement(t, TextState::RawText);
        case Tag::Iframe:
            framesetOk_ = false;
            return TextElement(t, TextState::RawText);
        case Tag::Noembed: return TextElement(t, TextState::RawText);
        case Tag::Select:
            Reconstruct(t.range.begin);
            Insert(t);
            framesetOk_ = false;
            mode_ = (mode_ == Mode::InTable || mode_ == Mode::InCaption || mode_ == Mode::InTableBody ||
                     mode_ == Mode::InRow || mode_ == Mode::InCell)
                        ? Mode::InSelectInTable
                        : Mode::InSelect;
            return;
        case Tag::Optgroup:
        case Tag::Option:
            if (CurrentTag() == Tag::Option) Pop();
            Reconstruct(t.range.begin);
            Insert(t);
            return;
        case Tag::Rb:
        case Tag::Rtc:
            if (InScope(Tag::Ruby)) GenerateImpliedEndTags();
            Insert(t);
            return;
        case Tag::Rp:
        case Tag::Rt:
            if (InScope(Tag::Ruby)) GenerateImpliedEndTags(Tag::Rtc);
            Insert(t);
            return;
        case Tag::Caption:
        case Tag::Col:
        case Tag::Colgroup:
        case Tag::Frame:
        case Tag::Head:
        case Tag::Tbody:
        case Tag::Td:
        case Tag::Tfoot:
        case Tag::Th:
        case Tag::Thead:
        case Tag::Tr: return Stray(t);
        default: break;
        }
        if (Is(tag, kClosesP)) {
            ClosePInButtonScope();
            Insert(t);
            return;
        }
        if (Is(tag, kHeading)) {
            ClosePInButtonScope();
            if (Is(CurrentTag(), kHeading)) Pop();
            Insert(t);
            return;
        }
        Reconstruct(t.range.begin);
        Node* e = Insert(t);
        if (Is(tag, kFormatting)) PushActive(e, tag);
    }

    void InBodyEnd(Token& t) {
        const Tag tag = t.tag;
        switch (tag) {
        case Tag::Body:
        case Tag::Html:
            if (fragment_ || !InScope(Tag::Body)) return Stray(t);
            if (tag == Tag::Body) {
                // Browsers go on adding to the body after it: a second </body> is a stray.
                Node* body = open_[1].node;
                if (body->endTag) Stray(t);
                else body->endTag = t.range;
                mode_ = Mode::AfterBody;
                return;
            }
            mode_ = Mode::AfterBody;
            return AfterBody(t);
        case Tag::Form: {
            Node* form = form_;
            form_ = nullptr;
            if (!form || !NodeInScope(form)) return Stray(t);
            GenerateImpliedEndTags();
            form->endTag = t.range;
            const std::size_t i = StackIndex(form);
            if (open_[i].tag == Tag::P) --openParagraphs_;
            open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
        case Tag::P:
            if (!InScope(Tag::P, Scope::Button)) {
                // "</p>" with no p open is an empty paragraph to browsers,
                // made up where it stands and closed by it.
                Reconstruct(t.range.begin);
                Node* p = InsertImplied("p", Tag::P, t.range.begin);
                p->endTag = t.range;
                if (Pushed(p)) Pop();
                return;
            }
            CloseP(&t.range);
            return;
        case Tag::Li:
            if (!InScope(Tag::Li, Scope::ListItem)) return Stray(t);
            GenerateImpliedEndTags(Tag::Li);
            PopUntil(Tag::Li, &t.range);
            return;
        case Tag::Dd:
        case Tag::Dt:
            if (!InScope(tag)) return Stray(t);
            GenerateImpliedEndTags(tag);
            PopUntil(tag, &t.range);
            return;
        case Tag::H1:
        case Tag::H2:
        case Tag::H3:
        case Tag::H4:
        case Tag::H5:
        case Tag::H6:
            if (!HeadingInScope()) return Stray(t);
            GenerateImpliedEndTags();
            PopUntilHeading(&t.range);
            return;
        case Tag::Applet:
        case Tag::Marquee:
        case Tag::Object:
            if (!InScope(tag)) return Stray(t);
            GenerateImpliedEndTags();
            PopUntil(tag, &t.range);
            ClearToMarker();
            return;
        case Tag::Br: {
            // "</br>" is a line break to browsers.
            Token br;
            br.kind = TokenKind::StartTag;
            br.tag = Tag::Br;
            br.name = "br";
            br.range = t.range;
            return InBodyStart(br);
        }
        default: break;
        }
        if (Is(tag, kBlockEnd)) {
            if (!InScope(tag)) return Stray(t);
            GenerateImpliedEndTags();
            PopUntil(tag, &t.range);
            return;
        }
        if (Is(tag, kFormatting)) {
            if (!Adopt(t)) AnyOtherEnd(t);
            return;
        }
        AnyOtherEnd(t);
    }

    void AnyOtherEnd(Token& t) {
        for (std::size_t i = open_.size(); i-- > 0;) {
            Node* node = open_[i].node;
            if (node->tag == t.name) {
                GenerateImpliedEndTags(open_[i].tag == Tag::Other ? Tag::Count : open_[i].tag);
                // Implied end tags of that very name stay (a <p> in a <p>'s place).
                while (open_.size() > i + 1 && !(Current() == node)) Pop();
                Closes(node, t);
                while (open_.size() > i) Pop();
                return;
            }
            if (Is(open_[i].tag, kSpecial)) return Stray(t);
        }
        Stray(t);
    }

    bool CurrentIsTableish() const {
        const Tag c = CurrentTag();
        return c == Tag::Table || c == Tag::Tbody || c == Tag::Template || c == Tag::Tfoot || c == Tag::Thead ||
               c == Tag::Tr;
    }

    // Content where only table structure belongs: before the table.
    void Fostered(Token& t) {
        fosterParenting_ = true;
        InBody(t);
        fosterParenting_ = false;
    }

    void InTable(Token& t) {
        switch (t.kind) {
        case TokenKind::Text:
        case TokenKind::Nul:
            if (CurrentIsTableish()) {
                pendingText_.clear();
                original_ = mode_;
                return Reprocess(Mode::InTableText, t);
            }
            break;
        case TokenKind::Comment: return InsertComment(t);
        case TokenKind::Doctype: return Stray(t);
        case TokenKind::Eof: return InBody(t);
        case TokenKind::StartTag:
            switch (t.tag) {
            case Tag::Caption:
                ClearToTableContext();
                PushMarker();
                Insert(t);
                mode_ = Mode::InCaption;
                return;
            case Tag::Colgroup:
                ClearToTableContext();
                Insert(t);
                mode_ = Mode::InColumnGroup;
                return;
            case Tag::Col:
                ClearToTableContext();
                InsertImplied("colgroup", Tag::Colgroup, t.range.begin);
                return Reprocess(Mode::InColumnGroup, t);
            case Tag::Tbody:
            case Tag::Tfoot:
            case Tag::Thead:
                ClearToTableContext();
                Insert(t);
                mode_ = Mode::InTableBody;
                return;
            case Tag::Td:
            case Tag::Th:
            case Tag::Tr:
                ClearToTableContext();
                InsertImplied("tbody", Tag::Tbody, t.range.begin);
                return Reprocess(Mode::InTableBody, t);
            case Tag::Table:
                // A table where only rows belong ends the table it is in and follows it.
                Stray(t);
                if (!InScope(Tag::Table, Scope::Table)) return;
                strays_.pop_back();
                PopUntil(Tag::Table);
                ResetMode();
                return Dispatch(t);
            case Tag::Style:
            case Tag::Script: return InHead(t);
            case Tag::Input: {
                const Attribute* type = nullptr;
                for (const Attribute& a : t.attrs)
                    if (a.name == "type" && !a.duplicate) type = &a;
                if (!type || !EqualsCaseless(type->value, "hidden")) break;
                InsertVoid(t);
                return;
            }
            case Tag::Form:
                if (form_) return Stray(t);
                form_ = InsertVoid(t);  // closed at once: nothing joins it
                return;
            default: break;
            }
            break;
        case TokenKind::EndTag:
            switch (t.tag) {
            case Tag::Table:
                if (!InScope(Tag::Table, Scope::Table)) return Stray(t);
                PopUntil(Tag::Table, &t.range);
                ResetMode();
                return;
            case Tag::Body:
            case Tag::Caption:
            case Tag::Col:
            case Tag::Colgroup:
            case Tag::Html:
            case Tag::Tbody:
            case Tag::Td:
            case Tag::Tfoot:
            case Tag::Th:
            case Tag::Thead:
            case Tag::Tr: return Stray(t);
            default: break;
            }
            break;
        }
        Fostered(t);
    }

    void InTableText(Token& t) {
        if (t.kind == TokenKind::Nul) return;
        if (t.kind == TokenKind::Text) {
            pendingText_.push_back(std::move(t));  // the tokenizer is done with it
            return;
        }
        const bool anySolid = std::any_of(pendingText_.begin(), pendingText_.end(),
                                          [](const Token& p) { return !p.IsSpaceText(); });
        std::vector<Token> pending = std::move(pendingText_);
        pendingText_.clear();
        mode_ = original_;
        for (Token& p : pending) {
            if (anySolid) Fostered(p);
            // White space directly in table structure stays; browsers never show it.
            else InsertText(p.range, p.text);
        }
        Dispatch(t);
    }

    void CloseCaption(const SourceRange* endTag) {
        GenerateImpliedEndTags();
        PopUntil(Tag::Caption, endTag);
        ClearToMarker();
        mode_ = Mode::InTable;
    }

    void InCaption(Token& t) {
        if (t.IsEnd(Tag::Caption)) {
            if (!InScope(Tag::Caption, Scope::Table)) return Stray(t);
            return CloseCaption(&t.range);
        }
        if ((t.kind == TokenKind::StartTag &&
             (t.tag == Tag::Caption || t.tag == Tag::Col || t.tag == Tag::Colgroup || t.tag == Tag::Tbody ||
              t.tag == Tag::Td || t.tag == Tag::Tfoot || t.tag == Tag::Th || t.tag == Tag::Thead ||
              t.tag == Tag::Tr)) ||
            t.IsEnd(Tag::Table)) {
            if (!InScope(Tag::Caption, Scope::Table)) return Stray(t);
            CloseCaption(nullptr);
            return Dispatch(t);
        }
        if (t.kind == TokenKind::EndTag &&
            (t.tag == Tag::Body || t.tag == Tag::Col || t.tag == Tag::Colgroup || t.tag == Tag::Html ||
             t.tag == Tag::Tbody || t.tag == Tag::Td || t.tag == Tag::Tfoot || t.tag == Tag::Th ||
             t.tag == Tag::Thead || t.tag == Tag::Tr))
            return Stray(t);
        InBody(t);
    }

    void InColumnGroup(Token& t) {
        if (t.IsSpaceText()) return InsertText(t.range, t.text);
        switch (t.kind) {
        case TokenKind::Comment: return InsertComment(t);
        case TokenKind::Doctype: return Stray(t);
        case TokenKind::Eof: return InBody(t);
        case TokenKind::StartTag:
            if (t.tag == Tag::Html) return InBody(t);
            if (t.tag == Tag::Col) {
                InsertVoid(t);
                return;
            }
            break;
        case TokenKind::EndTag:
            if (t.tag == Tag::Colgroup) {
                if (CurrentTag() != Tag::Colgroup) return Stray(t);
                Current()->endTag = t.range;
                Pop();
                mode_ = Mode::InTable;
                return;
            }
            if (t.tag == Tag::Col) return Stray(t);
            break;
        default: break;
        }
        if (CurrentTag() != Tag::Colgroup) return Stray(t);
        Pop();
        Reprocess(Mode::InTable, t);
    }

    void InTableBody(Token& t) {
        if (t.kind == TokenKind::StartTag) {
            switch (t.tag) {
            case Tag::Tr:
                ClearToTableBodyContext();
                Insert(t);
                mode_ = Mode::InRow;
                return;
            case Tag::Th:
            case Tag::Td:
                ClearToTableBodyContext();
                InsertImplied("tr", Tag::Tr, t.range.begin);
                return Reprocess(Mode::InRow, t);
            case Tag::Caption:
            case Tag::Col:
            case Tag::Colgroup:
            case Tag::Tbody:
            case Tag::Tfoot:
            case Tag::Thead:
                if (!InScope(Tag::Tbody, Scope::Table) && !InScope(Tag::Thead, Scope::Table) &&
                    !InScope(Tag::Tfoot, Scope::Table))
                    return Stray(t);
                ClearToTableBodyContext();
                Pop();
                return Reprocess(Mode::InTable, t);
            default: break;
            }
        } else if (t.kind == TokenKind::EndTag) {
            switch (t.tag) {
            case Tag::Tbody:
            case Tag::Tfoot:
            case Tag::Thead:
                if (!InScope(t.tag, Scope::Table)) return Stray(t);
                ClearToTableBodyContext();
                Current()->endTag = t.range;
                Pop();
                mode_ = Mode::InTable;
                return;
            case Tag::Table:
                if (!InScope(Tag::Tbody, Scope::Table) && !InScope(Tag::Thead, Scope::Table) &&
                    !InScope(Tag::Tfoot, Scope::Table))
                    return Stray(t);
                ClearToTableBodyContext();
                Pop();
                return Reprocess(Mode::InTable, t);
            case Tag::Body:
            case Tag::Caption:
            case Tag::Col:
            case Tag::Colgroup:
            case Tag::Html:
            case Tag::Td:
            case Tag::Th:
            case Tag::Tr: return Stray(t);
            default: break;
            }
        }
        InTable(t);
    }

    void InRow(Token& t) {
        if (t.kind == TokenKind::StartTag) {
            switch (t.tag) {
            case Tag::Th:
            case Tag::Td: {
                ClearToRowContext();
                Node* cell = Insert(t);
                mode_ = Mode::InCell;
                if (Pushed(cell)) PushMarker();
                return;
            }
            case Tag::Caption:
            case Tag::Col:
            case Tag::Colgroup:
            case Tag::Tbody:
            case Tag::Tfoot:
            case Tag::Thead:
            case Tag::Tr:
                if (!InScope(Tag::Tr, Scope::Table)) return Stray(t);
                ClearToRowContext();
                Pop();
                return Reprocess(Mode::InTableBody, t);
            default: break;
            }
        } else if (t.kind == TokenKind::EndTag) {
            switch (t.tag) {
            case Tag::Tr:
                if (!InScope(Tag::Tr, Scope::Table)) return Stray(t);
                ClearToRowContext();
                Current()->endTag = t.range;
                Pop();
                mode_ = Mode::InTableBody;
                return;
            case Tag::Table:
                if (!InScope(Tag::Tr, Scope::Table)) return Stray(t);
                ClearToRowContext();
                Pop();
                return Reprocess(Mode::InTableBody, t);
            case Tag::Tbody:
            case Tag::Tfoot:
            case Tag::Thead:
                if (!InScope(t.tag, Scope::Table)) return Stray(t);
                if (!InScope(Tag::Tr, Scope::Table)) return Stray(t);
                ClearToRowContext();
                Pop();
                return Reprocess(Mode::InTableBody, t);
            case Tag::Body:
            case Tag::Caption:
            case Tag::Col:
            case Tag::Colgroup:
            case Tag::Html:
            case Tag::Td:
            case Tag::Th: return Stray(t);
            default: break;
            }
        }
        InTable(t);
    }

    void CloseCell() {
        GenerateImpliedEndTags();
        while (open_.size() > 1) {
            const Tag c = CurrentTag();
            Pop();
            if (c == Tag::Td || c == Tag::Th) break;
        }
        ClearToMarker();
        mode_ = Mode::InRow;
    }

    void InCell(Token& t) {
        if (t.kind == TokenKind::EndTag && (t.tag == Tag::Td || t.tag == Tag::Th)) {
            if (!InScope(t.tag, Scope::Table)) return Stray(t);
            GenerateImpliedEndTags();
            PopUntil(t.tag, &t.range);
            ClearToMarker();
            mode_ = Mode::InRow;
            return;
        }
        if (t.kind == TokenKind::StartTag &&
            (t.tag == Tag::Caption || t.tag == Tag::Col || t.tag == Tag::Colgroup || t.tag == Tag::Tbody ||
             t.tag == Tag::Td || t.tag == Tag::Tfoot || t.tag == Tag::Th || t.tag == Tag::Thead || t.tag == Tag::Tr)) {
            if (!InScope(Tag::Td, Scope::Table) && !InScope(Tag::Th, Scope::Table)) return Stray(t);
            CloseCell();
            return Dispatch(t);
        }
        if (t.kind == TokenKind::EndTag) {
            switch (t.tag) {
            case Tag::Body:
            case Tag::Caption:
            case Tag::Col:
            case Tag::Colgroup:
            case Tag::Html: return Stray(t);
            case Tag::Table:
            case Tag::Tbody:
            case Tag::Tfoot:
            case Tag::Thead:
            case Tag::Tr:
                if (!InScope(t.tag, Scope::Table)) return Stray(t);
                CloseCell();
                return Dispatch(t);
            default: break;
            }
        }
        InBody(t);
    }

    void InSelect(Token& t) {
        switch (t.kind) {
        case TokenKind::Nul: return;
        case TokenKind::Text: return InsertText(t.range, t.text);
        case TokenKind::Comment: return InsertComment(t);
        case TokenKind::Doctype: return Stray(t);
        case TokenKind::Eof: return InBody(t);
        case TokenKind::StartTag:
            switch (t.tag) {
            case Tag::Html: return InBody(t);
            case Tag::Option:
                if (CurrentTag() == Tag::Option) Pop();
                Insert(t);
                return;
            case Tag::Optgroup:
                if (CurrentTag() == Tag::Option) Pop();
                if (CurrentTag() == Tag::Optgroup) Pop();
                Insert(t);
                return;
            case Tag::Hr:
                if (CurrentTag() == Tag::Option) Pop();
                if (CurrentTag() == Tag::Optgroup) Pop();
                InsertVoid(t);
                return;
            case Tag::Select:
                Stray(t);
                if (!InScope(Tag::Select, Scope::Select)) return;
                PopUntil(Tag::Select);
                ResetMode();
                return;
            case Tag::Input:
            case Tag::Keygen:
            case Tag::Textarea:
                if (!InScope(Tag::Select, Scope::Select)) return Stray(t);
                PopUntil(Tag::Select);
                ResetMode();
                return Dispatch(t);
            case Tag::Script: return InHead(t);
            default: return Stray(t);
            }
        case TokenKind::EndTag:
            switch (t.tag) {
            case Tag::Optgroup:
                if (CurrentTag() == Tag::Option && open_.size() > 2 && open_[open_.size() - 2].tag == Tag::Optgroup)
                    Pop();
                if (CurrentTag() != Tag::Optgroup) return Stray(t);
                Current()->endTag = t.range;
                Pop();
                return;
            case Tag::Option:
                if (CurrentTag() != Tag::Option) return Stray(t);
                Current()->endTag = t.range;
                Pop();
                return;
            case Tag::Select:
                if (!InScope(Tag::Select, Scope::Select)) return Stray(t);
                PopUntil(Tag::Select, &t.range);
                ResetMode();
                return;
            default: return Stray(t);
            }
        }
    }

    void InSelectInTable(Token& t) {
        const bool tableTag = t.tag == Tag::Caption || t.tag == Tag::Table || t.tag == Tag::Tbody ||
                              t.tag == Tag::Tfoot || t.tag == Tag::Thead || t.tag == Tag::Tr || t.tag == Tag::Td ||
                              t.tag == Tag::Th;
        if (t.kind == TokenKind::StartTag && tableTag) {
            PopUntil(Tag::Select);
            ResetMode();
            return Dispatch(t);
        }
        if (t.kind == TokenKind::EndTag && tableTag) {
            if (!InScope(t.tag, Scope::Table)) return Stray(t);
            PopUntil(Tag::Select);
            ResetMode();
            return Dispatch(t);
        }
        InSelect(t);
    }

    void AfterBody(Token& t) {
        if (t.IsSpaceText()) return InBody(t);
        switch (t.kind) {
        case TokenKind::Comment: return InsertComment(t, html_);
        case TokenKind::Doctype: return Stray(t);
        case TokenKind::Eof: return;
        case TokenKind::StartTag:
            if (t.tag == Tag::Html) return InBody(t);
            break;
        case TokenKind::EndTag:
            if (t.tag == Tag::Html) {
                if (fragment_) return Stray(t);
                if (html_->endTag) Stray(t);
                else html_->endTag = t.range;
                mode_ = Mode::AfterAfterBody;
                return;
            }
            break;
        default: break;
        }
        Reprocess(Mode::InBody, t);
    }

    // White space that frames keep; anything else there is dropped.
    void FramesetSpace(Token& t) {
        std::string space;
        for (char c : t.text)
            if (IsSpace(c)) space += c;
        InsertText(t.range, space);
    }

    void InFrameset(Token& t) {
        switch (t.kind) {
        case TokenKind::Text: return FramesetSpace(t);
        case TokenKind::Comment: return InsertComment(t);
        case TokenKind::StartTag:
            switch (t.tag) {
            case Tag::Html: return InBody(t);
            case Tag::Frameset: Insert(t); return;
            case Tag::Frame: InsertVoid(t); return;
            case Tag::Noframes: return InHead(t);
            default: return Stray(t);
            }
        case TokenKind::EndTag:
            if (t.tag == Tag::Frameset) {
                if (CurrentTag() == Tag::Html) return Stray(t);
                Current()->endTag = t.range;
                Pop();
                if (CurrentTag() != Tag::Frameset) mode_ = Mode::AfterFrameset;
                return;
            }
            return Stray(t);
        case TokenKind::Doctype: return Stray(t);
        default: return;
        }
    }

    void AfterFrameset(Token& t) {
        switch (t.kind) {
        case TokenKind::Text: return FramesetSpace(t);
        case TokenKind::Comment: return InsertComment(t);
        case TokenKind::StartTag:
            if (t.tag == Tag::Html) return InBody(t);
            if (t.tag == Tag::Noframes) return InHead(t);
            return Stray(t);
        case TokenKind::EndTag:
            if (t.tag == Tag::Html) {
                if (html_->endTag) Stray(t);
                else html_->endTag = t.range;
                mode_ = Mode::AfterAfterFrameset;
                return;
            }
            return Stray(t);
        case TokenKind::Doctype: return Stray(t);
        default: return;
        }
    }

    void AfterAfterBody(Token& t) {
        if (t.kind == TokenKind::Comment) return InsertComment(t, root_.get());
        if (t.kind == TokenKind::Doctype || t.IsSpaceText() || t.IsStart(Tag::Html)) return InBody(t);
        if (t.kind == TokenKind::Eof) return;
        Reprocess(Mode::InBody, t);
    }

    void AfterAfterFrameset(Token& t) {
        switch (t.kind) {
        case TokenKind::Comment: return InsertComment(t, root_.get());
        case TokenKind::Text: {
            // White space joins the body's place as in body; the rest is dropped.
            Token space = t;
            space.text.clear();
            for (char c : t.text)
                if (IsSpace(c)) space.text += c;
            if (!space.text.empty()) InBody(space);
            return;
        }
        case TokenKind::StartTag:
            if (t.tag == Tag::Html) return InBody(t);
            if (t.tag == Tag::Noframes) return InHead(t);
            return Stray(t);
        case TokenKind::Doctype: return Stray(t);
        default: return Stray(t);
        }
    }

    // An element's range spans its tags and everything it holds, fostered
    // or moved content included.
    static void Extend(Node& n) {
        for (auto& c : n.children) {
            Extend(*c);
            n.range.end = std::max(n.range.end, c->range.end);
        }
        if (n.IsElement()) {
            n.range.begin = n.startTag.begin;
            for (auto& c : n.children) n.range.begin = std::min(n.range.begin, c->range.begin);
            n.range.end = std::max({n.range.end, n.startTag.end, n.endTag ? n.endTag->end : 0});
        }
    }

    std::unique_ptr<Node> root_;
    bool fragment_;
    Node* html_ = nullptr;
    Node* head_ = nullptr;
    Node* body_ = nullptr;
    Node* frameset_ = nullptr;
    Node* form_ = nullptr;
    std::unique_ptr<Node> noBody_;  // a frameset document's body, out of the tree
    Mode mode_ = Mode::Initial;
    Mode original_ = Mode::InBody;
    TextState textState_ = TextState::Data;
    std::string rawEndName_;
    std::vector<Open> open_;
    std::vector<Active> active_;
    std::vector<Token> pendingText_;
    std::size_t openParagraphs_ = 0;  // p elements on the stack
    std::size_t reopenBudget_;
    std::size_t lineBreakSize_ = 1;
    bool framesetOk_ = true;
    bool fosterParenting_ = false;
    bool skipNewline_ = false;
    bool capped_ = false;
    std::size_t tokenBegin_ = 0;  // where the token being built from begins
    Compat compat_ = Compat::Quirks;
    std::optional<Doctype> doctype_;
    std::vector<StrayTag> strays_;
    std::size_t flattenedFrom_ = std::string_view::npos;
};

// Reads the source into tokens and hands each to the tree builder, which
// says how to read what follows a start tag (the text of <title>, <style>,
// <script>, <plaintext>).
class Tokenizer {
public:
    Tokenizer(std::string_view s, TreeBuilder& tree) : s_(s), n_(s.size()), tree_(tree) {}

    void Run(std::size_t from) {
        i_ = from;
        while (i_ < n_) {
            switch (tree_.textState()) {
            case TextState::Data: Data(); break;
            case TextState::RcData: RawText(true); break;
            case TextState::RawText: RawText(false); break;
            case TextState::ScriptData: ScriptData(); break;
            case TextState::Plaintext:
                EmitText(i_, n_, false, false);
                i_ = n_;
                break;
            }
        }
        Token eof;
        eof.kind = TokenKind::Eof;
        eof.range = {n_, n_};
        tree_.Process(eof);
    }

private:
    void Emit(Token& t) { tree_.Process(t); }

    // Text at [b, e): its references decoded when `refs`; in the data
    // state, leading white space is a token of its own and NUL is no text.
    void EmitText(std::size_t b, std::size_t e, bool refs, bool data) {
        if (b >= e) return;
        if (data) {
            std::size_t lead = b;
            while (lead < e && IsSpace(s_[lead])) ++lead;
            if (lead > b) {
                Token t;
                t.kind = TokenKind::Text;
                t.range = {b, lead};
                t.text.assign(s_.substr(b, lead - b));
                FoldLineBreaks(t.text);
                LineBreak(b);
                Emit(t);
                b = lead;
                if (b == e) return;
            }
        }
        Token t;
        t.kind = TokenKind::Text;
        t.range = {b, e};
        // Line breaks are folded before references are decoded: "&#13;" stays a CR.
        t.text.assign(s_.substr(b, e - b));
        FoldLineBreaks(t.text);
        if (refs && t.text.find('&') != std::string::npos) t.text = DecodeEntities(t.text);
        if (!data) ReplaceNul(t.text);
        LineBreak(b);
        Emit(t);
    }

    void LineBreak(std::size_t at) {
        tree_.SetLineBreakSize(s_.compare(at, 2, "\r\n") == 0 ? 2 : 1);
    }

    void Data() {
        const char c = s_[i_];
        if (c == '<') return TagOpen();
        if (c == '\0') {
            Token t;
            t.kind = TokenKind::Nul;
            t.range = {i_, i_ + 1};
            ++i_;
            return Emit(t);
        }
        std::size_t e = i_ + 1;
        while (e < n_ && s_[e] != '<' && s_[e] != '\0') ++e;
        EmitText(i_, e, true, true);
        i_ = e;
    }

    void TagOpen() {
        const std::size_t at = i_;
        if (at + 1 >= n_) return Literal(at, at + 1);
        const char c = s_[at + 1];
        if (c == '!') return MarkupDeclaration();
        if (c == '?') return BogusComment(at, at + 1);
        if (IsAsciiAlpha(c)) return Tag(at, false);
        if (c != '/') return Literal(at, at + 1);
        if (at + 2 >= n_) return Literal(at, n_);  // "</" at the end is text
        if (IsAsciiAlpha(s_[at + 2])) return Tag(at, true);
        if (s_[at + 2] == '>') {
            // "</>" is nothing at all to browsers.
            strays_.push_back({"", true, {at, at + 3}});
            i_ = at + 3;
            return;
        }
        BogusComment(at, at + 2);
    }

    void Literal(std::size_t b, std::size_t e) {
        Token t;
        t.kind = TokenKind::Text;
        t.range = {b, e};
        t.text.assign(s_.substr(b, e - b));
        i_ = e;
        Emit(t);
    }

    void Comment(std::size_t b, std::size_t e, std::string_view data) {
        Token t;
        t.kind = TokenKind::Comment;
        t.range = {b, e};
        t.text.assign(data);
        FoldLineBreaks(t.text);
        ReplaceNul(t.text);
        i_ = e;
        Emit(t);
    }

    // "<?...>", "</ ...>", "<!...>": a comment of what stands up to the ">".
    void BogusComment(std::size_t at, std::size_t dataFrom) {
        const std::size_t gt = s_.find('>', dataFrom);
        const std::size_t stop = gt == std::string_view::npos ? n_ : gt;
        Comment(at, gt == std::string_view::npos ? n_ : gt + 1, s_.substr(dataFrom, stop - dataFrom));
    }

    void MarkupDeclaration() {
        const std::size_t at = i_;
        if (s_.compare(at + 2, 2, "--") == 0) return CommentBody(at);
        if (StartsCaseless(s_.substr(at + 2), "doctype")) {
            const std::size_t gt = s_.find('>', at + 9);
            const bool closed = gt != std::string_view::npos;
            const std::size_t stop = closed ? gt : n_;
            Token t;
            t.kind = TokenKind::Doctype;
            t.range = {at, closed ? gt + 1 : n_};
            t.text.assign(s_.substr(at + 2, stop - (at + 2)));
            t.doctype = ReadDoctype(s_.substr(at + 9, stop - (at + 9)), closed);
            i_ = t.range.end;
            return Emit(t);
        }
        BogusComment(at, at + 2);
    }

    void CommentBody(std::size_t at) {
        const std::size_t p = at + 4;
        if (p < n_ && s_[p] == '>') return Comment(at, p + 1, {});
        if (s_.compare(p, 2, "->") == 0) return Comment(at, p + 2, {});
        for (std::size_t q = s_.find("--", p); q != std::string_view::npos; q = s_.find("--", q + 1)) {
            if (q + 2 < n_ && s_[q + 2] == '>') return Comment(at, q + 3, s_.substr(p, q - p));
            if (q + 3 < n_ && s_[q + 2] == '!' && s_[q + 3] == '>') return Comment(at, q + 4, s_.substr(p, q - p));
        }
        // Cut short by the end: the dashes that began to close it are no text.
        std::string_view data = s_.substr(std::min(p, n_));
        for (std::string_view tail : {"--!", "--", "-"}) {
            if (data.size() >= tail.size() && data.substr(data.size() - tail.size()) == tail) {
                data.remove_suffix(tail.size());
                break;
            }
        }
        Comment(at, n_, data);
    }

    // A start or end tag at `at`, with its attributes.
    void Tag(std::size_t at, bool end) {
        Token t;
        t.kind = end ? TokenKind::EndTag : TokenKind::StartTag;
        t.range.begin = at;
        std::size_t p = at + (end ? 2 : 1);
        while (p < n_ && !IsSpace(s_[p]) && s_[p] != '/' && s_[p] != '>') {
            if (s_[p] == '\0') t.name += kReplacement;
            else t.name += Lower(s_[p]);
            ++p;
        }
        std::unordered_set<std::string> seen;
        constexpr std::size_t kFewAttributes = 16;
        for (;;) {
            while (p < n_ && IsSpace(s_[p])) ++p;
            if (p >= n_) return CutShort(t);
            if (s_[p] == '>') {
                ++p;
                break;
            }
            if (s_[p] == '/') {
                ++p;
                if (p < n_ && s_[p] == '>') {
                    t.selfClosing = true;
                    ++p;
                    break;
                }
                continue;
            }
            Attribute a;
            a.range.begin = a.nameRange.begin = p;
            do {
                if (s_[p] == '\0') a.name += kReplacement;
                else a.name += Lower(s_[p]);
                ++p;
            } while (p < n_ && !IsSpace(s_[p]) && s_[p] != '/' && s_[p] != '>' && s_[p] != '=');
            a.nameRange.end = a.range.end = p;
            a.valueRange = {p, p};
            std::size_t q = p;
            while (q < n_ && IsSpace(s_[q])) ++q;
            if (q < n_ && s_[q] == '=') {
                p = q + 1;
                while (p < n_ && IsSpace(s_[p])) ++p;
                if (p >= n_) return CutShort(t);
                if (s_[p] == '"' || s_[p] == '\'') {
                    const char quote = s_[p++];
                    a.quote = quote == '"' ? Quote::Double : Quote::Single;
                    const std::size_t close = s_.find(quote, p);
                    if (close == std::string_view::npos) return CutShort(t);
                    a.valueRange = {p, close};
                    p = close + 1;
                } else {
                    a.quote = Quote::Unquoted;
                    const std::size_t start = p;
                    while (p < n_ && !IsSpace(s_[p]) && s_[p] != '>') ++p;
                    if (p >= n_) return CutShort(t);
                    a.valueRange = {start, p};
                }
                a.range.end = p;
                a.value.assign(a.valueRange.Of(s_));
                FoldLineBreaks(a.value);
                ReplaceNul(a.value);
                if (a.value.find('&') != std::string::npos) a.value = DecodeEntities(a.value, true);
            } else {
                p = q;
            }
            // A tag's few attributes are compared one by one; a tag with very
            // many looks its names up, so that it costs time in proportion to them.
            if (t.attrs.size() < kFewAttributes) {
                a.duplicate = std::any_of(t.attrs.begin(), t.attrs.end(),
                                          [&](const Attribute& b) { return b.name == a.name; });
            } else {
                if (seen.empty())
                    for (const Attribute& b : t.attrs) seen.insert(b.name);
                a.duplicate = !seen.insert(a.name).second;
            }
            t.attrs.push_back(std::move(a));
        }
        t.range.end = p;
        i_ = p;
        t.tag = TagOf(t.name);
        if (end) {
            t.attrs.clear();
            t.selfClosing = false;
        }
        Emit(t);
    }

    // A tag the end of the input cuts short is nothing to browsers; its bytes are a stray's.
    void CutShort(const Token& t) {
        strays_.push_back({t.name, t.kind == TokenKind::EndTag, {t.range.begin, n_}});
        i_ = n_;
    }

    // Whether "</name" followed by white space, "/" or ">" stands at p.
    bool EndTagAt(std::size_t p, std::string_view name) const {
        if (s_.compare(p, 2, "</") != 0) return false;
        const std::size_t e = p + 2 + name.size();
        if (e >= n_ || !StartsCaseless(s_.substr(p + 2), name)) return false;
        return IsSpace(s_[e]) || s_[e] == '/' || s_[e] == '>';
    }

    void RawText(bool refs) {
        const std::string& name = tree_.rawEndName();
        std::size_t p = i_;
        for (;;) {
            p = s_.find("</", p);
            if (p == std::string_view::npos || EndTagAt(p, name)) break;
            ++p;
        }
        const std::size_t e = p == std::string_view::npos ? n_ : p;
        EmitText(i_, e, refs, false);
        i_ = e;
        if (e < n_) Tag(e, true);
    }

    // Script text runs to "</script", except inside "<!--" where a
    // "<script" opens an inner script whose end tag does not end it.
    void ScriptData() {
        enum { Normal, Escaped, DoubleEscaped } state = Normal;
        std::size_t q = i_;
        std::size_t end = n_;
        auto tagAt = [&](std::size_t p, std::size_t skip) {
            const std::size_t e = p + skip + 6;
            return e < n_ && StartsCaseless(s_.substr(p + skip), "script") &&
                   (IsSpace(s_[e]) || s_[e] == '/' || s_[e] == '>');
        };
        while (q < n_) {
            if (state != Normal && s_.compare(q, 3, "-->") == 0) {
                state = Normal;
                q += 3;
                continue;
            }
            if (s_[q] != '<') {
                ++q;
                continue;
            }
            if (state != DoubleEscaped && EndTagAt(q, "script")) {
                end = q;
                break;
            }
            if (state == Normal && s_.compare(q, 4, "<!--") == 0) {
                state = Escaped;
                q += 2;  // the dashes may close it at once: "<!-->"
                continue;
            }
            if (state == Escaped && tagAt(q, 1)) {
                state = DoubleEscaped;
                q += 7;
                continue;
            }
            if (state == DoubleEscaped && s_.compare(q, 2, "</") == 0 && tagAt(q, 2)) {
                state = Escaped;
                q += 8;
                continue;
            }
            ++q;
        }
        EmitText(i_, end, false, false);
        i_ = end;
        if (end < n_) Tag(end, true);
    }

public:
    std::vector<StrayTag> strays_;  // tags the tokenizer drops

private:
    std::string_view s_;
    std::size_t n_;
    TreeBuilder& tree_;
    std::size_t i_ = 0;
};

Document Parse(std::string_view s, bool fragment) {
    TreeBuilder tree(fragment, s.size());
    Tokenizer tokens(s, tree);
    tokens.Run(s.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0);
    Document doc = tree.Finish(s.size());
    if (!tokens.strays_.empty()) {
        doc.strayTags.insert(doc.strayTags.end(), tokens.strays_.begin(), tokens.strays_.end());
        std::stable_sort(doc.strayTags.begin(), doc.strayTags.end(),
                         [](const StrayTag& a, const StrayTag& b) { return a.range.begin < b.range.begin; });
    }
    return doc;
}

}  // namespace

bool IsVoidElement(std::string_view t) {
    static constexpr std::string_view kVoid[] = {"br",    "img",  "hr",     "input",  "meta",   "link",
                                                 "area",  "base", "col",    "wbr",    "embed",  "param",
                                                 "source", "track", "keygen", "basefont", "bgsound", "frame"};
    return std::find(std::begin(kVoid), std::end(kVoid), t) != std::end(kVoid);
}

bool IsRawTextElement(std::string_view t) {
    static constexpr std::string_view kRaw[] = {"title", "textarea", "script", "style", "xmp",
                                                "iframe", "noembed", "noframes", "plaintext"};
    return std::find(std::begin(kRaw), std::end(kRaw), t) != std::end(kRaw);
}

Document ParseHtml(std::string_view utf8) { return Parse(utf8, false); }

Document ParseHtmlFragment(std::string_view utf8) { return Parse(utf8, true); }

}  // namespace mojian::html
