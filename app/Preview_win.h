// The preview browser WebBrowser1 inside Frame4. Where the system has no
// working HTML engine (as under Wine) it is our own document model shown by
// the HTML view; the form only sees the PreviewBrowser interface.
#pragma once

#include <windows.h>

#include <memory>

#include "compose/PreviewBrowser.h"

namespace mojian {

// Posted to the form; it hands them back through OnFormMessage.
inline constexpr UINT kMsgPreviewRedraw = WM_APP + 1;
inline constexpr UINT kMsgPreviewLoaded = WM_APP + 2;

class PreviewHost {
public:
    virtual ~PreviewHost() = default;
    virtual PreviewBrowser& Browser() = 0;
    // Position inside Frame4, in pixels.
    virtual void Place(const RECT& rect) = 0;
    virtual void OnFormMessage(UINT msg) = 0;
    // The document model behind the view; nothing for a system browser.
    virtual const PreviewDocument* Model() const = 0;
    virtual HWND View() const = 0;
    // The description's column in pixels, which our view lays the page out
    // for; the system's engine lays it out at its own width and ignores it.
    virtual void SetColumnWidth(int) {}
};

// The preview Form1 shows: our own HTML view, loading the page's pictures
// itself, as buyers' browsers lay pages out; or, when the user's preview.ini
// asks for it (compose/PreviewSettings.h), the system's HTML engine where
// one comes up.
std::unique_ptr<PreviewHost> CreatePreviewHost(HWND form, HWND frame, int id, const RECT& rect);

// Backend without an HTML engine: the model, redrawn through HtmlViewSetHtml
// once per burst of changes (a page preview writes block by block).
std::unique_ptr<PreviewHost> CreateModelPreviewHost(HWND form, HWND frame, int id, const RECT& rect);

// Backend with the system's WebBrowser control; nothing where no HTML
// document comes up (no engine, or under Wine, where we never ask for one).
std::unique_ptr<PreviewHost> CreateWebBrowserPreviewHost(HWND frame, const RECT& rect);

}  // namespace mojian
