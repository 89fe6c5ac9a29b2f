// The ninety built-in blocks as compiled in from catalogue/blocks (UTF-8).
#pragma once

#include <cstddef>

namespace mojian {

struct BlockAsset {
    int kind;           // kind index 0..9
    int style;          // 0-based style index (theme position for kind 0)
    const char* text;   // UTF-8, CR LF line ends, NUL-terminated
    std::size_t size;   // bytes, without the NUL
};

inline constexpr int kBlockAssetCount = 90;
extern const BlockAsset kBlockAssets[kBlockAssetCount];

}  // namespace mojian
