#include "import/Import.h"

#include <algorithm>

#include "base/File.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/Composition.h"
#include "compose/PageLines.h"
#include "html/Css.h"
#include "html/Parser.h"
#include "import/Cut.h"
#include "myblocks/MyBlocks.h"

namespace mojian::import {

namespace {

ImportResult Refuse(ImportError error) {
    ImportResult r;
    r.error = std::move(error);
    return r;
}

bool Is790(std::string_view value) {
    while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
    if (value.ends_with("px")) value.remove_suffix(2);
    return value == "790";
}

}  // namespace

DescriptionWidth GuessWidth(const html::Document& doc) {
    // Tmall's column is 790 pixels: a table, block or picture made exactly
    // that wide says the page was made for it. Anything else stays Taobao's.
    std::vector<const html::Node*> todo{doc.root.get()};
    while (!todo.empty()) {
        const html::Node* n = todo.back();
        todo.pop_back();
        if (n->IsElement()) {
            if (const std::string* w = n->Attr("width"); w && Is790(*w)) return DescriptionWidth::Tmall;
            if (const std::string* style = n->Attr("style"))
                for (const html::css::Declaration& d : html::css::ParseDeclarations(*style))
                    if ((d.property == "width" || d.property == "max-width") && Is790(d.value))
                        return DescriptionWidth::Tmall;
        }
        for (const auto& c : n->children) todo.push_back(c.get());
    }
    return DescriptionWidth::Taobao;
}

ImportContext FreshPageContext() {
    ImportContext context;
    context.blockText = [](int kind, int style) -> std::string_view { return BuiltInLibrary().Get(kind, style); };
    context.firstCustomNumber = 1;
    context.freeCustomNumbers = kMaxCustomSource;
    return context;
}

std::vector<MineBlock> MineBlocksIn(const std::string& folder) {
    std::vector<MineBlock> mine;
    if (folder.empty()) return mine;
    for (myblocks::Block& block : myblocks::MyBlocks(folder).UsableBlocks())
        mine.push_back({std::move(block.name), std::move(block.html)});
    return mine;
}

ImportContext ContextFor(const Composition& page) {
    ImportContext context;
    context.blockText = [&page](int kind, int style) -> std::string_view { return page.GetBlock(kind, style); };
    context.firstCustomNumber = page.CustomCounter() + 1;
    context.freeCustomNumbers = std::max(0, kMaxCustomSource - page.CustomCounter());
    return context;
}

ImportResult ImportDecoded(const DecodedText& decoded, const ImportContext& context) {
    ImportedPage imported;
    imported.encoding = decoded.encoding;
    std::string added;
    const std::string* text = &decoded.text;
    if (!decoded.text.ends_with("\r\n")) {
        // Every custom source's file ends with CR LF, and so does every block.
        added = decoded.text + "\r\n";
        text = &added;
        imported.lineBreakAdded = true;
    }

    const html::Document doc = html::ParseHtml(*text);
    const auto chosen = ChooseSegments(*text, CutPoints(*text, doc), context.blockText,
                                       static_cast<std::size_t>(std::max(0, context.freeCustomNumbers)), context.mine);
    if (!chosen) return Refuse({ImportErrorKind::NoCustomNumbers, {}});
    if (chosen->segments.size() > static_cast<std::size_t>(kMaxPageLines))
        return Refuse({ImportErrorKind::TooManyLines, "共 " + std::to_string(chosen->segments.size()) + " 行"});

    imported.absorbedBlocks = static_cast<int>(chosen->absorbedBlocks);
    imported.absorbedMine = static_cast<int>(chosen->absorbedMine);
    PageData& page = imported.page;
    imported.madeFor = GuessWidth(doc);
    page.lines.reserve(chosen->segments.size());
    int number = context.firstCustomNumber;
    for (const Segment& segment : chosen->segments) {
        if (segment.block) {
            page.lines.push_back(EntryName(segment.block->kind, segment.block->style));
            ++imported.builtInLines;
            continue;
        }
        if (segment.mine) {
            const MineBlock& block = context.mine[*segment.mine];
            page.myBlocks.emplace(block.name, block.html);
            page.lines.push_back(MineEntryName(block.name));
            ++imported.mineLines;
            continue;
        }
        // The file adds the CR LF every piece ends with.
        page.customSources.emplace(number, text->substr(segment.begin, segment.end - segment.begin - 2));
        page.lines.push_back(CustomEntryName(number++));
    }
    ImportResult r;
    r.imported = std::move(imported);
    return r;
}

ImportResult ImportDescription(std::string_view bytes, const ImportContext& context) {
    const DecodeResult decoded = DecodeDescription(bytes);
    if (!decoded.Ok()) return Refuse(decoded.error);
    return ImportDecoded(*decoded.decoded, context);
}

ImportResult ImportDescriptionFile(const std::string& path, const ImportContext& context) {
    if (const auto size = FileSize(path); size && *size > kMaxImportBytes)
        return Refuse({ImportErrorKind::TooLarge, "共 " + std::to_string(*size / 1024 / 1024) + " MB"});
    const auto bytes = ReadWholeFile(path);
    if (!bytes) return Refuse({ImportErrorKind::CannotRead, {}});
    return ImportDescription(*bytes, context);
}

ImportResult ImportDescriptionText(std::string_view utf8, const ImportContext& context) {
    const DecodeResult decoded = NormaliseDescription(utf8);
    if (!decoded.Ok()) return Refuse(decoded.error);
    return ImportDecoded(*decoded.decoded, context);
}

std::string ImportSummary(const ImportedPage& imported) {
    const std::size_t lines = imported.page.lines.size();
    const std::size_t custom = lines - static_cast<std::size_t>(imported.builtInLines + imported.mineLines);
    std::string text = "共导入 " + std::to_string(lines) + " 行，其中 " + std::to_string(imported.builtInLines) +
                       " 行是内置模块，";
    if (imported.mineLines > 0) text += std::to_string(imported.mineLines) + " 行是我的模块，";
    text += std::to_string(custom) + " 行是自定义源码。";
    if (imported.absorbedBlocks > 0 || imported.absorbedMine > 0) {
        std::string absorbed;
        if (imported.absorbedBlocks > 0) absorbed = std::to_string(imported.absorbedBlocks) + " 个内置模块";
        if (imported.absorbedMine > 0)
            absorbed += (absorbed.empty() ? "" : "和 ") + std::to_string(imported.absorbedMine) + " 个我的模块";
        text += "\r\n自定义源码的编号不够用，有 " + absorbed + "并进了自定义源码。";
    }
    if (imported.lineBreakAdded) text += "\r\n原文的末尾没有换行（回车换行），导入时在末尾补上了一个。";
    if (imported.madeFor == DescriptionWidth::Tmall && imported.page.width != DescriptionWidth::Tmall)
        text += "\r\n原文按 790 像素宽做成（天猫的描述宽度）。如果这是天猫店铺的描述，"
                "请在“页面”菜单里选 790（天猫），预览和发布检查就按 790 像素来。";
    return text;
}

}  // namespace mojian::import
