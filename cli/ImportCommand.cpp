// mojian import FILE [-o PROJECT]: a description into a project file, as
// 文件 → 导入描述 does on a new page, the seller's own blocks (我的模块) in
// the user's folder recognised as well.
#include "base/File.h"
#include "cli/Cli.h"
#include "cli/ProjectLines.h"
#include "import/Import.h"
#include "myblocks/MyBlocks.h"
#include "project/ProjectFile.h"

namespace mojian::cli {

using import::FreshPageContext;
using import::ImportContext;
using import::ImportDescriptionFile;
using import::ImportErrorMessage;
using import::ImportResult;
using import::ImportSummary;
using project::ProjectErrorMessage;
using project::SaveProjectFile;
using project::kProjectExtension;

namespace {

// FILE with its extension replaced by .mojian.
std::string ProjectBeside(const std::string& file) {
    const std::size_t slash = file.find_last_of("/\\");
    const std::size_t dot = file.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? file.substr(0, dot) : file) + std::string(kProjectExtension);
}

}  // namespace

int RunImport(const std::vector<std::string>& args, Output& out) {
    const Arguments parsed = ParseArguments(args, {"-o"});
    if (!parsed.error.empty()) return Fail(out, kMisused, parsed.error);
    if (parsed.positional.size() != 1) return Fail(out, kMisused, "要给出一个描述文件。用法：mojian import 文件 [-o 排版文件]");
    const std::string& file = parsed.positional.front();
    std::string project = parsed.Has("-o") ? parsed.values.at("-o") : ProjectBeside(file);
    // Named by the user, a project is replaced; named by us, never.
    if (!parsed.Has("-o") && (FileSize(project) || FolderExists(project)))
        return Fail(out, kFailed, project + " 已经存在，没有覆盖它。要写到这里请用 -o 指明。");

    ImportContext context = FreshPageContext();
    context.mine = import::MineBlocksIn(myblocks::UserBlocksFolder());
    const ImportResult result = ImportDescriptionFile(file, context);
    if (!result.Ok()) return Fail(out, kFailed, file + "：" + ImportErrorMessage(result.error));
    if (const auto error = SaveProjectFile(project, result.imported->page))
        return Fail(out, kFailed, project + "：" + ProjectErrorMessage(*error));
    PrintLines(result.imported->page, out);
    out.Error(WithLineFeeds(ImportSummary(*result.imported)) + "\n已写入 " + project + "\n");
    return kSuccess;
}

}  // namespace mojian::cli
