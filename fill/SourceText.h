// Text and attribute values between their raw form in a block's HTML and
// the form a seller reads and types: decoding that remembers where every
// piece came from, escaping for each place a value is written, and applying
// edits by source range so that every byte outside them stays as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Text.h"  // IsHtmlSpace
#include "html/Dom.h"

namespace mojian::fill {

// One piece of decoded text and the raw bytes it came from. A literal piece
// maps byte for byte; any other (a character reference, white space
// collapsed into one space, a CR LF read as one line break) only as a whole.
struct TextPiece {
    std::size_t rawBegin = 0, rawEnd = 0;  // in the source
    std::size_t begin = 0, end = 0;        // in DecodedText::text
    bool literal = false;
};

struct DecodedText {
    std::string text;
    std::vector<TextPiece> pieces;  // in order, covering `text` and the raw range without gaps

    // The raw range standing for text[begin, end), widened to whole pieces;
    // `head` and `tail` receive the decoded text the widening took in
    // before `begin` and after `end`, which a replacement must write back.
    html::SourceRange RawRange(std::size_t begin, std::size_t end, std::string* head, std::string* tail) const;
};

enum class Spaces : std::uint8_t {
    Keep,      // attribute values: as decoded
    Lines,     // preformatted text: CR LF and CR read as LF
    Collapse,  // ordinary text: every run of white space reads as one space
};

// Decodes source[range] as the parser does (character references as
// html::DecodeEntities reads them), then treats white space as `spaces` says.
DecodedText DecodeText(std::string_view source, html::SourceRange range, Spaces spaces);
// The decoded text alone, without the pieces.
std::string DecodedValue(std::string_view source, html::SourceRange range, Spaces spaces);

// Text as written between tags: & < > escaped. A line break (CR LF, CR or
// LF) becomes <br> where the page collapses white space, as the seller who
// pressed Enter wants a new line; where it keeps line breaks (pre,
// textarea) it stays a line break. Characters GBK lacks are kept: the
// program's text-file format writes them as character references.
std::string EscapeText(std::string_view text, bool keepsLineBreaks);

// An attribute value as written after "name=": & and the quote escaped. An
// unquoted value that would not survive unquoted (empty, white space,
// quotes, = < > `) gets double quotes; a value-less attribute gets ="...".
std::string EscapeAttribute(std::string_view value, html::Quote quote);
// Whether raw attribute text can stand without quotes.
bool SafeUnquoted(std::string_view raw);

// The first or last `count` characters (code points) of UTF-8 text.
std::string_view FirstCharacters(std::string_view text, int count);
std::string_view LastCharacters(std::string_view text, int count);

// Replaces source[range] by text. Edits never overlap.
struct SourceEdit {
    html::SourceRange range;
    std::string text;
};

// The source with every edit applied, in one pass; edits may come in any
// order. Edits that overlap an earlier one (by start) are dropped.
std::string ApplyEdits(std::string_view source, std::vector<SourceEdit> edits);

}  // namespace mojian::fill
