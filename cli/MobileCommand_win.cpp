// mojian mobile FILE|PROJECT -o DIR [--width 750|1242] [--page-width 750|790]
// [--format auto|jpg|png] [--max-height N] [--allow-broken]: the mobile
// description's pictures, 热区.json, 说明.txt and 总览.jpg made into a new
// folder, as 文件 → 生成手机详情… makes them. A description is imported first,
// as for check, so that cuts fall between its lines; a file that is a whole
// document (it begins with a doctype) is laid out as a browser shows it.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <optional>

#include "base/File.h"
#include "cli/Cli.h"
#include "cli/ProjectLines.h"
#include "compose/Composition.h"
#include "import/Import.h"
#include "mobile/Geometry.h"
#include "mobile/MakeMobile_win.h"
#include "mobile/MakeOptions.h"
#include "project/ProjectFile.h"

namespace mojian::cli {

namespace {

// Something left out (exit 1) is told apart from nothing made.
constexpr int kNothingMade = 2;

constexpr char kUsage[] =
    "用法：mojian mobile 文件|排版文件 -o 文件夹 [--width 750|1242] [--page-width 750|790] "
    "[--format auto|jpg|png] [--max-height 像素] [--allow-broken]";

std::optional<int> Number(const std::string& text) {
    int n = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return n;
}

const char* StageName(mobile::MakeStage stage) {
    switch (stage) {
        case mobile::MakeStage::Pictures: return "载入图片";
        case mobile::MakeStage::Scanning: return "画页面、切图";
        case mobile::MakeStage::Encoding: return "编码图片";
        case mobile::MakeStage::Writing: return "写入文件";
    }
    return "";
}

}  // namespace

int RunMobile(const std::vector<std::string>& args, Output& out) {
    const Arguments parsed =
        ParseArguments(args, {"-o", "--width", "--page-width", "--format", "--max-height"}, {"--allow-broken"});
    if (!parsed.error.empty()) return Fail(out, kMisused, parsed.error + "。" + kUsage);
    if (parsed.positional.size() != 1) return Fail(out, kMisused, std::string("要给出一个描述文件或排版文件。") + kUsage);
    if (!parsed.Has("-o") || parsed.values.at("-o").empty())
        return Fail(out, kMisused, std::string("要用 -o 给出保存图片的新文件夹。") + kUsage);
    const std::string& file = parsed.positional.front();

    mobile::MakeRequest request;
    request.folder = parsed.values.at("-o");
    request.goOnWithBrokenPictures = parsed.Has("--allow-broken");
    if (parsed.Has("--width")) {
        const std::string& given = parsed.values.at("--width");
        const auto width = Number(given);
        if (!width || (*width != 750 && *width != 1242))
            return Fail(out, kMisused, "图片宽度只能是 750 或 1242，不能是“" + given + "”。" + kUsage);
        request.outputWidth = *width;
    }
    std::optional<DescriptionWidth> column;
    if (parsed.Has("--page-width")) {
        const std::string& given = parsed.values.at("--page-width");
        column = ParseDescriptionWidth(given);
        if (!column) return Fail(out, kMisused, "描述宽度只能是 750（淘宝）或 790（天猫），不能是“" + given + "”。" + kUsage);
    }
    if (parsed.Has("--format")) {
        const std::string& given = parsed.values.at("--format");
        if (given == "auto") request.format = mobile::FormatChoice::Auto;
        else if (given == "jpg") request.format = mobile::FormatChoice::Jpeg;
        else if (given == "png") request.format = mobile::FormatChoice::Png;
        else return Fail(out, kMisused, "图片格式只能是 auto、jpg 或 png，不能是“" + given + "”。" + kUsage);
    }
    if (parsed.Has("--max-height")) {
        const std::string& given = parsed.values.at("--max-height");
        const auto rows = Number(given);
        if (!rows || *rows <= 0) return Fail(out, kMisused, "每张图的最大高度要是正整数（像素），不能是“" + given + "”。" + kUsage);
        request.maxHeight = *rows;
    }
    // Refused before any work: the command never replaces a folder.
    if (FolderExists(request.folder) || FileSize(request.folder))
        return Fail(out, kNothingMade, "“" + request.folder + "”已经存在；mobile 命令不覆盖已有的文件或文件夹，请换一个新的文件夹名");

    Composition page;
    if (IsProjectName(file)) {
        const project::ProjectRead read = project::LoadProjectFile(file);
        if (!read.Ok()) return Fail(out, kNothingMade, file + "：" + project::ProjectErrorMessage(read.error));
        page.Open(*read.page);
    } else {
        // Read and decoded as the import reads it, with the same messages.
        import::DecodeResult decoded;
        if (const auto size = FileSize(file); size && *size > import::kMaxImportBytes)
            decoded.error = {import::ImportErrorKind::TooLarge, "共 " + std::to_string(*size / 1024 / 1024) + " MB"};
        else if (const auto bytes = ReadWholeFile(file))
            decoded = import::DecodeDescription(*bytes);
        else
            decoded.error = {import::ImportErrorKind::CannotRead, {}};
        if (!decoded.Ok()) return Fail(out, kNothingMade, file + "：" + import::ImportErrorMessage(decoded.error));
        if (mobile::IsWholeDocument(decoded.decoded->text)) {
            // A whole document (a mail, a saved web page) is its own HTML,
            // shown as a browser shows it; it has no composition lines.
            request.wholeDocument = true;
            request.pageHtml = std::move(decoded.decoded->text);
        } else {
            const import::ImportResult result = import::ImportDecoded(*decoded.decoded, import::FreshPageContext());
            if (!result.Ok()) return Fail(out, kNothingMade, file + "：" + import::ImportErrorMessage(result.error));
            page.Open(result.imported->page);
        }
    }
    request.column = column.value_or(page.Width());
    if (!request.wholeDocument) {
        request.pageHtml = page.PageHtml();
        request.lineOffsets = mobile::LineOffsets(page);
    }
    // Each stage on its own line with the seconds since the start, so that a
    // slow page shows where its time goes.
    const auto start = std::chrono::steady_clock::now();
    const auto seconds = [&] {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.2f",
                      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        return std::string(buf);
    };
    std::optional<mobile::MakeStage> shown;
    request.progress = [&](mobile::MakeStage stage, double) {
        if (shown != stage) out.Error(seconds() + " 秒：" + StageName(stage) + "……\n");
        shown = stage;
    };

    const mobile::MakeOutcome made = mobile::MakeMobileDescription(request);
    out.Error(seconds() + " 秒：结束\n");
    if (made.stoppedForPictures) {
        std::string message = "有图片载入不了，没有生成图片（加 --allow-broken 用破图框代替它们继续）：";
        for (const std::string& url : made.failedPictures) message += "\n  " + url;
        return Fail(out, kNothingMade, message);
    }
    if (!made.pack.ok) {
        std::string message = "没有生成图片";
        for (const std::string& e : made.pack.errors) message += "：" + e;
        return Fail(out, kNothingMade, message);
    }
    const mobile::PackResult& r = made.pack;
    std::string text = "已在“" + r.folder + "”生成 " + std::to_string(r.pieces.size()) + " 张图片：";
    for (const mobile::PieceInfo& p : r.pieces) text += " " + p.file;
    text += "\n";
    for (const mobile::LeftOutLink& l : r.leftOut) text += "没有做成热区的链接：" + l.href + " —— " + l.reason + "\n";
    for (const std::string& n : r.notes) text += "请留意：" + n + "\n";
    out.Text(text);
    // Cut text is the pack's note about a line taller than a piece.
    const bool textCut = std::any_of(r.notes.begin(), r.notes.end(),
                                     [](const std::string& n) { return n.find("从这行文字中间切开") != std::string::npos; });
    return r.leftOut.empty() && made.failedPictures.empty() && !textCut ? kSuccess : kFailed;
}

}  // namespace mojian::cli
