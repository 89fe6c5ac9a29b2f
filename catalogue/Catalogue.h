// The catalogue's fixed vocabulary: block kinds, style captions, the theme
// order of the column headings, and the entry names built from them.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace mojian {

inline constexpr int kKindCount = 10;       // built-in kinds, Option1(0..9)
inline constexpr int kMaxStyles = 20;       // style buttons, Option2(0..19)
inline constexpr int kMaxCustomSource = 100;  // highest custom source that resolves

// Kind captions in kind-index order.
inline constexpr std::array<std::string_view, kKindCount> kKindCaptions = {
    "栏目文字", "图片展示", "尺码表格", "产品信息", "团购秒杀",
    "关联营销", "图文排版", "售后说明", "五分好评", "搭配促销",
};

// Styles per kind; also the number of blocks the library holds for it.
inline constexpr std::array<int, kKindCount> kStyleCounts = {20, 5, 6, 13, 13, 9, 4, 4, 3, 13};

// The twenty column-heading themes, in the order of the buttons and the blocks.
inline constexpr std::array<std::string_view, kMaxStyles> kThemeNames = {
    "炫黑", "魅蓝", "降红", "星空", "雅黑", "拼色", "靓紫", "梦幻", "清淡", "复古",
    "棕淡", "简约", "绿茶", "玖红", "可爱", "中性", "醒目", "清新", "健康", "活力",
};

inline constexpr std::string_view kCustomSourceCaption = "自定义源码";
inline constexpr std::string_view kCustomEntryPrefix = "自定义源码-";
// The seller's own blocks (我的模块) are lines "我的模块-" and the block's name.
inline constexpr std::string_view kMineCaption = "我的模块";
inline constexpr std::string_view kMineEntryPrefix = "我的模块-";

// Total built-in blocks (the sum of kStyleCounts).
inline constexpr int kBuiltInBlockCount = 90;

bool IsValidBlock(int kind, int style);

// "样式" and the 1-based number: the caption of style button i for kinds 1 to 9.
std::string StyleCaption(int style);

// What Option2(style) shows while `kind` is chosen: a theme name for kind 0.
std::string StyleCaptionFor(int kind, int style);

// The text the add button writes for a built-in choice: 图片展示-样式3, 栏目文字-炫黑.
std::string EntryName(int kind, int style);

// 自定义源码-N, N in decimal without padding.
std::string CustomEntryName(int number);

// 我的模块-name.
std::string MineEntryName(std::string_view name);
// The name of a line of the seller's own block; empty for any other line.
std::string_view MineNameOf(std::string_view entryName);

}  // namespace mojian
