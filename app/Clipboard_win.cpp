#include "app/Clipboard_win.h"

#include <cstring>

#include "app/WinText_win.h"
#include "base/Scoped_win.h"

namespace mojian {

namespace {

constexpr int kOpenAttempts = 10;
constexpr DWORD kOpenPauseMs = 60;

// Opens the clipboard for `owner`; another window may have it open just now.
bool OpenClipboardRetrying(HWND owner) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (attempt > 0) Sleep(kOpenPauseMs);
        if (OpenClipboard(owner)) return true;
    }
    return false;
}

class OpenedClipboard {
public:
    explicit OpenedClipboard(HWND owner) : open_(OpenClipboardRetrying(owner)) {}
    ~OpenedClipboard() {
        if (open_) CloseClipboard();
    }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
    bool IsOpen() const { return open_; }

private:
    bool open_;
};

}  // namespace

bool PutClipboardText(HWND owner, std::string_view utf8) {
    const std::wstring text = Wide(utf8);
    const SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
    GlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (!memory) return false;
    void* p = GlobalLock(memory.get());
    if (!p) return false;
    std::memcpy(p, text.c_str(), bytes);
    GlobalUnlock(memory.get());
    OpenedClipboard clipboard(owner);
    if (!clipboard.IsOpen() || !EmptyClipboard() || !SetClipboardData(CF_UNICODETEXT, memory.get())) return false;
    memory.release();  // the system's now
    return true;
}

bool EmptyClipboardText(HWND owner) {
    OpenedClipboard clipboard(owner);
    return clipboard.IsOpen() && EmptyClipboard();
}

std::optional<std::string> ClipboardText(HWND owner) {
    OpenedClipboard clipboard(owner);
    if (!clipboard.IsOpen()) return std::nullopt;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data) return std::nullopt;
    const auto* p = static_cast<const wchar_t*>(GlobalLock(data));
    if (!p) return std::nullopt;
    // Bounded by the block's size, in case the text lacks its terminator.
    const std::size_t capacity = GlobalSize(data) / sizeof(wchar_t);
    std::size_t length = 0;
    while (length < capacity && p[length] != L'\0') ++length;
    std::string text = Narrow(std::wstring_view(p, length));
    GlobalUnlock(data);
    return text;
}

std::optional<std::string> ClipboardHtmlFormat(HWND owner) {
    const UINT format = RegisterClipboardFormatW(L"HTML Format");
    if (!format) return std::nullopt;
    OpenedClipboard clipboard(owner);
    if (!clipboard.IsOpen()) return std::nullopt;
    HANDLE data = GetClipboardData(format);
    if (!data) return std::nullopt;
    const auto* p = static_cast<const char*>(GlobalLock(data));
    if (!p) return std::nullopt;
    // The block's size is rounded up by the system; the text ends at its NUL.
    const std::size_t capacity = GlobalSize(data);
    std::size_t length = 0;
    while (length < capacity && p[length] != '\0') ++length;
    std::string block(p, length);
    GlobalUnlock(data);
    return block;
}

}  // namespace mojian
