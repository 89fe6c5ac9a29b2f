#include "app/gates/GateEnvironment.h"

#include <shellapi.h>

#include "base/Utf.h"
#include "service/Endpoints.h"
#include "service/PostForm.h"

namespace mojian {

namespace {

std::wstring Wide(std::string_view utf8) {
    const std::u16string w = Utf8ToUtf16(utf8);
    return std::wstring(w.begin(), w.end());
}

}  // namespace

GateEnvironment DefaultGateEnvironment() {
    GateEnvironment env;
    env.serviceUrl = ServiceUrl();
    env.probeUrl = ProbeUrl();
    env.instanceName = L"Mojian";
    env.timeoutMs = kPostFormTimeoutMs;
    env.messageBox = [](HWND owner, const std::wstring& text, const std::wstring& title, UINT style) {
        return MessageBoxW(owner, text.c_str(), title.c_str(), style);
    };
    // The wide form, so an address with Chinese in it reaches the browser
    // whole whatever the system's code page; show command 0 as always.
    env.openAddress = [](const std::string& address) {
        ShellExecuteW(nullptr, L"open", Wide(address).c_str(), nullptr, nullptr, SW_HIDE);
    };
    return env;
}

GateEnvironment& CurrentGateEnvironment() {
    static GateEnvironment env = DefaultGateEnvironment();
    return env;
}

}  // namespace mojian
