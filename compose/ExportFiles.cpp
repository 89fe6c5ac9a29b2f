#include "compose/ExportFiles.h"

#include "base/File.h"
#include "compose/TextFile.h"

namespace mojian {

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
