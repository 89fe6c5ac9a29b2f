// The page HTML: the blocks of the composition list's lines in list order,
// nothing between them, and the export files it is written to.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mojian {

// What one list line contributes: the library's current block, or its
// custom-source file whole and unchanged; nothing when the name resolves to
// nothing or the file cannot be read.
std::optional<std::string> LineHtml(std::string_view entryName);

// All lines' HTML joined with nothing between. Built in one string sized up
// front, so a long page costs time in proportion to its length; a custom
// source named on several lines is read once for the page.
std::string AssemblePage(const std::vector<std::string>& entryNames);

// "导出模板N.txt" in `folder`.
std::string ExportFilePath(const std::string& folder, int number);

// Writes `utf8` in the text-file format to the next free export file: the
// number after `counter`, or the first after it that no earlier run left
// behind (an existing file is never replaced). On success `counter` holds
// the number written; nothing when no file could be written.
std::optional<int> WriteNextExportFile(const std::string& folder, int& counter, std::string_view utf8);

}  // namespace mojian
