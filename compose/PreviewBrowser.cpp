#include "compose/PreviewBrowser.h"

namespace mojian {

void WriteFramedPreview(PreviewBrowser& browser, std::string_view text) {
    browser.Open();
    for (std::string_view piece : {"<HTML>", "<HEAD>", "<TITLE>", "New Document", "</TITLE>", "</HEAD>", "<BODY>"})
        browser.Writeln(piece);
    browser.Writeln(text);
    browser.Writeln("</BODY>");
    browser.Writeln("</HTML>");
    browser.Close();
}

void ModelPreview::Navigate(std::string_view url) {
    // Only blank pages are ever loaded: the preview shows what we write.
    address_ = std::string(url);
    pending_ = true;
    if (onNavigate_) onNavigate_();
}

void ModelPreview::CompleteNavigation() {
    if (!pending_) return;
    pending_ = false;
    document_.LoadBlank();
    Changed();
    RaiseDownloadComplete();
}

void ModelPreview::Open() {
    CompleteNavigation();
    document_.Open();
    Changed();
}

void ModelPreview::Writeln(std::string_view text) {
    CompleteNavigation();
    document_.Writeln(text);
    Changed();
}

void ModelPreview::Close() {
    CompleteNavigation();
    document_.Close();
    Changed();
}

void ModelPreview::SetBodyInnerHtml(std::string_view html) {
    CompleteNavigation();
    document_.SetBodyInnerHtml(html);
    Changed();
}

}  // namespace mojian
