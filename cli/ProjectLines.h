// What the import and list commands share: a project read or refused with
// its message, and its lines printed one to a line.
#pragma once

#include <optional>
#include <string>

#include "cli/Cli.h"
#include "compose/PageData.h"

namespace mojian::cli {

// The page in the project file, or nothing after telling why not.
std::optional<PageData> LoadProject(const std::string& path, Output& out);

void PrintLines(const PageData& page, Output& out);

// Whether a path names a project file (its extension, in any case) rather
// than a description to import first.
bool IsProjectName(const std::string& path);

}  // namespace mojian::cli
