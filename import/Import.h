// Import of an existing description: its HTML cut into pieces that are each
// whole HTML, every piece (or run of pieces) that is exactly one of the
// ninety built-in blocks as it stands now turned into that block's line, or
// exactly the HTML of one of the seller's own blocks (我的模块) into a line
// "我的模块-name" with the page's copy of it, and every other piece into a
// custom source. The lines give back the imported
// text byte for byte as the page (a CR LF is added at the end when the text
// does not end with one, since a custom source's file always does).
//
// The window imports a file or the clipboard into its composition:
//   ImportResult r = ImportDescriptionFile(path, ContextFor(page));
//   if (!r.Ok()) → message box ImportErrorMessage(r.error), nothing changes
//   else → page.ReplaceLines(r.imported->page.lines, r.imported->page.customSources,
//                            r.imported->page.myBlocks)
//          (one undo step), reflect its effects, message box ImportSummary(*r.imported)
// and from the clipboard the same with
//   ImportDescriptionText(*ClipboardDescription(htmlFormatBlock, text), ContextFor(page))
// (import/Clipboard.h; no description there: ImportErrorKind::Empty).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/Catalogue.h"
#include "compose/PageData.h"
#include "html/Dom.h"
#include "import/Decode.h"
#include "import/ImportError.h"
#include "import/Match.h"

namespace mojian {
class Composition;
}  // namespace mojian

namespace mojian::import {

// What an import matches against and which custom-source numbers it may take.
struct ImportContext {
    BlockTextSource blockText;                 // the blocks' texts as they stand now
    int firstCustomNumber = 1;                 // the number the next custom source gets
    int freeCustomNumbers = kMaxCustomSource;  // how many it may take, from that one on
    // The seller's blocks to recognise (their names and HTML, e.g. every
    // usable one of the user's folder); none by default.
    std::vector<MineBlock> mine;
};

// A new page: the built-in blocks, custom sources numbered from 1.
ImportContext FreshPageContext();
// The seller's blocks kept in `folder` (myblocks::UserBlocksFolder()) that
// can be used, for ImportContext::mine: a damaged file is left out, and a
// missing or empty folder gives none.
std::vector<MineBlock> MineBlocksIn(const std::string& folder);
// The page being composed: its blocks as edited in this run and the numbers
// its run has not given out yet. The page must outlive the context.
ImportContext ContextFor(const Composition& page);

struct ImportedPage {
    // The lines, and the texts of the new custom sources they name (as
    // typed: without the CR LF their files add), numbered on from the
    // context's first number in page order; and the copies of the seller's
    // blocks the lines name, in `page.myBlocks`.
    PageData page;
    int builtInLines = 0;
    int mineLines = 0;
    // Built-in blocks and seller's blocks that went into custom sources for
    // want of numbers.
    int absorbedBlocks = 0;
    int absorbedMine = 0;
    // The text did not end with CR LF, and the page has one more at the end.
    bool lineBreakAdded = false;
    TextEncoding encoding = TextEncoding::Ascii;
    // The column the description looks made for (GuessWidth). The page
    // keeps its own width: a description too wide for Taobao is exactly
    // what the check must still report there.
    DescriptionWidth madeFor = kDefaultDescriptionWidth;
};

struct ImportResult {
    std::optional<ImportedPage> imported;  // or nothing and `error`
    ImportError error;
    bool Ok() const { return imported.has_value(); }
};

// The column a description was made for: Tmall's when a table, block or
// picture in it is exactly 790 pixels wide, else Taobao's. The import's
// summary tells the seller where to set it.
DescriptionWidth GuessWidth(const html::Document& doc);

// A decoded description (DecodeDescription, NormaliseDescription).
ImportResult ImportDecoded(const DecodedText& text, const ImportContext& context);
// A file's bytes, decoded first.
ImportResult ImportDescription(std::string_view bytes, const ImportContext& context);
ImportResult ImportDescriptionFile(const std::string& path, const ImportContext& context);
// Text that is Unicode already (the clipboard's), as UTF-8.
ImportResult ImportDescriptionText(std::string_view utf8, const ImportContext& context);

// What the window says after an import: how many lines, how many of them
// built-in blocks (and seller's blocks, when there were any), and the added line break, absorbed blocks or Tmall's
// width when there were any.
std::string ImportSummary(const ImportedPage& imported);

}  // namespace mojian::import
