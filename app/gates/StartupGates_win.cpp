#include "app/gates/StartupGates.h"

#include <wininet.h>

#include <memory>
#include <vector>

#include "app/env/Environment.h"
#include "app/gates/GateTexts.h"
#include "app/gates/Instance.h"
#include "base/Scoped_win.h"
#include "service/SettingsExchange.h"
#include "service/SettingsQuery.h"

namespace mojian {

namespace {

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

bool RunStartupGates(HWND form, const std::string& fileToOpen) {
    using namespace gate_texts;
    Environment& env = CurrentEnvironment();

    if (!TakeInstanceLock(env.instanceName)) {
        // A file to open goes to the copy that runs, which opens it.
        if (!fileToOpen.empty() && HandFileToRunningInstance(env.instanceName, fileToOpen)) return false;
        env.messageBox(form, kAlreadyRunning, kAlreadyRunningTitle, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    PublishInstanceWindow(env.instanceName, form);
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
