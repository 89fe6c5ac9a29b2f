// The fields of a block: what a seller fills in to turn a ready-made block
// into their own, found in the block's HTML with the HTML engine.
//
//   - every text a browser shows: the text runs of the body, not inside
//     script, style, template, noscript, title, the head, comments or
//     elements styled display:none; runs of white space alone (no-break
//     and ideographic spaces included) are not fields;
//   - every picture: an <img>'s address (src), or a table's, row's or
//     cell's background attribute, with its alt text and its size;
//   - every link address: the href of <a> and <area>.
//
// Fields come in the order the page shows them. Each knows the bytes of the
// source it stands for, so that filling it in (fill/Fill.h) rewrites those
// bytes and nothing else. Finding the fields of the largest block takes well
// under a millisecond; a custom source of a megabyte with tens of thousands
// of fields is a vector a list view can page through by index, with each
// row's hint made only when the row is shown (HintFor).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "html/Dom.h"

namespace mojian::fill {

enum class FieldKind : std::uint8_t { Text, Picture, Link };

struct Field {
    FieldKind kind = FieldKind::Text;
    // Text: as the page shows it: character references decoded, each run of
    // white space one space (line breaks kept as LF inside pre, listing and
    // textarea). Picture and link: the address with references decoded.
    std::string value;
    // The bytes a new value replaces. Text: the run without the white space
    // at its ends (that stays, so words keep their spacing to neighbouring
    // elements). Attribute: its raw value without quotes; for an attribute
    // written without a value, empty at the end of its name; for a picture
    // without src, empty at the end of the tag name.
    html::SourceRange range;

    // Where the value is written.
    bool keepsLineBreaks = false;       // text inside pre, listing or textarea
    html::Quote quote = html::Quote::Double;  // attributes: how the value is quoted
    bool missingAttribute = false;      // a picture without src: the attribute is added

    // Pictures.
    bool background = false;  // a background attribute rather than an <img>
    std::string alt;          // <img> alt text, decoded
    // The size the picture takes in the block, in pixels: from its width and
    // height (attributes or style) where they give pixels, else measured by
    // laying the block out at 750 pixels (percentages, a cell's background);
    // 0 for a side only the picture itself decides (an <img> without it).
    int width = 0, height = 0;
    bool measured = false;  // a side came from the layout
    // A side that waits for the layout, when finding did not measure.
    bool widthPending = false, heightPending = false;
    // The address is a file on this computer or the local network: the
    // preview shows it, buyers cannot see it until it is uploaded.
    bool localFile = false;

    // The value is still the block's own: one of the built-in blocks' values
    // of this kind (their texts, picture addresses, link addresses).
    bool placeholder = false;
};

struct FieldSet {
    std::vector<Field> fields;  // in the order the page shows them
    std::size_t texts = 0, pictures = 0, links = 0;

    std::size_t Count(FieldKind kind) const;
};

struct FindOptions {
    // Lay the block out for the sizes attributes do not give in pixels. A
    // block costs a fraction of a millisecond; a megabyte of custom source
    // about as much as finding its fields, so a dialog may open without and
    // call MeasurePictures once it shows.
    bool measurePictures = true;
    // Compare every value with the built-in blocks' (FieldSet::placeholder).
    bool markPlaceholders = true;
};

// Never fails: malformed HTML gets the fields a browser would show.
FieldSet FindFields(std::string_view html, const FindOptions& options = {});

// Fills in the sizes still pending in a set found without measuring, from
// the same `html`.
void MeasurePictures(std::string_view html, FieldSet& set);

// The text around field `index` as the page shows it, for a seller to tell
// alike fields apart ("单价 [￥158.00]"): the end of the nearest text field
// before it and the start of the nearest one after it, a dozen characters
// each at most. A picture or link's own alt text is not repeated here.
struct FieldHint {
    std::string before, after;
};
FieldHint HintFor(const FieldSet& set, std::size_t index);

// An address (picture or link) as it is written into the page: tabs and
// line breaks dropped and white space trimmed (browsers ignore them), and
// inner spaces of a web address written %20, as browsers request them. A
// local path is left as typed, so the preview still finds the file.
std::string AddressAsWritten(std::string_view typed);
// The same for a piece of an address whose whole is local or not.
std::string AddressAsWritten(std::string_view typed, bool local);

// A path on a drive ("C:\\...", "file:///..."), or a network share.
bool IsLocalAddress(std::string_view address);

}  // namespace mojian::fill
