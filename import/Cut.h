// Where a page may be cut into pieces that are each whole HTML: parsed alone,
// a piece gives the elements it had in the page, so it can be previewed,
// moved or checked on its own. Pieces end with CR LF, as every built-in block
// and every custom source's file does.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "html/Dom.h"

namespace mojian::import {

// Ascending positions where a piece begins, with 0 first and text.size()
// last. A cut falls right after a CR LF where no element, comment, tag or
// raw text spans it: between the top-level nodes of the body, or inside
// top-level text. The document's head and its closing tags stay with the
// first and last piece. No cut follows an element that browsers keep open
// past where the parser closed it (a formatting element closed by another's
// end tag, outside any table cell), or the first element nested past the
// parser's depth limit: from there on the page is one piece.
std::vector<std::size_t> CutPoints(std::string_view text, const html::Document& doc);
std::vector<std::size_t> CutPoints(std::string_view text);

}  // namespace mojian::import
