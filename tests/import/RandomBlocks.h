// Pages made of random built-in blocks, for the import's tests natively and
// for the command's tests run as a process.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"

namespace mojian::testing {

// The block's HTML as the library holds it now, and its entry name.
struct RandomBlock {
    std::string name;
    const std::string& html;
};

inline RandomBlock PickBlock(std::mt19937& rng) {
    const int k = static_cast<int>(rng() % kKindCount);
    const int s = static_cast<int>(rng() % static_cast<unsigned>(kStyleCounts[static_cast<std::size_t>(k)]));
    return {EntryName(k, s), BuiltInLibrary().Get(k, s)};
}

struct BlockPage {
    std::vector<std::string> lines;
    std::string html;
};

inline BlockPage RandomBlockPage(std::mt19937& rng, int count) {
    BlockPage page;
    for (int i = 0; i < count; ++i) {
        const RandomBlock block = PickBlock(rng);
        page.lines.push_back(block.name);
        page.html += block.html;
    }
    return page;
}

}  // namespace mojian::testing
