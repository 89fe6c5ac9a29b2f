// mojian blocks: the entry names of the ninety built-in blocks, or with
// --mine the seller's own blocks (我的模块) from the user's folder.
#include <cstdio>

#include "catalogue/Catalogue.h"
#include "cli/Cli.h"
#include "myblocks/MyBlocks.h"

namespace mojian::cli {

namespace {

// "2026-05-01T14:03:00+08:00" as "2026-05-01 14:03"; anything else as written.
std::string ShownDate(const std::string& saved) {
    if (saved.size() < 16 || saved[10] != 'T') return saved;
    return saved.substr(0, 10) + " " + saved.substr(11, 5);
}

std::string ShownSize(std::size_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " 字节";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024.0);
    return text;
}

int ListMine(Output& out) {
    const std::string folder = myblocks::UserBlocksFolder();
    if (folder.empty()) return Fail(out, kFailed, "找不到用户文件夹（%LOCALAPPDATA%\\墨笺），无法列出我的模块");
    const std::vector<myblocks::Entry> entries = myblocks::MyBlocks(folder).List();
    if (entries.empty()) {
        out.Text("还没有保存过我的模块。\n");
        return kSuccess;
    }
    std::string text;
    for (const myblocks::Entry& entry : entries) {
        if (entry.state == myblocks::State::Damaged) {
            text += entry.file + "\t（已损坏：" + entry.problem + "）\n";
            continue;
        }
        text += entry.name + "\t" + entry.source + "\t" + ShownDate(entry.saved) + "\t" + ShownSize(entry.htmlBytes);
        if (entry.state == myblocks::State::Newer) text += "\t（较新版本的墨笺保存的，只读）";
        text += "\n";
    }
    out.Text(text);
    return kSuccess;
}

}  // namespace

int RunBlocks(const std::vector<std::string>& args, Output& out) {
    const Arguments parsed = ParseArguments(args, {}, {"--mine"});
    if (!parsed.error.empty()) return Fail(out, kMisused, parsed.error);
    if (!parsed.positional.empty()) return Fail(out, kMisused, "blocks 不需要参数：" + parsed.positional.front());
    if (parsed.Has("--mine")) return ListMine(out);
    std::string text;
    for (int k = 0; k < kKindCount; ++k)
        for (int s = 0; s < kStyleCounts[static_cast<std::size_t>(k)]; ++s) text += EntryName(k, s) + "\n";
    out.Text(text);
    return kSuccess;
}

}  // namespace mojian::cli
