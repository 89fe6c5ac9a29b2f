#include "app/gates/StartupGates.h"

#include <sddl.h>
#include <wininet.h>

#include <memory>
#include <vector>

#include "app/env/Environment.h"
#include "app/gates/GateTexts.h"
#include "base/Scoped_win.h"
#include "service/SettingsExchange.h"
#include "service/SettingsQuery.h"

namespace mojian {

namespace {

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

// True when no other copy holds the lock. The lock stays held until the
// process ends, so it is never closed here.
bool TakeInstanceLock(const std::wstring& name) {
    const std::wstring lockName = L"Local\\" + name + L"-" + UserSid();
    KernelHandle lock(CreateMutexW(nullptr, FALSE, lockName.c_str()));
    if (!lock) return true;  // cannot tell; better to start than to refuse wrongly
    if (GetLastError() == ERROR_ALREADY_EXISTS) return false;
    static std::vector<KernelHandle> held;  // for the life of the process
    held.push_back(std::move(lock));
    return true;
}

bool NetworkReachable(const std::string& probeUrl) {
    return InternetCheckConnectionA(probeUrl.c_str(), FLAG_ICC_FORCE_CONNECTION, 0) != FALSE;
}

std::vector<std::string> QuerySettings(const Environment& env) {
    PostFormOptions options;
    options.timeoutMs = env.timeoutMs;
    return QuerySystemSettings(env.serviceUrl, options);
}

// Adds the time from its construction to its end to the form's network wait.
class NetworkWait {
public:
    explicit NetworkWait(HWND form) : form_(form) { QueryPerformanceCounter(&start_); }
    ~NetworkWait() {
        LARGE_INTEGER end, frequency;
        QueryPerformanceCounter(&end);
        QueryPerformanceFrequency(&frequency);
        const auto us = static_cast<UINT_PTR>((end.QuadPart - start_.QuadPart) * 1000000 / frequency.QuadPart);
        const auto before = reinterpret_cast<UINT_PTR>(GetPropW(form_, kNetworkWaitProp));
        if (form_) SetPropW(form_, kNetworkWaitProp, reinterpret_cast<HANDLE>(before + us));
    }
    NetworkWait(const NetworkWait&) = delete;
    NetworkWait& operator=(const NetworkWait&) = delete;

private:
    HWND form_;
    LARGE_INTEGER start_{};
};

bool CheckNetwork(HWND form, const std::string& probeUrl) {
    NetworkWait wait(form);
    return NetworkReachable(probeUrl);
}

std::vector<std::string> QuerySettings(HWND form, const Environment& env) {
    NetworkWait wait(form);
    return QuerySettings(env);
}

}  // namespace

bool RunStartupGates(HWND form) {
    using namespace gate_texts;
    Environment& env = CurrentEnvironment();

    if (!TakeInstanceLock(env.instanceName)) {
        env.messageBox(form, kAlreadyRunning, kAlreadyRunningTitle, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    if (!CheckNetwork(form, env.probeUrl)) {
        env.messageBox(form, kNoNetwork, kNotice, MB_OK | MB_ICONINFORMATION);
        return false;
    }

    const std::vector<std::string> record = QuerySettings(form, env);
    if (record.size() <= kVersionField) {
        // The service is down or said nothing useful: the user can still work.
        env.messageBox(form, kVersionUnchecked, kNotice, MB_OK | MB_ICONINFORMATION);
        return true;
    }
    if (record[kVersionField] == kProgramVersion) return true;

    env.messageBox(form, kOutdated, kOutdatedTitle, MB_OK);
    // Asked afresh: the address is whatever the service gives now.
    const std::vector<std::string> again = QuerySettings(form, env);
    if (again.size() > kDownloadField && !again[kDownloadField].empty()) {
        env.openAddress(again[kDownloadField]);
    } else {
        env.messageBox(form, kNoDownloadAddress, kNotice, MB_OK | MB_ICONINFORMATION);
    }
    return false;
}

}  // namespace mojian
