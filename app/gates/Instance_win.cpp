#include "app/gates/Instance.h"

#include <sddl.h>

#include <cstdint>
#include <vector>

#include "base/Scoped_win.h"
#include "base/Utf_win.h"

namespace mojian {

namespace {

// What WM_COPYDATA's dwData says for a file to open: "MJOP".
constexpr ULONG_PTR kOpenFileTag = 0x4D4A4F50;
// The running copy may be asking the user something: the file waits in its
// queue, so the answer comes at once unless the copy hangs.
constexpr UINT kHandOverTimeoutMs = 10000;

// The current user's SID as text, so each user on the machine has a lock of
// their own; empty if it cannot be read (the lock is then machine-session wide).
std::wstring UserSid() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    const KernelHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(raw, TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<unsigned char> buffer(size);
    if (!GetTokenInformation(raw, TokenUser, buffer.data(), size, &size)) return {};
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return {};
    std::wstring sid(text);
    LocalFree(text);
    return sid;
}

std::wstring ObjectName(const std::wstring& name, const wchar_t* what) {
    return L"Local\\" + name + L"-" + UserSid() + what;
}

// Handles the process keeps until it ends.
std::vector<KernelHandle>& Held() {
    static std::vector<KernelHandle> held;
    return held;
}

}  // namespace

bool TakeInstanceLock(const std::wstring& name) {
    KernelHandle lock(CreateMutexW(nullptr, FALSE, ObjectName(name, L"").c_str()));
    if (!lock) return true;  // cannot tell; better to start than to refuse wrongly
    if (GetLastError() == ERROR_ALREADY_EXISTS) return false;
    Held().push_back(std::move(lock));
    return true;
}

void PublishInstanceWindow(const std::wstring& name, HWND form) {
    KernelHandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(std::uint64_t),
                                            ObjectName(name, L"-window").c_str()));
    if (!mapping) return;
    if (void* view = MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, sizeof(std::uint64_t))) {
        *static_cast<std::uint64_t*>(view) = reinterpret_cast<std::uintptr_t>(form);
        UnmapViewOfFile(view);
    }
    Held().push_back(std::move(mapping));
}

bool HandFileToRunningInstance(const std::wstring& name, const std::string& path) {
    HWND window = nullptr;
    {
        const KernelHandle mapping(OpenFileMappingW(FILE_MAP_READ, FALSE, ObjectName(name, L"-window").c_str()));
        if (!mapping) return false;
        const void* view = MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, sizeof(std::uint64_t));
        if (!view) return false;
        window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(*static_cast<const std::uint64_t*>(view)));
        UnmapViewOfFile(view);
    }
    if (!window || !IsWindow(window)) return false;
    // The running copy resolves nothing against its own current folder.
    std::wstring full(MAX_PATH, L'\0');
    const std::wstring given = Wide(path);
    DWORD n = GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n >= full.size()) {
        full.resize(n);
        n = GetFullPathNameW(given.c_str(), n, full.data(), nullptr);
    }
    full.resize(n == 0 ? 0 : n);
    if (full.empty()) full = given;

    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    AllowSetForegroundWindow(pid);  // the running copy comes to the front itself
    COPYDATASTRUCT data{};
    data.dwData = kOpenFileTag;
    data.cbData = static_cast<DWORD>((full.size() + 1) * sizeof(wchar_t));
    data.lpData = full.data();
    DWORD_PTR taken = 0;
    return SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                               kHandOverTimeoutMs, &taken) &&
           taken == TRUE;
}

std::optional<std::string> HandedOverFile(const COPYDATASTRUCT& data) {
    if (data.dwData != kOpenFileTag || !data.lpData || data.cbData < sizeof(wchar_t) ||
        data.cbData % sizeof(wchar_t) != 0)
        return std::nullopt;
    const auto* text = static_cast<const char16_t*>(data.lpData);
    std::size_t length = data.cbData / sizeof(wchar_t);
    while (length > 0 && text[length - 1] == u'\0') --length;  // the terminator, and nothing trusted beyond cbData
    if (length == 0) return std::nullopt;
    return Utf16ToUtf8(std::u16string_view(text, length));
}

}  // namespace mojian
