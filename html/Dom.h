// The document tree of the HTML engine: elements, text, comments and the
// doctype, each with the byte range of the UTF-8 source it came from, so a
// feature can change one value and leave every other byte of the source as
// it was. ParseHtml (html/Parser.h) builds it.
//
// Ranges are offsets into the exact string given to the parser (a leading
// byte-order mark included), half-open: [begin, end). Every range lies inside
// that source, and slicing the source by a range gives exactly the raw text
// the range stands for:
//   Node::range      text, comment, doctype: all of it as written ("a&amp;b",
//                    "<!-- x -->"); element: the start tag, the end tag and
//                    everything the element holds, as one span (content
//                    browsers moved into it may lie before its start tag; a
//                    table's span runs on to what closed it, so content moved
//                    out of it, before it, lies inside)
//   Node::startTag   "<td width=750>" ("/>" included as written); for an
//                    element the parser made up (implied: html, head, body,
//                    tbody, tr, colgroup, a p for a lone "</p>", a reopened
//                    formatting element), an empty range where it did so
//   Node::endTag     "</td>", or none when the source has no end tag for the
//                    element (void, closed by another tag or by the end)
//   Attribute::range       name=value with its quotes
//   Attribute::nameRange   the name as written (any case)
//   Attribute::valueRange  the raw value, without its quotes and before
//                          character references are decoded; for an
//                          attribute written without a value, empty at the
//                          end of its name
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mojian::html {

struct SourceRange {
    std::size_t begin = 0;
    std::size_t end = 0;  // one past the last byte

    std::size_t size() const { return end - begin; }
    bool empty() const { return begin == end; }
    // The bytes of `source` this range covers.
    std::string_view Of(std::string_view source) const { return source.substr(begin, end - begin); }
    friend bool operator==(const SourceRange&, const SourceRange&) = default;
};

// How an attribute's value was written.
enum class Quote : std::uint8_t {
    None,      // no value at all: <td nowrap>
    Unquoted,  // width=750
    Single,    // width='750'
    Double,    // width="750"
};

struct Attribute {
    std::string name;   // lower case
    std::string value;  // character references decoded, UTF-8
    SourceRange range;
    SourceRange nameRange;
    SourceRange valueRange;
    Quote quote = Quote::None;
    // A later attribute of a name the tag already has: browsers ignore it,
    // and so do Node::Attr and the styles.
    bool duplicate = false;
};

enum class NodeKind : std::uint8_t { Document, Element, Text, Comment, Doctype };

struct Node {
    NodeKind kind = NodeKind::Element;
    std::string tag;               // elements: the name in lower case; empty otherwise
    // Elements: in source order, duplicates included. A second <html> or
    // <body> tag adds the attributes the element lacks, their ranges in
    // that stray tag.
    std::vector<Attribute> attrs;
    // Text: the decoded text as browsers read it (CR LF and CR are LF; NUL
    // is dropped from body text and U+FFFD elsewhere). Comment: what stands
    // between "<!--" and "-->" (or the end); doctype: what stands between
    // "<!" and ">"; other "<!...>", "<?...>" and "</ ...>" markup are
    // comments of what stands after "<!", "<" or "</" up to ">".
    std::u16string text;
    std::vector<std::unique_ptr<Node>> children;
    Node* parent = nullptr;

    SourceRange range;
    SourceRange startTag;
    std::optional<SourceRange> endTag;
    bool implied = false;      // an element the source has no start tag for (html, head, body, a row)
    bool selfClosing = false;  // the start tag ends with "/>"
    // A formatting element (<b>, <font>, <a>...) that browsers open again
    // after misnested markup closed it: implied, with an empty startTag
    // where it was made, and the attributes of the element written in the
    // source that it continues (their ranges are that element's), which
    // this points at. Never edit the source through it.
    const Node* reopens = nullptr;

    bool IsElement() const { return kind == NodeKind::Element; }
    bool IsText() const { return kind == NodeKind::Text; }
    // The decoded value of the first attribute of that name, or nullptr when it is absent.
    const std::string* Attr(std::string_view name) const;
    // That attribute with its ranges, or nullptr.
    const Attribute* FindAttr(std::string_view name) const;
    // Whether a text child of its own holds anything but white space.
    bool HasOwnText() const;
};

// A tag the tree has no element for: an end tag that closes nothing, a
// second <html>, <head> or <body>, a cell or row outside any table, a tag
// the end of the input cuts short (browsers drop it), "</>" (name empty),
// and a doctype past the start of the document (name "!doctype").
struct StrayTag {
    std::string name;  // lower case
    bool endTag = false;
    SourceRange range;
};

// The document's doctype as browsers read it: <!DOCTYPE html PUBLIC "a" "b">
// has the name "html", the public identifier "a" and the system one "b".
struct Doctype {
    std::string name;  // lower case; empty when the doctype has none
    std::optional<std::string> publicId;
    std::optional<std::string> systemId;
    bool forceQuirks = false;  // written so badly that browsers take it for an old one
};

// How a browser lays the document out, from its doctype: quirks mode (no
// doctype or an old one), limited quirks (the transitional doctypes) or
// standards mode.
enum class Compat : std::uint8_t { NoQuirks, LimitedQuirks, Quirks };

// A parsed document: the tree browsers build (the HTML standard's tree
// construction, without scripting, templates and SVG/MathML, which are
// ordinary elements here). The tree always has the html element with its
// head and body (made up when the source has none, as browsers do): a
// fragment's content is the body's. Elements that belong in the head
// (title, meta, link, base, style, script) go there until the body starts,
// and stay where they are written after that; comments, white space (in
// table structure too), misnested and fostered content go where browsers
// put them. White space before the head and NUL in body text are not kept;
// every other byte of the source is in some node's or stray tag's range.
struct Document {
    std::unique_ptr<Node> root;  // NodeKind::Document: the doctype, comments and the html element
    Node* html = nullptr;
    Node* head = nullptr;
    Node* body = nullptr;
    std::vector<StrayTag> strayTags;  // in source order
    std::size_t sourceSize = 0;       // bytes of the source parsed
    Compat compat = Compat::Quirks;
    // The doctype ahead of the html element (its node is among root's
    // children), or none: doctypes anywhere else mean nothing to browsers.
    std::optional<Doctype> doctype;
    // A frameset document's body: browsers build none, so it is in no
    // tree, but `body` points at it (empty, its parent the html element)
    // for every caller that looks for one.
    std::unique_ptr<Node> noBody;
    // Where the first element past kMaxDepth starts, or npos: from there on
    // the tree is flatter than a browser's.
    std::size_t flattenedFrom = std::string_view::npos;
};

// Nesting deeper than this many elements inside the body is flattened: the
// elements past it hold nothing and their content follows them. The list
// of formatting elements to reopen is no longer either.
inline constexpr int kMaxDepth = 120;

}  // namespace mojian::html
