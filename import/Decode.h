// A description's bytes told apart and decoded: UTF-8 (with or without a
// byte-order mark), GBK, or UTF-16 with its byte-order mark (Notepad's
// "Unicode"). The text handed on is UTF-8 in which every character GBK lacks
// is already a character reference (&#x1F600;), the form the program's GBK
// files hold, so that it comes back unchanged from them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "import/ImportError.h"

namespace mojian::import {

// No description comes near this; anything larger is refused before it is
// parsed.
inline constexpr std::size_t kMaxImportBytes = 10u << 20;

enum class TextEncoding { Ascii, Utf8, Utf8Bom, Utf16Le, Utf16Be, Gbk };

// "GBK", "UTF-8", "UTF-8（带 BOM）"...
std::string_view EncodingName(TextEncoding encoding);

struct DecodedText {
    std::string text;  // UTF-8, GBK's missing characters as references; no byte-order mark
    TextEncoding encoding = TextEncoding::Ascii;
};

struct DecodeResult {
    std::optional<DecodedText> decoded;  // or nothing and `error`
    ImportError error;
    bool Ok() const { return decoded.has_value(); }
};

// A file's bytes. Well-formed UTF-8 is taken as UTF-8 unless the page also
// reads as GBK and says so in its charset; otherwise well-formed GBK is GBK.
// Binary files, NUL characters, a character cut short at the end, bytes that
// are neither, empty or blank text and more than kMaxImportBytes are refused.
DecodeResult DecodeDescription(std::string_view bytes);

// Text that is already Unicode (the clipboard's), as UTF-8: the same checks
// and the same form as a file's.
DecodeResult NormaliseDescription(std::string_view utf8);

// The 1-based line of `bytes` that `offset` falls in; CR LF, CR and LF each
// end a line.
std::size_t LineAt(std::string_view bytes, std::size_t offset);

}  // namespace mojian::import
