// Filling a block in, and finding and replacing inside one block: new
// values written into the HTML by the fields' source ranges, so only what
// the seller changed changes and every other byte stays as it was.
//
// How values are written:
//   - text is escaped as HTML text (& < >); a line break becomes <br>
//     (inside pre, listing and textarea it stays a line break);
//   - addresses are written as browsers read them (AddressAsWritten) and
//     escaped as attribute values in the attribute's own quotes; an
//     unquoted value that needs quotes gets double quotes; a picture
//     without src gets one;
//   - characters GBK lacks stay as they are: the program's text-file format
//     writes them as character references, which read back as the same
//     characters, so the fields of the filled block read back as typed.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fill/Fields.h"
#include "fill/SourceText.h"

namespace mojian::fill {

// A new value for field `field` of a FieldSet, as the seller typed it.
struct FieldValue {
    std::size_t field = 0;
    std::string value;
};

// The edits that write `values` into the block the set was found in; a
// value equal to the field's own writes nothing, nor does an index out of
// range. For the last value of a field given twice.
std::vector<SourceEdit> FillEdits(const FieldSet& set, std::span<const FieldValue> values);

// The block's HTML with `values` written in (the dialog's preview as the
// seller types, and what 确定 applies).
std::string FillFields(std::string_view html, const FieldSet& set, std::span<const FieldValue> values);

// What find and replace looks for: a text the page shows, or a piece of a
// picture or link address, matched on decoded values (a search for "&"
// finds "&amp;" in the source).
struct FindQuery {
    FieldKind kind = FieldKind::Text;
    std::string text;
    bool matchCase = true;  // false: ASCII letters match either case
};

// One occurrence: bytes [begin, end) of field `field`'s value.
struct FieldMatch {
    std::size_t field = 0;
    std::size_t begin = 0, end = 0;
};

// Every occurrence in the fields of the query's kind, left to right and
// not overlapping; none for an empty search text. A text is found inside
// one text run: words split by a tag (<b>) are two runs.
std::vector<FieldMatch> MatchFields(const FieldSet& set, const FindQuery& query);

// The edits that put `replacement` in place of every match, escaped for
// where each one stands; `html` is the block the set was found in.
std::vector<SourceEdit> ReplaceEdits(std::string_view html, const FieldSet& set,
                                     std::span<const FieldMatch> matches, std::string_view replacement);

}  // namespace mojian::fill
