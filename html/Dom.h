// The document tree of the HTML view: elements and text, built by a parser
// that accepts what browsers accept and never fails.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mojian::html {

struct Node {
    bool isText = false;
    std::string tag;                                         // lower case; empty for text
    std::vector<std::pair<std::string, std::string>> attrs;  // names lower case, values decoded UTF-8
    std::u16string text;                                     // text nodes: decoded, whitespace as written
    std::vector<std::unique_ptr<Node>> children;
    Node* parent = nullptr;

    // The attribute's value, or nullptr when it is absent.
    const std::string* Attr(std::string_view name) const;
};

// Parses a fragment or a whole document. The result is the body's content
// under one root element (tag "body"); head, title, script and style
// contents are dropped. Nesting deeper than kMaxDepth is flattened.
std::unique_ptr<Node> ParseHtml(std::string_view utf8);

inline constexpr int kMaxDepth = 120;

// Decodes character references (named, decimal, hexadecimal) in UTF-8 text.
std::string DecodeEntities(std::string_view utf8);

}  // namespace mojian::html
