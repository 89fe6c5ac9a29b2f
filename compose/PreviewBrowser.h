// The preview browser as every preview uses it: the operations of the
// embedded browser and its document, nothing more. Two back ends offer it:
// the system's WebBrowser control where an HTML engine exists, and our own
// view over a PreviewDocument where none does (as under Wine).
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "compose/PreviewDocument.h"

namespace mojian {

inline constexpr std::string_view kBlankPage = "about:blank";
inline constexpr std::string_view kFramedTitle = "New Document";

class PreviewBrowser {
public:
    virtual ~PreviewBrowser() = default;

    // The browser shows no dialogs of its own (script errors and the like).
    virtual void SetSilent(bool silent) = 0;
    // Starts loading the page; the load completes later, when the message
    // loop runs, or at once through CompleteNavigation.
    virtual void Navigate(std::string_view url) = 0;
    virtual bool NavigationPending() const = 0;
    // Waits for the pending load to complete. Every write below does this
    // first, so nothing written can land in the page being replaced.
    virtual void CompleteNavigation() = 0;

    virtual void Open() = 0;
    virtual void Writeln(std::string_view text) = 0;
    virtual void Close() = 0;
    virtual void SetBodyInnerHtml(std::string_view html) = 0;

    // DownloadComplete: raised when a load has completed.
    void SetOnDownloadComplete(std::function<void()> handler) { onDownloadComplete_ = std::move(handler); }

protected:
    void RaiseDownloadComplete() {
        if (onDownloadComplete_) onDownloadComplete_();
    }

private:
    std::function<void()> onDownloadComplete_;
};

// Rewrites the whole document as the fixed frame around `text`, titled
// "New Document": one writeln per piece between Open and Close.
void WriteFramedPreview(PreviewBrowser& browser, std::string_view text);

// The preview over our own document model. `onChanged` learns of every change
// of the document (the view redraws from Document()); `onNavigate` of every
// load started, so the owner can complete it from its message loop.
class ModelPreview final : public PreviewBrowser {
public:
    void SetOnChanged(std::function<void()> handler) { onChanged_ = std::move(handler); }
    void SetOnNavigate(std::function<void()> handler) { onNavigate_ = std::move(handler); }

    void SetSilent(bool silent) override { silent_ = silent; }
    bool Silent() const { return silent_; }
    void Navigate(std::string_view url) override;
    bool NavigationPending() const override { return pending_; }
    void CompleteNavigation() override;

    void Open() override;
    void Writeln(std::string_view text) override;
    void Close() override;
    void SetBodyInnerHtml(std::string_view html) override;

    const PreviewDocument& Document() const { return document_; }
    const std::string& Address() const { return address_; }

private:
    void Changed() {
        if (onChanged_) onChanged_();
    }

    PreviewDocument document_;
    std::string address_;
    bool pending_ = false;
    bool silent_ = false;
    std::function<void()> onChanged_;
    std::function<void()> onNavigate_;
};

}  // namespace mojian
