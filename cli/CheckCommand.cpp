// mojian check FILE|PROJECT [--width 750|790] [--json]: the publish check of
// a project, or of a description imported first (as 文件 → 导入描述 would make
// it on a new page), so that the findings name composition lines. The width
// is the column the page is checked for: the project's own unless given,
// 750 for a description.
//
// Text is measured with fixed advances (Latin half the font size, CJK the
// full size) and pictures are not fetched: the findings are the same on
// every machine and without a network, and pictures count with the sizes
// their attributes and styles give them.
#include <algorithm>
#include <cctype>
#include <optional>

#include "check/Check.h"
#include "check/Report.h"
#include "cli/Cli.h"
#include "cli/ProjectLines.h"
#include "compose/Composition.h"
#include "html/Layout.h"
#include "import/Import.h"
#include "project/ProjectFile.h"

namespace mojian::cli {

using import::FreshPageContext;
using import::ImportDescriptionFile;
using import::ImportErrorMessage;
using import::ImportResult;
using project::LoadProjectFile;
using project::ProjectErrorMessage;
using project::ProjectRead;

namespace {

// Findings mean exit status 1, so a file that cannot be checked is told
// apart from a page with errors.
constexpr int kCannotCheck = 2;

}  // namespace

int RunCheck(const std::vector<std::string>& args, Output& out) {
    constexpr char kUsage[] = "用法：mojian check 文件|排版文件 [--width 750|790] [--json]";
    const Arguments parsed = ParseArguments(args, {"--width"}, {"--json"});
    if (!parsed.error.empty()) return Fail(out, kMisused, parsed.error);
    if (parsed.positional.size() != 1) return Fail(out, kMisused, std::string("要给出一个描述文件或排版文件。") + kUsage);
    const std::string& file = parsed.positional.front();
    std::optional<DescriptionWidth> width;
    if (parsed.Has("--width")) {
        const std::string& given = parsed.values.at("--width");
        width = ParseDescriptionWidth(given);
        if (!width)
            return Fail(out, kMisused,
                        "描述宽度只能是 750（淘宝）或 790（天猫），不能是“" + given + "”。" + kUsage);
    }

    Composition page;
    if (IsProjectName(file)) {
        const ProjectRead read = LoadProjectFile(file);
        if (!read.Ok()) return Fail(out, kCannotCheck, file + "：" + ProjectErrorMessage(read.error));
        page.Open(*read.page);
    } else {
        const ImportResult result = ImportDescriptionFile(file, FreshPageContext());
        if (!result.Ok()) return Fail(out, kCannotCheck, file + "：" + ImportErrorMessage(result.error));
        page.Open(result.imported->page);
    }

    html::FixedMeasurer measurer;
    html::PicturesLoading pictures;  // pictures take the room the page gives them, not a broken-picture box
    const check::RuleSet& rules = check::RuleSet::BuiltIn(width.value_or(page.Width()));
    check::Checker checker(rules, measurer, pictures);
    const std::vector<check::PageLine> lines = check::LinesOf(page);
    const std::vector<check::Finding> findings = checker.CheckPage(lines);
    out.Text(parsed.Has("--json") ? check::ReportJson(findings, lines, rules) : check::ReportText(findings, lines, rules));
    const bool errors = std::any_of(findings.begin(), findings.end(),
                                    [](const check::Finding& f) { return f.severity == check::Severity::Error; });
    return errors ? kFailed : kSuccess;
}

}  // namespace mojian::cli
