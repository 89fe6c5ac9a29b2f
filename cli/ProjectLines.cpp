#include "cli/ProjectLines.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "project/ProjectFile.h"

namespace mojian::cli {

using project::LoadProjectFile;
using project::ProjectErrorMessage;
using project::ProjectRead;

std::optional<PageData> LoadProject(const std::string& path, Output& out) {
    ProjectRead read = LoadProjectFile(path);
    if (!read.Ok()) {
        Fail(out, kFailed, path + "：" + ProjectErrorMessage(read.error));
        return std::nullopt;
    }
    return std::move(read.page);
}

void PrintLines(const PageData& page, Output& out) {
    std::string text;
    for (const std::string& line : page.lines) text += line + "\n";
    out.Text(text);
}

bool IsProjectName(const std::string& path) {
    const std::string_view ext = project::kProjectExtension;
    if (path.size() < ext.size()) return false;
    return std::equal(ext.begin(), ext.end(), path.end() - static_cast<std::ptrdiff_t>(ext.size()), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

}  // namespace mojian::cli
