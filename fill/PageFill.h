// Filling in a line of the page and finding and replacing across the page,
// as operations on the page model: each is one undo step, and a refusal
// changes nothing.
//
// Where the result goes:
//   - a built-in line (as built in, or as the code editor changed the
//     block) becomes a new custom source holding the filled block; the
//     other lines of that block keep theirs;
//   - a custom source's text is rewritten (its file with it).
// Find and replace goes over every line: custom sources are rewritten, a
// block the code editor changed is changed once for all its lines, and each
// line of an unchanged built-in block that has a match becomes a custom
// source of its own. New custom sources need numbers up to 100: when too
// few are left, the operation is refused before anything changes.
//
// The fill dialog:  BlockOfLine → FindFields(html) → the seller edits →
//                   FillFields for the preview → FillLine on 确定.
// 查找和替换:        FindInPage (count, list, CanReplace) → ReplaceInPage.
// The window reflects PageChange::effects as for any other operation and
// shows RefusalMessage when Refused().
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "compose/Composition.h"
#include "fill/Fields.h"
#include "fill/Fill.h"

namespace mojian::fill {

// The block a line shows and the HTML its fields are found in.
struct LineBlock {
    enum class Where : std::uint8_t { BuiltIn, Custom, Mine };
    Where where = Where::BuiltIn;
    int kind = -1, style = -1;  // BuiltIn
    bool edited = false;        // BuiltIn: the code editor changed the block
    int number = 0;             // Custom: 1 to 100
    std::string_view mine;      // Mine: the seller's block's name
    // BuiltIn: the block's current text; Custom: the text as typed (the
    // file adds its CR LF); Mine: the page's copy. Valid until the page changes.
    std::string_view html;
};

// Nothing for a line out of range, a name that resolves to nothing or a
// custom source without a text.
std::optional<LineBlock> BlockOfLine(const Composition& page, std::size_t line);

enum class FillError : std::uint8_t {
    None,
    NothingToFill,  // the line shows no block
    NoFreeNumber,   // the custom-source numbers up to 100 are used up
};

struct PageChange {
    // What the window reflects: Applied() when the page changed; a refusal
    // leaves the page as it was with Outcome::NoFreeNumber (NothingToFill:
    // Outcome::Nothing).
    PageEffects effects;
    FillError error = FillError::None;
    int numbersNeeded = 0;  // new custom sources the operation needs
    int numbersFree = 0;    // and how many numbers were left
    std::size_t replaced = 0;       // find and replace: occurrences replaced
    std::size_t linesChanged = 0;   // find and replace: lines whose HTML changed

    bool Refused() const { return error != FillError::None; }
};

// 确定: line `line` takes `filledHtml` (its block's HTML with new values,
// FillFields). Nothing changes when it equals what the line has. A filled
// built-in block that ends with CR LF is kept without it, since the custom
// source's file adds one: the line's HTML on the page is the filled block
// byte for byte.
PageChange ApplyFilledBlock(Composition& page, std::size_t line, std::string_view filledHtml);
// The same from the fields found in BlockOfLine(page, line)->html.
PageChange FillLine(Composition& page, std::size_t line, const FieldSet& set, std::span<const FieldValue> values);

struct PageMatch {
    std::size_t line = 0;
    std::string entry;  // the line's entry name
    // The field's value around the match, "…" where it was cut, line breaks
    // as spaces; the match is context[matchBegin, matchEnd).
    std::string context;
    std::size_t matchBegin = 0, matchEnd = 0;
};

struct PageFind {
    std::vector<PageMatch> matches;  // in line order, then in the order the line shows them
    std::size_t lines = 0;           // lines with a match
    int numbersNeeded = 0;           // built-in lines that would become custom sources
    int numbersFree = 0;

    bool CanReplace() const { return numbersNeeded <= numbersFree; }
};

PageFind FindInPage(const Composition& page, const FindQuery& query);

// Replaces every match of the query across the page with `replacement`
// (as typed: escaped and, for addresses, written as AddressAsWritten says).
PageChange ReplaceInPage(Composition& page, const FindQuery& query, std::string_view replacement);

// What the window says, in Chinese.
std::string RefusalMessage(const PageChange& change);
std::string NotFoundMessage(const FindQuery& query);
std::string FoundMessage(const PageFind& find);
std::string ReplacedMessage(const PageChange& change);

}  // namespace mojian::fill
