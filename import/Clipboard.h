// What 编辑 → 从粘贴板导入 takes from the clipboard. Its "HTML Format" holds
// the markup of what was copied from a rendered page or a design view; its
// text is what was copied from a code view. A code editor puts the source it
// shows in the text and a coloured rendering of that source in the HTML
// format, so when the text is markup itself it is the description.
#pragma once

#include <optional>
#include <string_view>

namespace mojian::import {

// The fragment of an "HTML Format" clipboard block (UTF-8: a header of
// offsets, then the document): the bytes between StartFragment and
// EndFragment, else between StartHTML and EndHTML. Nothing when the
// header is missing or its offsets do not fit the block.
std::optional<std::string_view> ClipboardHtmlFragment(std::string_view block);

// True when the text holds a tag (<p>, <img ...>, </td>) or a comment.
bool LooksLikeMarkup(std::string_view text);

// The description to import from the clipboard's HTML format block and its
// text (UTF-8), either of which may be missing; nothing when neither holds
// anything.
std::optional<std::string_view> ClipboardDescription(std::optional<std::string_view> htmlBlock,
                                                     std::optional<std::string_view> text);

}  // namespace mojian::import
