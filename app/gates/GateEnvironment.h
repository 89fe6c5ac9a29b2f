// What the start-up gates and the contact buttons reach outside the program:
// the service, the probe address, the instance lock, message boxes and the
// shell. Gathered in one place so tests can point them at their own server
// and answer the boxes and catch the addresses without a real browser.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

namespace mojian {

// The program's own version, as the service must report it exactly.
inline constexpr std::string_view kProgramVersion = "1.0";

struct GateEnvironment {
    std::string serviceUrl;   // the settings query's address
    std::string probeUrl;     // the connectivity probe's address
    std::wstring instanceName;  // the per-user lock is named after it
    unsigned timeoutMs;       // limit of one service exchange

    // A modal message box; returns the button pressed.
    std::function<int(HWND owner, const std::wstring& text, const std::wstring& title, UINT style)> messageBox;
    // Opens an address (UTF-8) in the user's browser.
    std::function<void(const std::string& address)> openAddress;
};

// The environment in force; starts with the built-in endpoints, the real
// message box and the shell. Tests change it and put it back.
GateEnvironment& CurrentGateEnvironment();
GateEnvironment DefaultGateEnvironment();

}  // namespace mojian
