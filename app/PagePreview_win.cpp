#include "app/PagePreview_win.h"

#include "app/Form1_win.h"
#include "app/WinText_win.h"
#include "compose/PageAssembly.h"

namespace mojian {

std::vector<std::string> ListLines(HWND list) {
    std::vector<std::string> lines;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length == LB_ERR) {
            lines.emplace_back();
            continue;
        }
        std::wstring buf(static_cast<std::size_t>(length) + 1, L'\0');
        const LRESULT got =
            SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf.data()));
        buf.resize(got == LB_ERR ? 0 : static_cast<std::size_t>(got));
        lines.push_back(Narrow(buf));
    }
    return lines;
}

void ClearPreview(HWND form) {
    if (PreviewBrowser* preview = Form1Preview(form)) preview->Navigate(kBlankPage);
}

void ShowPagePreview(HWND form) {
    PreviewBrowser* preview = Form1Preview(form);
    if (!preview) return;
    preview->CompleteNavigation();
    for (const std::string& name : ListLines(Form1Control(form, form1::kList1))) {
        if (const auto html = LineHtml(name)) preview->Writeln(*html);
    }
}

}  // namespace mojian
