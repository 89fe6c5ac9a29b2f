// mojian blocks: the entry names of the ninety built-in blocks.
#include "catalogue/Catalogue.h"
#include "cli/Cli.h"

namespace mojian::cli {

int RunBlocks(const std::vector<std::string>& args, Output& out) {
    const Arguments parsed = ParseArguments(args, {});
    if (!parsed.error.empty()) return Fail(out, kMisused, parsed.error);
    if (!parsed.positional.empty()) return Fail(out, kMisused, "blocks 不需要参数：" + parsed.positional.front());
    std::string text;
    for (int k = 0; k < kKindCount; ++k)
        for (int s = 0; s < kStyleCounts[static_cast<std::size_t>(k)]; ++s) text += EntryName(k, s) + "\n";
    out.Text(text);
    return kSuccess;
}

}  // namespace mojian::cli
