// The HTML parser: accepts what browsers accept and never fails.
#pragma once

#include <string_view>

#include "html/Dom.h"

namespace mojian::html {

// Parses a whole document given as UTF-8 (a leading byte-order mark is
// skipped, but ranges still count it) into the tree browsers build: tags
// are matched without regard to case; end tags a browser would imply are
// implied; misnested formatting elements are closed and reopened; text and
// markup met where only table structure belongs move before the table;
// script, style, title, textarea, xmp, iframe, noembed, noframes and
// plaintext contents are text, not markup (noscript is markup: there is no
// scripting). A fragment parsed this way gets the document around it.
// Nesting deeper than kMaxDepth inside the body is flattened.
Document ParseHtml(std::string_view utf8);

// Parses the content of an element such as a <div>, as browsers do when a
// page sets an element's HTML: what would go in the head or before the body
// stays where it is written, and <html>, <head>, <body> and <frameset> tags
// are strays. The tree has the implied html, head and body, and the
// content is the body's.
Document ParseHtmlFragment(std::string_view utf8);

// Elements that never hold anything: <br>, <img>...
bool IsVoidElement(std::string_view tag);
// Elements whose content is text up to their end tag (title, textarea,
// script, style, xmp, iframe, noembed, noframes; plaintext to the end); the
// first two decode character references in it.
bool IsRawTextElement(std::string_view tag);

}  // namespace mojian::html
