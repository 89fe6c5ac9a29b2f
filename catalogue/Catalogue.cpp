#include "catalogue/Catalogue.h"

namespace mojian {

bool IsValidBlock(int kind, int style) {
    return kind >= 0 && kind < kKindCount && style >= 0 && style < kStyleCounts[kind];
}

std::string StyleCaption(int style) {
    return "样式" + std::to_string(style + 1);
}

std::string StyleCaptionFor(int kind, int style) {
    if (kind == 0 && style >= 0 && style < kMaxStyles) return std::string(kThemeNames[style]);
    return StyleCaption(style);
}

std::string EntryName(int kind, int style) {
    std::string name(kKindCaptions.at(kind));
    name += '-';
    name += StyleCaptionFor(kind, style);
    return name;
}

std::string CustomEntryName(int number) {
    return std::string(kCustomEntryPrefix) + std::to_string(number);
}

std::string MineEntryName(std::string_view name) { return std::string(kMineEntryPrefix) + std::string(name); }

std::string_view MineNameOf(std::string_view entryName) {
    if (!entryName.starts_with(kMineEntryPrefix)) return {};
    return entryName.substr(kMineEntryPrefix.size());
}

}  // namespace mojian
