#include "fill/PageFill.h"

#include <unordered_map>
#include <utility>

#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"

namespace mojian::fill {

namespace {

// A built-in block's text as a custom source keeps it: the file adds a
// CR LF after the text, so one the block ends with is left to the file.
std::string_view AsSourceText(std::string_view html) {
    if (html.size() >= 2 && html.substr(html.size() - 2) == "\r\n") html.remove_suffix(2);
    return html;
}

// Each distinct block of the page once: the ninety built-in ones by kind
// and style, the custom sources by number, the seller's blocks by name.
struct ScannedBlock {
    LineBlock block;
    FieldSet set;
    std::vector<FieldMatch> matches;
};

struct PageScan {
    std::vector<ScannedBlock> blocks;
    std::vector<int> lineBlock;  // per line: index into blocks, or -1
    int numbersNeeded = 0;
};

bool TakesNewSource(const LineBlock& b) { return b.where == LineBlock::Where::BuiltIn && !b.edited; }

PageScan Scan(const Composition& page, const FindQuery& query) {
    PageScan scan;
    const std::size_t count = page.Lines().size();
    scan.lineBlock.reserve(count);
    std::unordered_map<std::string, int> seen;
    for (std::size_t line = 0; line < count; ++line) {
        const std::optional<LineBlock> block = BlockOfLine(page, line);
        if (!block) {
            scan.lineBlock.push_back(-1);
            continue;
        }
        // The line's entry name is the block's identity.
        const std::string& key = page.Lines()[line];
        const auto [it, fresh] = seen.try_emplace(key, static_cast<int>(scan.blocks.size()));
        if (fresh) {
            ScannedBlock s{*block, FindFields(block->html, FindOptions{false, false}), {}};
            s.matches = MatchFields(s.set, query);
            scan.blocks.push_back(std::move(s));
        }
        scan.lineBlock.push_back(it->second);
        const ScannedBlock& s = scan.blocks[static_cast<std::size_t>(it->second)];
        if (!s.matches.empty() && TakesNewSource(s.block)) ++scan.numbersNeeded;
    }
    return scan;
}

PageMatch Context(const Field& field, const FieldMatch& m) {
    constexpr int kCharacters = 15;
    const std::string_view value = field.value;
    const std::string_view before = value.substr(0, m.begin), after = value.substr(m.end);
    const std::string_view head = LastCharacters(before, kCharacters), tail = FirstCharacters(after, kCharacters);
    PageMatch match;
    if (head.size() < before.size()) match.context = "…";
    match.context += head;
    match.matchBegin = match.context.size();
    match.context += value.substr(m.begin, m.end - m.begin);
    match.matchEnd = match.context.size();
    match.context += tail;
    if (tail.size() < after.size()) match.context += "…";
    for (char& c : match.context)
        if (c == '\n' || c == '\r') c = ' ';
    return match;
}

std::string Quoted(std::string_view text) { return "“" + std::string(text) + "”"; }

}  // namespace

std::optional<LineBlock> BlockOfLine(const Composition& page, std::size_t line) {
    if (line >= page.Lines().size()) return std::nullopt;
    const ResolvedEntry entry = ResolveEntry(page.Lines()[line]);
    LineBlock block;
    if (entry.IsBuiltIn()) {
        block.where = LineBlock::Where::BuiltIn;
        block.kind = entry.kind;
        block.style = entry.style;
        block.edited = page.EditedBlocks().count(BlockId{entry.kind, entry.style}) != 0;
        block.html = page.GetBlock(entry.kind, entry.style);
        return block;
    }
    if (entry.IsCustom()) {
        const std::string* text = page.CustomText(entry.custom);
        if (!text) return std::nullopt;
        block.where = LineBlock::Where::Custom;
        block.number = entry.custom;
        block.html = *text;
        return block;
    }
    if (entry.IsMine()) {
        block.where = LineBlock::Where::Mine;
        block.mine = MineNameOf(page.Lines()[line]);
        const std::string* html = page.MineHtml(block.mine);
        if (!html) return std::nullopt;
        block.html = *html;
        return block;
    }
    return std::nullopt;
}

PageChange ApplyFilledBlock(Composition& page, std::size_t line, std::string_view filledHtml) {
    PageChange change;
    const std::optional<LineBlock> block = BlockOfLine(page, line);
    if (!block) {
        change.error = FillError::NothingToFill;
        return change;
    }
    if (filledHtml == block->html) return change;
    if (block->where == LineBlock::Where::Custom) {
        change.effects = page.WriteCustomSource(block->number, filledHtml);
        return change;
    }
    if (block->where == LineBlock::Where::Mine) {
        change.effects = page.SetMine(std::string(block->mine), filledHtml);
        return change;
    }
    change.numbersNeeded = 1;
    change.numbersFree = page.FreeCustomNumbers();
    change.effects = page.ReplaceLineWithNewSource(static_cast<int>(line), AsSourceText(filledHtml));
    if (change.effects.outcome == Outcome::NoFreeNumber) change.error = FillError::NoFreeNumber;
    return change;
}

PageChange FillLine(Composition& page, std::size_t line, const FieldSet& set, std::span<const FieldValue> values) {
    const std::optional<LineBlock> block = BlockOfLine(page, line);
    if (!block) {
        PageChange change;
        change.error = FillError::NothingToFill;
        return change;
    }
    const std::string filled = FillFields(block->html, set, values);
    return ApplyFilledBlock(page, line, filled);
}

PageFind FindInPage(const Composition& page, const FindQuery& query) {
    const PageScan scan = Scan(page, query);
    PageFind find;
    find.numbersNeeded = scan.numbersNeeded;
    find.numbersFree = page.FreeCustomNumbers();
    // Each block's matches with their contexts once; every line of it takes a copy.
    std::vector<std::vector<PageMatch>> contexts(scan.blocks.size());
    for (std::size_t b = 0; b < scan.blocks.size(); ++b) {
        const ScannedBlock& s = scan.blocks[b];
        for (const FieldMatch& m : s.matches) contexts[b].push_back(Context(s.set.fields[m.field], m));
    }
    for (std::size_t line = 0; line < scan.lineBlock.size(); ++line) {
        const int b = scan.lineBlock[line];
        if (b < 0 || contexts[static_cast<std::size_t>(b)].empty()) continue;
        ++find.lines;
        for (const PageMatch& m : contexts[static_cast<std::size_t>(b)]) {
            find.matches.push_back(m);
            find.matches.back().line = line;
            find.matches.back().entry = page.Lines()[line];
        }
    }
    return find;
}

PageChange ReplaceInPage(Composition& page, const FindQuery& query, std::string_view replacement) {
    const PageScan scan = Scan(page, query);
    // Every new text first: the blocks' views into the page go stale once it
    // changes. A block the replacement leaves as it was is not changed.
    std::vector<std::optional<std::string>> replaced(scan.blocks.size());
    for (std::size_t b = 0; b < scan.blocks.size(); ++b) {
        const ScannedBlock& s = scan.blocks[b];
        if (s.matches.empty()) continue;
        std::string html = ApplyEdits(s.block.html, ReplaceEdits(s.block.html, s.set, s.matches, replacement));
        if (html != s.block.html) replaced[b] = std::move(html);
    }
    PageChange change;
    for (const int b : scan.lineBlock)
        if (b >= 0 && replaced[static_cast<std::size_t>(b)] && TakesNewSource(scan.blocks[static_cast<std::size_t>(b)].block))
            ++change.numbersNeeded;
    change.numbersFree = page.FreeCustomNumbers();
    if (change.numbersNeeded > change.numbersFree) {
        change.error = FillError::NoFreeNumber;
        change.effects.outcome = Outcome::NoFreeNumber;
        return change;
    }

    page.BeginCompound();
    for (std::size_t b = 0; b < scan.blocks.size(); ++b) {
        if (!replaced[b]) continue;
        const LineBlock& block = scan.blocks[b].block;
        if (block.where == LineBlock::Where::Custom) page.WriteCustomSource(block.number, *replaced[b]);
        else if (block.where == LineBlock::Where::Mine) page.SetMine(std::string(block.mine), *replaced[b]);
        else if (block.edited) page.SetBlock(block.kind, block.style, *replaced[b]);
    }
    for (std::size_t line = 0; line < scan.lineBlock.size(); ++line) {
        const int b = scan.lineBlock[line];
        if (b < 0 || !replaced[static_cast<std::size_t>(b)]) continue;
        const ScannedBlock& s = scan.blocks[static_cast<std::size_t>(b)];
        ++change.linesChanged;
        change.replaced += s.matches.size();
        if (TakesNewSource(s.block))
            page.ReplaceLineWithNewSource(static_cast<int>(line), AsSourceText(*replaced[static_cast<std::size_t>(b)]));
    }
    change.effects = page.EndCompound();
    return change;
}

std::string RefusalMessage(const PageChange& change) {
    switch (change.error) {
    case FillError::None: break;
    case FillError::NothingToFill: return "这一行没有可以填写的模块内容。";
    case FillError::NoFreeNumber:
        return "需要新建 " + std::to_string(change.numbersNeeded) + " 个自定义源码，但自定义源码编号只剩 " +
               std::to_string(change.numbersFree) + " 个（最多 " + std::to_string(kMaxCustomSource) +
               " 个），页面没有改动。\r\n可以先保存排版再重新打开，编号会从 1 重新排起。";
    }
    return {};
}

std::string NotFoundMessage(const FindQuery& query) {
    switch (query.kind) {
    case FieldKind::Text: return "页面的文字中没有找到" + Quoted(query.text) + "。";
    case FieldKind::Picture: return "图片地址中没有找到" + Quoted(query.text) + "。";
    case FieldKind::Link: return "链接地址中没有找到" + Quoted(query.text) + "。";
    }
    return {};
}

std::string FoundMessage(const PageFind& find) {
    std::string text = "找到 " + std::to_string(find.matches.size()) + " 处，在 " + std::to_string(find.lines) + " 行中。";
    if (find.numbersNeeded > 0)
        text += "替换时其中 " + std::to_string(find.numbersNeeded) + " 行内置模块会转为自定义源码。";
    if (!find.CanReplace())
        text += "但自定义源码编号只剩 " + std::to_string(find.numbersFree) + " 个，无法替换。";
    return text;
}

std::string ReplacedMessage(const PageChange& change) {
    return "已替换 " + std::to_string(change.replaced) + " 处，改动了 " + std::to_string(change.linesChanged) + " 行。";
}

}  // namespace mojian::fill
