// A page as plain data: what a project file holds, what the recovery file
// holds, and what "open" and the import hand to the composition. No window,
// no files, no machine-dependent paths.
#pragma once

#include <compare>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/DescriptionWidth.h"

namespace mojian {

// One of the ninety built-in blocks: kind index and 0-based style index.
struct BlockId {
    int kind = 0;
    int style = 0;
    friend auto operator<=>(const BlockId&, const BlockId&) = default;
};

// What "添加模块" adds: a built-in block (kind and style), or a custom source.
struct Choice {
    bool custom = false;
    int kind = 0;   // built-in choice only
    int style = 0;  // built-in choice only

    static Choice BuiltIn(int kind, int style) { return {false, kind, style}; }
    static Choice Custom() { return {true, 0, 0}; }
    friend bool operator==(const Choice&, const Choice&) = default;
};

// The window's choice at start: "栏目文字" with the theme "炫黑".
inline constexpr Choice kStartChoice{};

// The choice as a project file names it: the entry name of a built-in choice
// (图片展示-样式3, 栏目文字-炫黑) or "自定义源码".
std::string ChoiceName(const Choice& choice);
// Nothing for a name that is neither (a later version's kind, say).
std::optional<Choice> ChoiceFromName(std::string_view name);

struct PageData {
    // The composition list's lines in order: entry names, repeats allowed.
    std::vector<std::string> lines;
    // Custom-source texts by number, as the user typed them (UTF-8). Only the
    // numbers the lines name matter; the numbers are renumbered on opening.
    std::map<int, std::string> customSources;
    // Built-in blocks changed through the code editor.
    std::map<BlockId, std::string> editedBlocks;
    // The seller's own blocks (我的模块) the lines name, by name: their HTML
    // as the page has it, so that the page is whole on a PC without them.
    std::map<std::string, std::string> myBlocks;
    Choice choice = kStartChoice;
    // The column the page is made for: Taobao's 750 pixels or Tmall's 790.
    DescriptionWidth width = kDefaultDescriptionWidth;

    friend bool operator==(const PageData&, const PageData&) = default;
};

}  // namespace mojian
