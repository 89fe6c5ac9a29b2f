#include "compose/PageAssembly.h"

#include "base/File.h"
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
    // Built-in blocks are viewed in place; custom sources are read once and
    // kept (the reserve keeps their addresses stable) until joined.
    std::vector<std::string> customs;
    customs.reserve(entryNames.size());
    std::vector<std::string_view> pieces;
    pieces.reserve(entryNames.size());
    std::size_t total = 0;
    for (const std::string& name : entryNames) {
        const ResolvedEntry entry = ResolveEntry(name);
        std::string_view piece;
        if (entry.IsBuiltIn()) {
            piece = GetBlock(entry.kind, entry.style);
        } else if (entry.IsCustom()) {
            auto text = ReadCustomSourceWhole(name);
            if (!text) continue;
            customs.push_back(std::move(*text));
            piece = customs.back();
        } else {
            continue;
        }
        pieces.push_back(piece);
        total += piece.size();
    }
    std::string page;
    page.reserve(total);
    for (std::string_view piece : pieces) page.append(piece);
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
