// 生成手机详情: a modal dialog (IDD_MOBILE) that takes the seller's options
// (the pictures' width, their format, the highest piece, the folder), makes
// the mobile description on a thread of its own with progress and 取消, and
// shows what was made: the pictures, the contact sheet, the links left out
// and the errors, and 打开文件夹.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "base/DescriptionWidth.h"
#include "mobile/MakeMobile_win.h"

namespace mojian {

// The dialog's caption, and the title of the questions asked on the way to it.
inline constexpr wchar_t kMobileTitle[] = L"生成手机详情";

// What makes the folder: mobile::MakeMobileDescription in the program, a
// fake in the tests. It blocks and is called on the dialog's worker thread.
using MobileMaker = std::function<mobile::MakeOutcome(const mobile::MakeRequest&)>;

struct MobileDialogInput {
    std::string pageHtml;                  // Composition::PageHtml()
    std::vector<std::size_t> lineOffsets;  // mobile::LineOffsets
    DescriptionWidth column = kDefaultDescriptionWidth;
    std::string projectPath;  // the page's file; empty for a page never saved
    HFONT font = nullptr;     // the window's, for the controls; the dialog's own when none
    MobileMaker make;
};

void ShowMobileDialog(HWND owner, const MobileDialogInput& input);

}  // namespace mojian
