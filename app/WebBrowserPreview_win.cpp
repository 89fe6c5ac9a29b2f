// The preview in the system's WebBrowser control, hosted in plain COM: an
// OLE in-place site with a DocHostUIHandler (no context menu) that answers
// the ambient download control (no scripts, Java or ActiveX) and listens to
// the browser's events. Used only where an HTML document really comes up.
#include <windows.h>
#include <exdisp.h>
#include <exdispid.h>
#include <mshtmdid.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <ocidl.h>
#include <ole2.h>

#include <string>

#include "app/Preview_win.h"
#include "app/WinText_win.h"
#include "base/Scoped_win.h"

namespace mojian {

namespace {

// True under Wine: it has no HTML engine, and asking for one would offer to
// download it in a dialog, so we never try.
bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

constexpr DWORD kDownloadControl = DLCTL_DLIMAGES | DLCTL_VIDEOS | DLCTL_BGSOUNDS | DLCTL_NO_SCRIPTS |
                                   DLCTL_NO_JAVA | DLCTL_NO_RUNACTIVEXCTLS | DLCTL_NO_DLACTIVEXCTLS | DLCTL_SILENT;

class WebBrowserHost;

// The site the control lives in. One object serves every interface the
// control asks its container for.
class BrowserSite final : public IOleClientSite,
                          public IOleInPlaceSite,
                          public IOleInPlaceFrame,
                          public IDocHostUIHandler,
                          public IDispatch {
public:
    BrowserSite(WebBrowserHost* owner, HWND frame) : owner_(owner), frame_(frame) {}
    void Detach() { owner_ = nullptr; }
    void SetRect(const RECT& rect) { rect_ = rect; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleClientSite) *out = static_cast<IOleClientSite*>(this);
        else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite) *out = static_cast<IOleInPlaceSite*>(this);
        else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
            *out = static_cast<IOleInPlaceFrame*>(this);
        else if (riid == IID_IDocHostUIHandler) *out = static_cast<IDocHostUIHandler*>(this);
        else if (riid == IID_IDispatch || riid == DIID_DWebBrowserEvents2) *out = static_cast<IDispatch*>(this);
        else return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (for the site and the frame alike)
    STDMETHODIMP GetWindow(HWND* out) override {
        *out = frame_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override {
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *doc = nullptr;
        *pos = rect_;
        *clip = rect_;
        info->fMDIApp = FALSE;
        info->hwndFrame = GetAncestor(frame_, GA_ROOT);
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow / IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }  // the frame's and the UI handler's
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDocHostUIHandler
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
        return S_OK;  // handled: the preview shows no context menu, on any document
    }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
        info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_DISABLE_HELP_MENU | DOCHOSTUIFLAG_DIALOG;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        return S_OK;
    }
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override {
        return S_OK;  // no menus or tool bars of its own
    }
    STDMETHODIMP HideUI() override { return S_OK; }
    STDMETHODIMP UpdateUI() override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override {
        *key = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetExternal(IDispatch** out) override {
        *out = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
        *out = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override {
        *out = nullptr;
        return S_FALSE;
    }

    // IDispatch: the ambient properties and the browser's events
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override;

private:
    LONG refs_ = 1;
    WebBrowserHost* owner_;
    HWND frame_;
    RECT rect_{};
};

class WebBrowserHost final : public PreviewHost, public PreviewBrowser {
public:
    WebBrowserHost(HWND frame, const RECT& rect) : frame_(frame), site_(new BrowserSite(this, frame)) {
        site_->SetRect(rect);
    }
    ~WebBrowserHost() override {
        if (cookie_ && browser_) {
            ComPtr<IConnectionPointContainer> cpc;
            ComPtr<IConnectionPoint> cp;
            if (SUCCEEDED(browser_->QueryInterface(IID_IConnectionPointContainer, cpc.put_void())) &&
                SUCCEEDED(cpc->FindConnectionPoint(DIID_DWebBrowserEvents2, cp.put())))
                cp->Unadvise(cookie_);
        }
        if (object_) {
            object_->Close(OLECLOSE_NOSAVE);
            object_->SetClientSite(nullptr);
        }
        browser_.reset();
        object_.reset();
        site_->Detach();  // the control may still hold the site: it must not call back into us
    }
    WebBrowserHost(const WebBrowserHost&) = delete;
    WebBrowserHost& operator=(const WebBrowserHost&) = delete;

    // Creates the control and waits for its first blank page; false when no
    // HTML document comes up.
    bool Start() {
        const HRESULT ole = OleInitialize(nullptr);
        if (FAILED(ole)) return false;
        if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                    object_.put_void())))
            return false;
        if (FAILED(object_->SetClientSite(site_.get()))) return false;
        ComPtr<IOleControl> control;
        if (SUCCEEDED(object_->QueryInterface(IID_IOleControl, control.put_void())))
            control->OnAmbientPropertyChange(DISPID_AMBIENT_DLCONTROL);
        RECT rect{};
        GetClientRect(frame_, &rect);
        if (FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.get(), 0, frame_, &rect))) return false;
        if (FAILED(object_->QueryInterface(IID_IWebBrowser2, browser_.put_void()))) return false;
        ComPtr<IConnectionPointContainer> cpc;
        ComPtr<IConnectionPoint> cp;
        if (SUCCEEDED(browser_->QueryInterface(IID_IConnectionPointContainer, cpc.put_void())) &&
            SUCCEEDED(cpc->FindConnectionPoint(DIID_DWebBrowserEvents2, cp.put())))
            cp->Advise(static_cast<IDispatch*>(site_.get()), &cookie_);
        Navigate(kBlankPage);
        CompleteNavigation();
        ComPtr<IHTMLDocument2> doc;
        return Document(doc);
    }

    // PreviewHost
    PreviewBrowser& Browser() override { return *this; }
    void Place(const RECT& rect) override {
        site_->SetRect(rect);
        ComPtr<IOleInPlaceObject> inPlace;
        if (object_ && SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, inPlace.put_void())))
            inPlace->SetObjectRects(&rect, &rect);
    }
    void OnFormMessage(UINT) override {}
    const PreviewDocument* Model() const override { return nullptr; }
    HWND View() const override {
        HWND hwnd = nullptr;
        ComPtr<IOleWindow> window;
        if (object_ && SUCCEEDED(object_->QueryInterface(IID_IOleWindow, window.put_void())))
            window->GetWindow(&hwnd);
        return hwnd ? hwnd : frame_;
    }

    // PreviewBrowser
    void SetSilent(bool silent) override {
        if (browser_) browser_->put_Silent(silent ? VARIANT_TRUE : VARIANT_FALSE);
    }
    void Navigate(std::string_view url) override {
        if (!browser_) return;
        pending_ = true;
        Bstr address(Wide(url));
        VARIANT empty;
        VariantInit(&empty);
        if (FAILED(browser_->Navigate(address.get(), &empty, &empty, &empty, &empty))) pending_ = false;
    }
    bool NavigationPending() const override { return pending_; }
    void CompleteNavigation() override {
        // The blank page loads while messages run; wait for it, but not for ever.
        const DWORD deadline = GetTickCount() + 5000;
        while (pending_ && static_cast<LONG>(deadline - GetTickCount()) > 0) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    PostQuitMessage(static_cast<int>(msg.wParam));
                    pending_ = false;
                    return;
                }
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            if (pending_) MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
        pending_ = false;
    }
    void Open() override {
        ComPtr<IHTMLDocument2> doc;
        if (!Document(doc)) return;
        Bstr type(L"text/html");
        VARIANT empty;
        VariantInit(&empty);
        ComPtr<IDispatch> window;
        doc->open(type.get(), empty, empty, empty, window.put());
    }
    void Writeln(std::string_view text) override {
        ComPtr<IHTMLDocument2> doc;
        if (!Document(doc)) return;
        SAFEARRAY* args = SafeArrayCreateVector(VT_VARIANT, 0, 1);
        if (!args) return;
        VARIANT* item = nullptr;
        if (SUCCEEDED(SafeArrayAccessData(args, reinterpret_cast<void**>(&item)))) {
            const std::wstring wide = Wide(text);
            item->vt = VT_BSTR;
            item->bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
            SafeArrayUnaccessData(args);
            doc->writeln(args);
        }
        SafeArrayDestroy(args);  // frees the string with it
    }
    void Close() override {
        ComPtr<IHTMLDocument2> doc;
        if (Document(doc)) doc->close();
    }
    void SetBodyInnerHtml(std::string_view html) override {
        ComPtr<IHTMLDocument2> doc;
        ComPtr<IHTMLElement> body;
        if (!Document(doc) || FAILED(doc->get_body(body.put())) || !body) return;
        Bstr text(Wide(html));
        body->put_innerHTML(text.get());
    }

    // From the site.
    void OnDocumentComplete(IDispatch* frame) {
        ComPtr<IUnknown> top;
        ComPtr<IUnknown> which;
        if (!browser_ || !frame) return;
        browser_->QueryInterface(IID_IUnknown, top.put_void());
        frame->QueryInterface(IID_IUnknown, which.put_void());
        if (top.get() == which.get()) pending_ = false;  // the top-level page, not a frame in it
    }
    void OnDownloadComplete() { RaiseDownloadComplete(); }

private:
    bool Document(ComPtr<IHTMLDocument2>& doc) {
        if (pending_) CompleteNavigation();
        ComPtr<IDispatch> dispatch;
        if (!browser_ || FAILED(browser_->get_Document(dispatch.put())) || !dispatch) return false;
        return SUCCEEDED(dispatch->QueryInterface(IID_IHTMLDocument2, doc.put_void()));
    }

    HWND frame_;
    ComPtr<BrowserSite> site_;  // made here with its first reference
    ComPtr<IOleObject> object_;
    ComPtr<IWebBrowser2> browser_;
    DWORD cookie_ = 0;
    bool pending_ = false;
};

bool IsBlankAddress(const VARIANT* url) {
    const VARIANT* v = url;
    if (v && v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
    if (!v || v->vt != VT_BSTR || !v->bstrVal) return false;
    return _wcsnicmp(v->bstrVal, L"about:", 6) == 0;
}

void CancelWith(VARIANT* cancel) {
    if (cancel && cancel->vt == (VT_BYREF | VT_BOOL)) *cancel->pboolVal = VARIANT_TRUE;
}

STDMETHODIMP BrowserSite::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                 UINT*) {
    switch (id) {
    case DISPID_AMBIENT_DLCONTROL:
        if (!result) return E_INVALIDARG;
        result->vt = VT_I4;
        result->lVal = static_cast<LONG>(kDownloadControl);
        return S_OK;
    case DISPID_BEFORENAVIGATE2:  // (pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel), reversed
        if (params && params->cArgs == 7 && !IsBlankAddress(&params->rgvarg[5])) CancelWith(&params->rgvarg[0]);
        return S_OK;
    case DISPID_NEWWINDOW2:  // (ppDisp, Cancel), reversed
        if (params && params->cArgs == 2) CancelWith(&params->rgvarg[0]);
        return S_OK;
    case DISPID_NEWWINDOW3:  // (ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl), reversed
        if (params && params->cArgs == 5) CancelWith(&params->rgvarg[3]);
        return S_OK;
    case DISPID_DOCUMENTCOMPLETE:  // (pDisp, URL), reversed
        if (owner_ && params && params->cArgs == 2 && params->rgvarg[1].vt == VT_DISPATCH)
            owner_->OnDocumentComplete(params->rgvarg[1].pdispVal);
        return S_OK;
    case DISPID_DOWNLOADCOMPLETE:
        if (owner_) owner_->OnDownloadComplete();
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

}  // namespace

std::unique_ptr<PreviewHost> CreateWebBrowserPreviewHost(HWND frame, const RECT& rect) {
    if (RunningUnderWine()) return nullptr;
    auto host = std::make_unique<WebBrowserHost>(frame, rect);
    if (!host->Start()) return nullptr;
    return host;
}

}  // namespace mojian
