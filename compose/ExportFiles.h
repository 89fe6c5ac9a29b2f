// The export files the copied page is written to: 导出模板N.txt, numbered on.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mojian {

// "导出模板N.txt" in `folder`.
std::string ExportFilePath(const std::string& folder, int number);

// Writes `utf8` in the text-file format to the next free export file: the
// number after `counter`, or the first after it that no earlier run left
// behind (an existing file is never replaced). On success `counter` holds
// the number written; nothing when no file could be written.
std::optional<int> WriteNextExportFile(const std::string& folder, int& counter, std::string_view utf8);

}  // namespace mojian
