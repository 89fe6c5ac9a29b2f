#include "catalogue/Library.h"

#include <array>
#include <unordered_map>

#include "base/File.h"
#include "base/Gbk.h"
#include "catalogue/BlockAssets.h"
#include "catalogue/Catalogue.h"

namespace mojian {

namespace {

constexpr std::array<int, kKindCount + 1> KindOffsets() {
    std::array<int, kKindCount + 1> offsets{};
    for (int k = 0; k < kKindCount; ++k) offsets[k + 1] = offsets[k] + kStyleCounts[k];
    return offsets;
}
constexpr auto kKindOffset = KindOffsets();
static_assert(kKindOffset[kKindCount] == kBuiltInBlockCount);
static_assert(kBlockAssetCount == kBuiltInBlockCount);

int SlotOf(int kind, int style) {
    return IsValidBlock(kind, style) ? kKindOffset[kind] + style : -1;
}

struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};

using EntryTable = std::unordered_map<std::string, ResolvedEntry, NameHash, std::equal_to<>>;

// Every name that resolves, built once: a copy resolves each list line on
// every copy and preview, and must not rebuild 190 candidates per line.
const EntryTable& Entries() {
    static const EntryTable table = [] {
        EntryTable t;
        t.reserve(kBuiltInBlockCount + kMaxCustomSource);
        for (int k = 0; k < kKindCount; ++k)
            for (int i = 0; i < kStyleCounts[k]; ++i)
                t.emplace(EntryName(k, i), ResolvedEntry{ResolvedEntry::What::BuiltIn, k, i, 0});
        for (int n = 1; n <= kMaxCustomSource; ++n)
            t.emplace(CustomEntryName(n), ResolvedEntry{ResolvedEntry::What::Custom, -1, -1, n});
        return t;
    }();
    return table;
}

const std::string kNoBlock;

}  // namespace

ResolvedEntry ResolveEntry(std::string_view entryName) {
    const auto& table = Entries();
    const auto it = table.find(entryName);
    if (it != table.end()) return it->second;
    if (!MineNameOf(entryName).empty()) return ResolvedEntry{ResolvedEntry::What::Mine, -1, -1, 0};
    return ResolvedEntry{};
}

TemplateLibrary::TemplateLibrary() : blocks_(kBuiltInBlockCount) {
    for (const BlockAsset& asset : kBlockAssets) {
        const int slot = SlotOf(asset.kind, asset.style);
        if (slot >= 0) blocks_[static_cast<std::size_t>(slot)].assign(asset.text, asset.size);
    }
}

const std::string& TemplateLibrary::Get(int kind, int style) const {
    const int slot = SlotOf(kind, style);
    return slot < 0 ? kNoBlock : blocks_[static_cast<std::size_t>(slot)];
}

const TemplateLibrary& BuiltInLibrary() {
    static const TemplateLibrary library;
    return library;
}

std::string WorkingFolder() { return JoinPath(ProgramFolder(), "Vexa"); }

std::string CustomSourcePath(std::string_view entryName) {
    std::string name(entryName);
    name += ".txt";
    return JoinPath(WorkingFolder(), name);
}

std::string NormaliseLines(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32 + 2);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t cr = text.find('\r', start);
        if (cr == std::string_view::npos) {
            out.append(text.substr(start));  // a last line without a terminator
            out += "\r\n";
            break;
        }
        out.append(text.substr(start, cr - start));
        out += "\r\n";
        start = cr + 1;
        if (start < text.size() && text[start] == '\n') ++start;
    }
    return out;
}

std::optional<std::string> ReadCustomSourceWhole(std::string_view entryName) {
    auto bytes = ReadWholeFile(CustomSourcePath(entryName));
    if (!bytes) return std::nullopt;
    return GbkToUtf8(*bytes);
}

}  // namespace mojian
