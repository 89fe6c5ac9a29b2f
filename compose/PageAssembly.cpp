#include "compose/PageAssembly.h"

#include <array>
#include <cstdint>

#include "base/File.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/TextFile.h"

namespace mojian {

std::optional<std::string> LineHtml(std::string_view entryName) {
    const ResolvedEntry entry = ResolveEntry(entryName);
    if (entry.IsBuiltIn()) return GetBlock(entry.kind, entry.style);
    if (entry.IsCustom()) return ReadCustomSourceWhole(entryName);
    return std::nullopt;
}

std::string AssemblePage(const std::vector<std::string>& entryNames) {
    // Built-in blocks are viewed in place. Custom sources are read once per
    // page whatever number of lines name them, and are referred to by index
    // until joined, as their strings may still move while others are added.
    struct Piece {
        const std::string* block;  // a built-in block, or nullptr for a custom source
        std::size_t custom;        // index into `customs`
    };
    std::vector<std::string> customs;
    // Where each custom source's text sits in `customs`, by its number.
    constexpr std::size_t kUnread = SIZE_MAX, kMissing = SIZE_MAX - 1;
    std::array<std::size_t, kMaxCustomSource + 1> slot;
    slot.fill(kUnread);
    std::vector<Piece> pieces;
    pieces.reserve(entryNames.size());
    std::size_t total = 0;
    for (const std::string& name : entryNames) {
        const ResolvedEntry entry = ResolveEntry(name);
        if (entry.IsBuiltIn()) {
            const std::string& block = GetBlock(entry.kind, entry.style);
            pieces.push_back({&block, 0});
            total += block.size();
        } else if (entry.IsCustom()) {
            std::size_t& at = slot[static_cast<std::size_t>(entry.custom)];
            if (at == kUnread) {
                auto text = ReadCustomSourceWhole(name);
                at = text ? customs.size() : kMissing;
                if (text) customs.push_back(std::move(*text));
            }
            if (at == kMissing) continue;
            pieces.push_back({nullptr, at});
            total += customs[at].size();
        }
    }
    std::string page;
    page.reserve(total);
    for (const Piece& piece : pieces) page.append(piece.block ? *piece.block : customs[piece.custom]);
    return page;
}

std::string ExportFilePath(const std::string& folder, int number) {
    return JoinPath(folder, "导出模板" + std::to_string(number) + ".txt");
}

std::optional<int> WriteNextExportFile(const std::string& folder, int& counter, std::string_view utf8) {
    const std::string bytes = TextFileBytes(utf8);
    // Bounded so that a folder that reports every name as taken cannot hang us.
    for (int tries = 0; tries < 100000; ++tries) {
        const int number = counter + 1;
        bool exists = false;
        if (WriteNewFile(ExportFilePath(folder, number), bytes, exists)) {
            counter = number;
            return number;
        }
        if (!exists) return std::nullopt;
        counter = number;  // taken by an earlier run: go on after it
    }
    return std::nullopt;
}

}  // namespace mojian
