// 我的模块 timed on the real window.
#pragma once

#include <windows.h>

#include "bench/wine/BenchRows_win.h"

namespace mojian::bench {

// The seller's library of 1,000 blocks: the dialog shown with all of them
// listed, and choosing a block until its preview is laid out.
void MeasureMyBlocks(Rows& rows, HWND form);

}  // namespace mojian::bench
