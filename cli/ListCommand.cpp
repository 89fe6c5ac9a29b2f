// mojian list PROJECT: the project's lines, one to a line.
#include "cli/Cli.h"
#include "cli/ProjectLines.h"

namespace mojian::cli {

int RunList(const std::vector<std::string>& args, Output& out) {
    const Arguments parsed = ParseArguments(args, {});
    if (!parsed.error.empty()) return Fail(out, kMisused, parsed.error);
    if (parsed.positional.size() != 1) return Fail(out, kMisused, "要给出一个排版文件。用法：mojian list 排版文件");
    const auto page = LoadProject(parsed.positional.front(), out);
    if (!page) return kFailed;
    PrintLines(*page, out);
    return kSuccess;
}

}  // namespace mojian::cli
