#include "import/Cut.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "html/Parser.h"

namespace mojian::import {

namespace {

using html::Node;

constexpr std::size_t kNone = std::string_view::npos;

bool OneOf(std::string_view t, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), t) != names.end();
}

// Elements a browser keeps on its list of active formatting and opens again
// after whatever closed them, until their own end tag.
bool IsFormatting(std::string_view t) {
    return OneOf(t, {"a", "b", "big", "code", "em", "font", "i", "nobr", "s", "small", "strike", "strong", "tt", "u"});
}

// Elements whose end a browser keeps formatting and misnesting within.
bool IsCell(std::string_view t) { return t == "td" || t == "th" || t == "caption"; }

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool NameEnds(std::string_view text, std::size_t at) {
    if (at >= text.size()) return true;
    const char c = text[at];
    return c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// The tag at `at`: "<" or "</", then a name of the given kind.
template <class Test>
bool TagAt(std::string_view text, std::size_t at, bool endTag, Test&& isName) {
    std::size_t p = at;
    if (p >= text.size() || text[p++] != '<') return false;
    if (endTag && (p >= text.size() || text[p++] != '/')) return false;
    std::string name;
    while (p < text.size() && !NameEnds(text, p) && name.size() < 8) {
        const char c = text[p++];
        name += c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    }
    return NameEnds(text, p) && isName(std::string_view(name));
}

// Where the first element starts that a browser would keep open past the
// point where the parser closed it, or kNone. The parser pops an element
// without an end tag when an enclosing element's end tag comes; a browser
// opens a formatting element again after it, and keeps a block that a
// formatting end tag cut short open (its adoption of misnested tags), so
// what follows is inside them there. Table cells end both.
std::size_t FirstLeak(std::string_view text, const Node& body) {
    std::size_t first = kNone;
    std::vector<std::pair<const Node*, bool>> pending{{&body, false}};  // node, inside a cell
    while (!pending.empty()) {
        const auto [node, inCell] = pending.back();
        pending.pop_back();
        for (const auto& child : node->children) {
            if (!child->IsElement()) continue;
            const Node& e = *child;
            const bool cell = inCell || IsCell(e.tag);
            if (!cell && !e.implied && !e.endTag && !html::IsVoidElement(e.tag) && !html::IsRawTextElement(e.tag)) {
                const std::size_t after = e.range.end;
                bool leaks = false;
                if (IsFormatting(e.tag)) {
                    // <a> closes an open <a> for good, in browsers too
                    leaks = !(e.tag == "a" && TagAt(text, after, false, [](std::string_view n) { return n == "a"; }));
                } else {
                    leaks = TagAt(text, after, true, IsFormatting);
                }
                if (leaks) first = std::min(first, e.range.begin);
            }
            if (!e.children.empty()) pending.push_back({&e, cell});
        }
    }
    return first;
}

// Ranges no cut may fall strictly inside: every node at the top of the
// document but top-level text, and every tag the tree has no element for.
std::vector<html::SourceRange> Spans(std::string_view text, const html::Document& doc) {
    std::vector<html::SourceRange> spans;
    for (const Node* container : {doc.root.get(), doc.html, doc.head, doc.body}) {
        if (!container) continue;
        const auto& children = container->children;
        for (std::size_t k = 0; k < children.size(); ++k) {
            const Node* c = children[k].get();
            if (c == doc.html || c == doc.head || c == doc.body || c->IsText()) continue;
            html::SourceRange range = c->range;
            if (c->implied && c->tag == "p" && c->endTag && container == doc.body) {
                // A "</p>" that no p is open for is an empty paragraph in a
                // page, and nothing at the start of a piece: no cut goes
                // right before it.
                // Comments and white space before it would not help.
                for (std::size_t j = k; j-- > 0;) {
                    const Node& b = *children[j];
                    const std::string_view raw = b.range.Of(text);
                    const bool blank = b.IsText() && std::all_of(raw.begin(), raw.end(), IsSpace);
                    if (b.kind != html::NodeKind::Comment && !blank) break;
                    range.begin = b.range.begin;
                }
                while (range.begin > 0 && IsSpace(text[range.begin - 1])) --range.begin;
                if (range.begin > 0) --range.begin;
            }
            spans.push_back(range);
        }
    }
    for (const html::StrayTag& stray : doc.strayTags) {
        html::SourceRange range = stray.range;
        if (stray.name == "!doctype") {
            // A doctype past the start means nothing, and at the start of a
            // piece it would be the piece's: no cut goes right before it.
            while (range.begin > 0 && IsSpace(text[range.begin - 1])) --range.begin;
            if (range.begin > 0) --range.begin;
        }
        spans.push_back(range);
    }
    // Content moved before a table lies inside the table's span; sorting
    // brings the spans back to source order.
    std::sort(spans.begin(), spans.end(), [](const auto& a, const auto& b) { return a.begin < b.begin; });
    return spans;
}

}  // namespace

std::vector<std::size_t> CutPoints(std::string_view text, const html::Document& doc) {
    const std::size_t n = text.size();
    std::vector<std::size_t> cuts{0};
    if (n == 0) return cuts;

    // The body's content, without its own tags and what precedes and follows them.
    const Node& body = *doc.body;
    const std::size_t from = body.implied ? body.startTag.begin : body.startTag.end;
    std::size_t to = n;
    if (body.endTag) to = std::min(to, body.endTag->begin);
    if (doc.html->endTag) to = std::min(to, doc.html->endTag->begin);
    to = std::min({to, doc.flattenedFrom, FirstLeak(text, body)});

    const std::vector<html::SourceRange> spans = Spans(text, doc);
    std::size_t span = 0;   // the first span that begins at or after the cut looked at
    std::size_t reach = 0;  // the furthest end of the spans before it
    for (const char* hit = static_cast<const char*>(std::memchr(text.data(), '\n', n)); hit;) {
        const std::size_t p = static_cast<std::size_t>(hit - text.data()) + 1;
        if (p > to) break;
        if (p >= 2 && text[p - 2] == '\r' && p >= from && p < n) {
            while (span < spans.size() && spans[span].begin < p) reach = std::max(reach, spans[span++].end);
            if (reach <= p) cuts.push_back(p);  // no span begins before the cut and ends after it
        }
        hit = p < n ? static_cast<const char*>(std::memchr(text.data() + p, '\n', n - p)) : nullptr;
    }
    cuts.push_back(n);
    return cuts;
}

std::vector<std::size_t> CutPoints(std::string_view text) { return CutPoints(text, html::ParseHtml(text)); }

}  // namespace mojian::import
