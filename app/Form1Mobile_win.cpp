// Form1's 文件 → 生成手机详情…: refused on an empty page, the publish
// check's errors put to the seller first, then the dialog with the page as
// it stands and the window's maker.
#include <string>

#include "app/Form1State_win.h"
#include "app/Form1Texts.h"
#include "app/WinText_win.h"
#include "app/dialogs/MobileDialog_win.h"
#include "mobile/Geometry.h"
#include "mobile/MakeOptions.h"

namespace mojian {

namespace {

constexpr wchar_t kEmptyPage[] = L"排版列表是空的，还没有可以生成手机详情的内容。";
constexpr wchar_t kNoMaker[] = L"这个版本不能生成手机详情。";

}  // namespace

void MobileDescription_Click(HWND form, Form1State& s) {
    if (s.doc.page.Lines().empty()) {
        Ask(form, kEmptyPage, form1_texts::kNoticeTitle, MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (!s.options.makeMobile) {
        Ask(form, kNoMaker, form1_texts::kNoticeTitle, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (const auto checked = CheckPageNow(s); checked && checked->summary.errors > 0) {
        const int answer = Ask(form, Wide(mobile::CheckErrorsQuestion(checked->summary.errors)), kMobileTitle,
                               MB_YESNOCANCEL | MB_ICONWARNING);
        if (answer == IDNO) Check_Click(form, s);
        if (answer != IDYES) return;
    }
    MobileDialogInput input;
    input.pageHtml = s.doc.page.PageHtml();
    input.lineOffsets = mobile::LineOffsets(s.doc.page);
    input.column = s.doc.page.Width();
    input.projectPath = s.doc.file.Path();
    input.font = s.view.normalFont.get();
    input.make = s.options.makeMobile;
    ShowMobileDialog(form, input);
}

}  // namespace mojian
