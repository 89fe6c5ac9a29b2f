// 我的模块: a modal dialog (IDD_MYBLOCKS) listing the seller's own blocks.
// Choosing one previews it; 添加到页面 (or a double click) puts a line of
// it at the end of the page, and the dialog stays for the next; the blocks
// are renamed, deleted, exported as one set and imported from one here.
#pragma once

#include <windows.h>

#include <functional>

#include "base/DescriptionWidth.h"
#include "myblocks/MyBlocks.h"

namespace mojian {

struct MyBlocksHost {
    myblocks::MyBlocks* store = nullptr;
    DescriptionWidth width = kDefaultDescriptionWidth;  // the preview's column
    HFONT font = nullptr;  // the window's, for the controls; the dialog's own when none
    // Puts a line of the block on the page; the window reflects it and tells
    // the seller itself when it cannot. False when nothing was added.
    std::function<bool(const myblocks::Block& block)> add;
};

void ShowMyBlocksDialog(HWND owner, const MyBlocksHost& host);

}  // namespace mojian
