#include "mobile/MakeOptions.h"

#include <algorithm>
#include <cctype>

namespace mojian::mobile {

namespace {

std::string_view Trim(std::string_view s) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && space(s.front())) s.remove_prefix(1);
    while (!s.empty() && space(s.back())) s.remove_suffix(1);
    return s;
}

bool IsSlash(char c) { return c == '\\' || c == '/'; }

bool StartsCaseless(std::string_view text, std::string_view lowered) {
    return text.size() >= lowered.size() &&
           std::equal(lowered.begin(), lowered.end(), text.begin(), [](char a, char b) {
               return a == static_cast<char>(std::tolower(static_cast<unsigned char>(b)));
           });
}

// Where a comment that `text` begins with ("<!--") ends, as a browser reads
// it ("<!-->" and "--!>" close it too); npos when nothing does.
std::size_t CommentEnd(std::string_view text) {
    if (text.starts_with("<!-->")) return 5;
    if (text.starts_with("<!--->")) return 6;
    for (std::size_t q = text.find("--", 4); q != std::string_view::npos; q = text.find("--", q + 1)) {
        if (text.substr(q + 2).starts_with(">")) return q + 3;
        if (text.substr(q + 2).starts_with("!>")) return q + 4;
    }
    return std::string_view::npos;
}

constexpr std::size_t kPicturesListed = 10;  // more are counted, not listed

}  // namespace

bool IsFullFolderPath(std::string_view path) {
    if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && IsSlash(path[2]))
        return true;
    return path.size() > 2 && IsSlash(path[0]) && IsSlash(path[1]) && !IsSlash(path[2]);
}

bool IsWholeDocument(std::string_view text) {
    // What a browser passes over before a doctype still counts: white space,
    // comments, and "<?...>" or "<!...>", which it reads as comments.
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    for (;;) {
        const std::size_t start = text.find_first_not_of(" \t\n\f\r");
        if (start == std::string_view::npos) return false;
        text.remove_prefix(start);
        if (StartsCaseless(text, "<!doctype")) return true;
        std::size_t end = std::string_view::npos;
        if (text.starts_with("<!--")) {
            end = CommentEnd(text);
        } else if (text.starts_with("<?") || text.starts_with("<!")) {
            if (const std::size_t gt = text.find('>'); gt != std::string_view::npos) end = gt + 1;
        } else {
            return false;
        }
        if (end == std::string_view::npos) return false;  // a comment never closed runs to the end
        text.remove_prefix(end);
    }
}

CheckedOptions CheckOptions(const TypedOptions& typed, const MobileRules& rules) {
    CheckedOptions out;
    const std::string range = std::to_string(kLowestMaxHeight) + " 到 " + std::to_string(rules.maxHeight);
    const std::string_view height = Trim(typed.maxHeight);
    const bool digits = !height.empty() && height.size() <= 6 &&
                        std::all_of(height.begin(), height.end(), [](char c) { return c >= '0' && c <= '9'; });
    const int value = digits ? std::stoi(std::string(height)) : 0;
    if (!digits || value < kLowestMaxHeight || value > rules.maxHeight) {
        out.error = "最大高度请填写 " + range + " 之间的整数（像素）。";
        if (digits && value > rules.maxHeight)
            out.error += "手机详情的图片不能高于 " + std::to_string(rules.maxHeight) + " 像素。";
        out.field = OptionField::MaxHeight;
        return out;
    }
    out.maxHeight = value;
    out.folder = std::string(Trim(typed.folder));
    while (out.folder.size() > 3 && IsSlash(out.folder.back())) out.folder.pop_back();
    if (out.folder.empty()) {
        out.error = "请选择保存图片的文件夹（点“浏览…”）。";
        out.field = OptionField::Folder;
    } else if (!IsFullFolderPath(out.folder)) {
        out.error = "请填写完整的文件夹位置，例如 D:\\店铺\\春装-手机详情。";
        out.field = OptionField::Folder;
    } else if (out.folder.find_first_of("<>\"|?*", 2) != std::string::npos ||
               out.folder.find(':', 2) != std::string::npos) {
        out.error = "文件夹名里不能有 < > : \" | ? * 这些符号。";
        out.field = OptionField::Folder;
    } else if (out.folder.size() <= 3) {
        out.error = "不能直接保存到磁盘根目录，请选择或新建一个文件夹。";
        out.field = OptionField::Folder;
    }
    return out;
}

std::string StageText(MakeStage stage) {
    switch (stage) {
    case MakeStage::Pictures: return "载入图片";
    case MakeStage::Scanning: return "绘制、切图";
    case MakeStage::Encoding: return "编码";
    case MakeStage::Writing: return "写入";
    }
    return {};
}

int OverallProgress(MakeStage stage, double fraction) {
    constexpr int kStages = 4, kShare = 1000 / kStages;
    const double f = fraction != fraction ? 0.0 : std::clamp(fraction, 0.0, 1.0);  // NaN counts as nothing yet
    const int index = std::min(static_cast<int>(stage), kStages - 1);
    return index * kShare + static_cast<int>(f * kShare);
}

std::string KilobytesText(std::uint64_t bytes) {
    // Rounded up: a file is never shown smaller than it is against the limit.
    return std::to_string((bytes + 1023) / 1024) + " KB";
}

std::vector<PieceRow> PieceRows(const PackResult& pack) {
    std::vector<PieceRow> rows;
    for (std::size_t i = 0; i < pack.pieces.size(); ++i) {
        const PieceInfo& p = pack.pieces[i];
        const std::size_t areas = i < pack.areas.size() ? pack.areas[i].size() : 0;
        rows.push_back({p.file, std::to_string(p.width) + " × " + std::to_string(p.height), KilobytesText(p.bytes),
                        std::to_string(areas)});
    }
    return rows;
}

std::string OutcomeText(const MakeOutcome& outcome) {
    const PackResult& pack = outcome.pack;
    std::string text;
    const auto line = [&text](const std::string& s) { text += (text.empty() ? "" : "\r\n") + s; };
    if (outcome.stoppedForPictures) {
        line("有 " + std::to_string(outcome.failedPictures.size()) + " 张图片无法载入，没有生成。");
    } else if (pack.cancelled) {
        line("已取消，没有留下任何文件。");
    } else if (pack.ok) {
        std::uint64_t total = 0, areas = 0;
        for (const PieceInfo& p : pack.pieces) total += p.bytes;
        for (const auto& a : pack.areas) areas += a.size();
        line("已生成 " + std::to_string(pack.pieces.size()) + " 张图片（共 " + KilobytesText(total) + "），" +
             std::to_string(areas) + " 个热区，保存在 " + pack.folder);
    } else {
        line("没有生成：");
    }
    for (const std::string& e : pack.errors) line("错误：" + e);
    if (!outcome.failedPictures.empty() && !outcome.stoppedForPictures)
        line(std::to_string(outcome.failedPictures.size()) + " 张图片无法载入，以空白方框代替。");
    for (const std::string& n : pack.notes) line(n);
    if (!pack.leftOut.empty()) {
        line("以下 " + std::to_string(pack.leftOut.size()) + " 个链接没有做成热区：");
        for (const LeftOutLink& l : pack.leftOut) line("  " + l.href + "（" + l.reason + "）");
    }
    return text;
}

std::string CheckErrorsQuestion(int errors) {
    return "发布检查发现这一页有 " + std::to_string(errors) +
           " 个错误，生成的手机详情也会带着它们。\r\n\r\n"
           "“是”仍然生成，“否”先查看检查报告。";
}

std::string OverwriteQuestion(const std::string& folder) {
    return "文件夹“" + folder + "”已经存在。\r\n\r\n要用这次生成的图片替换它吗？里面原有的文件将被删除。";
}

std::string FailedPicturesQuestion(const std::vector<std::string>& failed) {
    std::string text = "有 " + std::to_string(failed.size()) + " 张图片无法载入：\r\n";
    for (std::size_t i = 0; i < failed.size() && i < kPicturesListed; ++i) text += "  " + failed[i] + "\r\n";
    if (failed.size() > kPicturesListed) text += "  ……还有 " + std::to_string(failed.size() - kPicturesListed) + " 张\r\n";
    return text + "\r\n仍然生成吗？无法载入的图片会画成空白方框。";
}

}  // namespace mojian::mobile
