// mojian page PROJECT [-o FILE] [--encoding gbk|utf-8]: the page HTML the
// window's copy would give for the project, in GBK as the program's files.
#include "base/File.h"
#include "base/Gbk.h"
#include "cli/Cli.h"
#include "cli/ProjectLines.h"
#include "compose/Composition.h"

namespace mojian::cli {

int RunPage(const std::vector<std::string>& args, Output& out) {
    const Arguments parsed = ParseArguments(args, {"-o", "--encoding"});
    if (!parsed.error.empty()) return Fail(out, kMisused, parsed.error);
    if (parsed.positional.size() != 1)
        return Fail(out, kMisused, "要给出一个排版文件。用法：mojian page 排版文件 [-o 输出文件] [--encoding gbk|utf-8]");
    std::string encoding = parsed.Has("--encoding") ? parsed.values.at("--encoding") : "gbk";
    for (char& c : encoding)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    const bool utf8 = encoding == "utf-8" || encoding == "utf8";
    if (!utf8 && encoding != "gbk") return Fail(out, kMisused, "编码只能是 gbk 或 utf-8：" + parsed.values.at("--encoding"));

    const auto page = LoadProject(parsed.positional.front(), out);
    if (!page) return kFailed;
    // Opened as the window opens a file, then assembled as its copy does.
    Composition composition;
    if (composition.Open(*page).outcome == Outcome::PageFull)
        return Fail(out, kFailed, parsed.positional.front() + "：排版列表超过 32767 行，无法打开。");
    const std::string html = composition.PageHtml();
    const std::string bytes = utf8 ? html : Utf8ToGbk(html);
    if (!parsed.Has("-o")) {
        out.Bytes(bytes, html);
        return kSuccess;
    }
    const std::string& target = parsed.values.at("-o");
    if (!WriteWholeFile(target, bytes))
        return Fail(out, kFailed, target + "：无法写入（磁盘已满、文件夹只读或没有写入的权限）。");
    return kSuccess;
}

}  // namespace mojian::cli
