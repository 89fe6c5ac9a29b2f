// A quick reading of a block file, for a folder of a thousand: one pass over
// the bytes, no tree. It answers only for a file it can read whole and finds
// plain: strict JSON, one object at the top, none of the block's fields
// given twice or as anything but a string (the version a small whole
// number). For anything else it gives nothing and the caller takes the full
// parser, whose word and messages stand; so the quick reading never accepts
// what that parser refuses, and where both read a file they agree.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mojian::myblocks {

struct ScannedBlock {
    std::optional<std::string> format, name, saved, source, html;
    std::optional<long long> version;
};

// `text` without a BOM.
std::optional<ScannedBlock> ScanBlockFile(std::string_view text);

}  // namespace mojian::myblocks
