// The test of a cut: every piece, parsed alone, gives the elements, tags,
// comments and text it had in the page, each under the same parent (or at
// the top of the document, head and body alike), so that the piece can stand
// on its own. Shared by the cut and fuzz tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "html/Dom.h"
#include "html/Parser.h"

namespace mojian::testing {

// A node or tag as its piece sees it: positions from the piece's start.
struct Item {
    std::size_t begin;
    char kind;  // 'e'lement, 'c'omment or doctype, 't'ext inside an element, 'x' text at the top, 's'tray tag
    std::size_t end, tagEnd, endTag;
    std::string name;
    std::string parent;  // the parent element's start and name, or "top"
    friend auto operator<=>(const Item&, const Item&) = default;
};

using Shape = std::vector<Item>;

// What of `doc` (parsed from `source`) lies in each piece between `cuts`,
// in one walk. Text at the top counts by its non-blank bytes, as a cut may
// fall inside it.
inline std::vector<Shape> ShapesOf(std::string_view source, const html::Document& doc,
                                   const std::vector<std::size_t>& cuts) {
    std::vector<Shape> shapes(cuts.size() - 1);
    const auto pieceOf = [&](std::size_t at) {
        return static_cast<std::size_t>(std::upper_bound(cuts.begin(), cuts.end(), at) - cuts.begin()) - 1;
    };
    const auto frame = [&](const html::Node* n) {
        return n == doc.root.get() || n == doc.html || n == doc.head || n == doc.body;
    };
    const auto add = [&](Item item, std::size_t at) {
        const std::size_t piece = pieceOf(at);
        if (piece >= shapes.size()) return;
        const std::size_t base = cuts[piece];
        item.begin -= base;
        item.end -= base;
        if (item.tagEnd) item.tagEnd -= base;
        if (item.endTag) item.endTag -= base;
        shapes[piece].push_back(std::move(item));
    };
    std::vector<const html::Node*> pending{doc.root.get()};
    while (!pending.empty()) {
        const html::Node& n = *pending.back();
        pending.pop_back();
        for (const auto& c : n.children) {
            const html::Node& child = *c;
            pending.push_back(&child);
            const html::Node* p = child.parent;
            const bool top = !p || frame(p);
            std::string parent = "top";
            if (!top) parent = std::to_string(p->startTag.begin - cuts[pieceOf(p->startTag.begin)]) + p->tag + (p->implied ? "*" : "");
            if (child.IsElement()) {
                if (!frame(&child))
                    add({child.startTag.begin, 'e', child.range.end, child.startTag.end,
                         child.endTag ? child.endTag->end : 0, child.tag + (child.implied ? "*" : ""), parent},
                        child.startTag.begin);
            } else if (child.IsText() && top) {
                for (std::size_t i = child.range.begin; i < child.range.end; ++i) {
                    const char ch = source[i];
                    if (ch != ' ' && ch != '\t' && ch != '\r' && ch != '\n' && ch != '\f') add({i, 'x', i, 0, 0, {}, {}}, i);
                }
            } else {
                add({child.range.begin, child.IsText() ? 't' : 'c', child.range.end, 0, 0, {}, parent}, child.range.begin);
            }
        }
    }
    for (const html::StrayTag& t : doc.strayTags) {
        if (t.name == "html" || t.name == "head" || t.name == "body") continue;  // they only move the frame
        add({t.range.begin, 's', t.range.end, 0, 0, (t.endTag ? "/" : "") + t.name, {}}, t.range.begin);
    }
    for (Shape& shape : shapes) std::sort(shape.begin(), shape.end());
    return shapes;
}

// Every piece between consecutive cuts of `text` (parsed as `doc`) is whole
// HTML and ends with CR LF.
inline void ExpectWholePieces(std::string_view text, const html::Document& doc, const std::vector<std::size_t>& cuts) {
    ASSERT_GE(cuts.size(), 2u);
    ASSERT_EQ(cuts.front(), 0u);
    ASSERT_EQ(cuts.back(), text.size());
    const std::vector<Shape> inPage = ShapesOf(text, doc, cuts);
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        ASSERT_LT(cuts[i], cuts[i + 1]);
        const std::string_view piece = text.substr(cuts[i], cuts[i + 1] - cuts[i]);
        ASSERT_TRUE(piece.ends_with("\r\n")) << "piece " << i;
        const std::vector<std::size_t> whole{0, piece.size()};
        const Shape alone = ShapesOf(piece, html::ParseHtml(piece), whole).front();
        if (alone != inPage[i]) {
            const auto [a, b] = std::mismatch(alone.begin(), alone.end(), inPage[i].begin(), inPage[i].end());
            const auto describe = [](const Shape& s, Shape::const_iterator it) {
                return it == s.end() ? std::string("nothing")
                                     : std::string(1, it->kind) + " " + it->name + " at " + std::to_string(it->begin) +
                                           "-" + std::to_string(it->end) + " under " + it->parent;
            };
            ADD_FAILURE() << "piece " << i << " at " << cuts[i] << " is not whole: alone " << describe(alone, a)
                          << ", in the page " << describe(inPage[i], b) << "\n" << piece.substr(0, 400);
            return;
        }
    }
}

inline void ExpectWholePieces(std::string_view text, const std::vector<std::size_t>& cuts) {
    ExpectWholePieces(text, html::ParseHtml(text), cuts);
}

}  // namespace mojian::testing
