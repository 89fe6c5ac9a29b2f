// The placeholders of the built-in blocks, derived from the ninety blocks
// themselves with the parser: the texts that prompt the seller to type
// something ("请在此输入产品名称") and the sample pictures waiting for the
// seller's own. Derived once from the blocks as built in (not as the code
// editor may have changed them); thread-safe.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace mojian::check {

// Every text run of a block (white space collapsed) that holds one of the
// markers; longest first, so the longest one a page text holds is found first.
const std::vector<std::string>& PlaceholderTexts(const std::vector<std::string>& markers);

// The address of every picture element (img) of a block, as a browser reads
// it, but for the blocks' icons: pictures given no more than `iconPixels`
// either way. Background pictures are the blocks' own design (the column
// headings' strips) and not among them either.
const std::set<std::string, std::less<>>& PlaceholderPictures(double iconPixels);

// Text as a reader sees it, for comparing texts: runs of white space (the
// non-breaking and the ideographic space included) become one space, none
// at either end.
std::string CollapseSpace(std::string_view utf8);

}  // namespace mojian::check
