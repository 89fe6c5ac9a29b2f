#include "app/PagePreview_win.h"

#include "app/Form1_win.h"

namespace mojian {

void ClearPreview(HWND form) {
    if (PreviewBrowser* preview = Form1Preview(form)) preview->Navigate(kBlankPage);
}

void ShowPagePreview(HWND form) {
    PreviewBrowser* preview = Form1Preview(form);
    if (!preview) return;
    preview->CompleteNavigation();
    const Composition& page = Form1Page(form);
    for (std::size_t i = 0; i < page.Lines().size(); ++i) {
        if (const auto html = page.LineHtml(i)) preview->Writeln(*html);
    }
}

}  // namespace mojian
