// 填写内容 and 查找和替换 timed on the real window.
#pragma once

#include <windows.h>

#include "bench/wine/BenchRows_win.h"

namespace mojian::bench {

// The fill dialog opening on the largest built-in block and on a megabyte
// of custom source, and a replace across 1,000 lines through its dialog.
void MeasureFillDialogs(Rows& rows, HWND form);

}  // namespace mojian::bench
