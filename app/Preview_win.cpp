#include "app/Preview_win.h"

#include <optional>
#include <string>

#include "base/DescriptionWidth.h"
#include "base/File.h"
#include "base/UserFolder.h"
#include "compose/PreviewSettings.h"
#include "html/HtmlView_win.h"

namespace mojian {

namespace {

class ModelPreviewHost final : public PreviewHost {
public:
    ModelPreviewHost(HWND form, HWND frame, int id, const RECT& rect) : form_(form) {
        view_ = html::CreateHtmlView(frame, id, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
        if (view_) html::HtmlViewSetColumnWidth(view_, WidthPixels(kDefaultDescriptionWidth));  // a new page's
        preview_.SetOnChanged([this] {
            if (redrawPosted_) return;
            redrawPosted_ = PostMessageW(form_, kMsgPreviewRedraw, 0, 0) != 0;
            if (!redrawPosted_) Redraw();  // no queue room: draw now rather than never
        });
        // The blank page "loads" when the message loop next runs, as the
        // real browser's would; a write before then completes it itself.
        preview_.SetOnNavigate([this] { PostMessageW(form_, kMsgPreviewLoaded, 0, 0); });
    }

    PreviewBrowser& Browser() override { return preview_; }

    void Place(const RECT& rect) override {
        MoveWindow(view_, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
    }

    void OnFormMessage(UINT msg) override {
        if (msg == kMsgPreviewLoaded) preview_.CompleteNavigation();
        if (msg == kMsgPreviewRedraw) {
            redrawPosted_ = false;
            Redraw();
        }
    }

    const PreviewDocument* Model() const override { return &preview_.Document(); }
    HWND View() const override { return view_; }
    void SetColumnWidth(int px) override {
        if (view_) html::HtmlViewSetColumnWidth(view_, px);
    }

private:
    void Redraw() {
        if (view_) html::HtmlViewSetHtml(view_, preview_.Document().Source());
    }

    HWND form_;
    HWND view_ = nullptr;
    ModelPreview preview_;
    bool redrawPosted_ = false;
};

}  // namespace

std::unique_ptr<PreviewHost> CreateModelPreviewHost(HWND form, HWND frame, int id, const RECT& rect) {
    return std::make_unique<ModelPreviewHost>(form, frame, id, rect);
}

std::unique_ptr<PreviewHost> CreatePreviewHost(HWND form, HWND frame, int id, const RECT& rect) {
    const std::string folder = UserDataFolder();
    const std::optional<std::string> settings =
        folder.empty() ? std::nullopt : ReadWholeFile(JoinPath(folder, kPreviewSettingsFile));
    if (settings && PreviewEngineFromSettings(*settings) == PreviewEngine::System) {
        if (auto host = CreateWebBrowserPreviewHost(frame, rect)) return host;
    }
    auto host = CreateModelPreviewHost(form, frame, id, rect);
    if (host && host->View()) html::HtmlViewLoadPictures(host->View());
    return host;
}

}  // namespace mojian
