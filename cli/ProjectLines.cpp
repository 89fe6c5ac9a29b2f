#include "cli/ProjectLines.h"

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

}  // namespace mojian::cli
