// 填写内容: a modal dialog (IDD_FILL) for one line's block. It lists the
// block's fields (texts with the text around them, pictures with address,
// alt text, size and whether they are still the block's own, link
// addresses), each edited in place, beside a preview of the block as it
// will look. The list is virtual, so a megabyte of custom source with
// thousands of fields opens and scrolls at once.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "base/DescriptionWidth.h"

namespace mojian {

struct FillDialogInput {
    std::string entry;  // the line's entry name, for the caption
    std::size_t line = 0;
    std::string html;  // the block as the line has it
    DescriptionWidth width = kDefaultDescriptionWidth;  // the page's column, for the preview
};

// The block with the seller's values written in, when they pressed 确定
// after changing something; nothing for 取消 or no change.
std::optional<std::string> ShowFillDialog(HWND owner, const FillDialogInput& input);

}  // namespace mojian
