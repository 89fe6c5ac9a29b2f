#include "service/PostForm.h"

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <msxml2.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/Gbk.h"
#include "base/Scoped_win.h"
#include "base/Utf.h"

namespace mojian {

namespace {

// COM for this thread if nobody has set it up yet (the window thread that
// hosts the preview browser normally has). Never torn down again: an
// aborted request may still deliver its last notifications through this
// thread's messages, and they must find COM alive.
void EnsureCom() {
    thread_local const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    (void)hr;
}

// IXMLHTTPRequest's interface identifier; MinGW ships no library defining it.
constexpr IID kIidXmlHttpRequest = {0xED8C108D, 0x4349, 0x11D2, {0x91, 0xA4, 0x00, 0xC0, 0x4F, 0x79, 0x69, 0xE8}};

constexpr const wchar_t* kDefaultProgIds[] = {L"Msxml2.XMLHTTP", L"Microsoft.XMLHTTP", nullptr};

bool CreateRequest(const wchar_t* const* progIds, ComPtr<IXMLHTTPRequest>& request) {
    for (const wchar_t* const* id = progIds; *id; ++id) {
        CLSID clsid;
        if (FAILED(CLSIDFromProgID(*id, &clsid))) continue;
        if (SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIidXmlHttpRequest, request.put_void())) &&
            request)
            return true;
    }
    return false;
}

// The body as bytes, so the object sends exactly these and adds no charset
// of its own.
void SetBytes(VARIANT& v, std::string_view bytes) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!array) return;
    void* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
        if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
        SafeArrayUnaccessData(array);
    }
    v.vt = VT_ARRAY | VT_UI1;
    v.parray = array;
}

std::string GetBytes(VARIANT& v) {
    if (v.vt != (VT_ARRAY | VT_UI1) || !v.parray) return {};
    LONG lower = 0, upper = -1;
    if (FAILED(SafeArrayGetLBound(v.parray, 1, &lower)) || FAILED(SafeArrayGetUBound(v.parray, 1, &upper)) ||
        upper < lower)
        return {};
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(v.parray, &data))) return {};
    std::string bytes(static_cast<const char*>(data), static_cast<std::size_t>(upper - lower) + 1);
    SafeArrayUnaccessData(v.parray);
    return bytes;
}

enum class WaitResult { Completed, GaveUp, Quit };

// Lets the window handle its events until the request completes, fails or
// runs out of time. A WM_QUIT taken from the queue is put back for the
// program's own message loop.
WaitResult WaitForCompletion(IXMLHTTPRequest* request, unsigned timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        long state = 0;
        if (FAILED(request->get_readyState(&state))) return WaitResult::GaveUp;
        if (state == 4) return WaitResult::Completed;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return WaitResult::GaveUp;
        const DWORD slice = static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 15));
        MsgWaitForMultipleObjectsEx(0, nullptr, slice, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return WaitResult::Quit;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

// The request object keeps answers in the browser cache, POST answers
// included (Wine's does, whatever the answer's Cache-Control says), and may
// serve a later request from there without asking. Every exchange must reach
// the service, so its entry goes before and after each one.
class CacheEntryGuard {
public:
    explicit CacheEntryGuard(std::string_view url) {
        const std::u16string w = Utf8ToUtf16(url);
        url_.assign(w.begin(), w.end());
        DeleteUrlCacheEntryW(url_.c_str());
    }
    ~CacheEntryGuard() { DeleteUrlCacheEntryW(url_.c_str()); }
    CacheEntryGuard(const CacheEntryGuard&) = delete;
    CacheEntryGuard& operator=(const CacheEntryGuard&) = delete;

private:
    std::wstring url_;
};

// An aborted request may still be reported into afterwards (Wine's goes on
// delivering to it), and a request object freed meanwhile would have its
// memory reused by the next one, which would then take the stale answer.
// Given-up requests are rare, so each is simply kept until the program ends.
void KeepAbandoned(IXMLHTTPRequest* request) {
    static std::vector<IXMLHTTPRequest*> abandoned;
    request->AddRef();
    abandoned.push_back(request);
}

}  // namespace

std::string PostForm(std::string_view url, std::string_view body, const PostFormOptions& options) {
    EnsureCom();
    const CacheEntryGuard fresh(url);
    ComPtr<IXMLHTTPRequest> request;
    if (!CreateRequest(options.progIds ? options.progIds : kDefaultProgIds, request)) return {};

    // Asynchronous, so the window can go on handling its events and the wait
    // can be given up; the caller still sees one blocking call.
    {
        Variant async, user, password;
        async.get().vt = VT_BOOL;
        async.get().boolVal = VARIANT_TRUE;
        // No user name or password: the optional arguments left out.
        for (VARIANT* v : {&user.get(), &password.get()}) {
            v->vt = VT_ERROR;
            v->scode = DISP_E_PARAMNOTFOUND;
        }
        if (FAILED(request->open(Bstr::FromUtf8("POST").get(), Bstr::FromUtf8(url).get(), async.get(), user.get(),
                                 password.get())))
            return {};
    }

    const std::string length = std::to_string(body.size());  // ASCII: characters are bytes
    const std::string_view headers[][2] = {
        {"Accept", "*/*"},
        {"Accept-Language", "zh-cn"},
        {"User-Agent", "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0)"},
        {"Content-Type", "application/x-www-form-urlencoded"},
        {"Referer", ""},
        {"Content-Length", length},
        {"Connection", "Keep-Alive"},
        {"Cache-Control", "no-cache"},
    };
    for (const auto& h : headers) request->setRequestHeader(Bstr::FromUtf8(h[0]).get(), Bstr::FromUtf8(h[1]).get());

    {
        Variant payload;
        SetBytes(payload.get(), body);
        if (FAILED(request->send(payload.get()))) return {};
    }

    if (WaitForCompletion(request.get(), options.timeoutMs) != WaitResult::Completed) {
        request->abort();
        KeepAbandoned(request.get());
        return {};
    }
    Variant answer;
    if (FAILED(request->get_responseBody(&answer.get()))) return {};
    return GbkToUtf8(GetBytes(answer.get()));
}

}  // namespace mojian
