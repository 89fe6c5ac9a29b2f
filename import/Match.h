// Which stretches of a cut page are built-in blocks, which the seller's own
// blocks (我的模块), and which become custom sources.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compose/PageData.h"

namespace mojian::import {

// The current text of built-in block (kind, style).
using BlockTextSource = std::function<std::string_view(int kind, int style)>;

// One of the seller's own blocks: its name and its HTML as kept.
struct MineBlock {
    std::string name;
    std::string html;
};

// A stretch of the page from one cut to a later one.
struct Segment {
    std::size_t begin = 0, end = 0;
    std::optional<BlockId> block;     // a built-in block
    std::optional<std::size_t> mine;  // or the seller's block at this index; neither: a custom source
    bool IsCustom() const { return !block && !mine; }
    friend bool operator==(const Segment&, const Segment&) = default;
};

struct Segmentation {
    std::vector<Segment> segments;  // in page order, covering the page
    // Built-in blocks and seller's blocks that went into a custom source
    // because the page needed more custom sources than it may have.
    std::size_t absorbedBlocks = 0;
    std::size_t absorbedMine = 0;
};

// Every stretch between two cuts that is exactly a block's current text, or
// exactly the HTML of one of the seller's blocks in `mine`, may become that
// block; of the ways to do so the one with the most text in blocks wins,
// then the one with the fewest lines, then the one with the fewest of the
// seller's blocks. A stretch that is both a built-in block and a seller's
// one is the built-in block; of seller's blocks alike, or of the same
// name, the first in `mine` counts, and one of blank space alone never does. Every other piece is a
// custom source of its own; a blank piece joins the custom piece before it
// (or after it). When that makes more custom sources than `customLimit`,
// neighbouring ones are merged, the smallest pairs first, and only when
// that is not enough across the fewest built-in blocks. Nothing when the
// page needs a custom source and `customLimit` is 0.
std::optional<Segmentation> ChooseSegments(std::string_view text, const std::vector<std::size_t>& cuts,
                                           const BlockTextSource& blockText, std::size_t customLimit,
                                           const std::vector<MineBlock>& mine = {});

}  // namespace mojian::import
