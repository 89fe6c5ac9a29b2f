#include "app/MakerSite_win.h"

#include <windows.h>

#include <string>

#include "app/WinText_win.h"
#include "base/Scoped_win.h"
#include "compose/EditorText.h"

namespace mojian {

void OpenMakerSite() {
    std::wstring commandLine = L"explorer " + Wide(kMakerSiteAddress);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWMINIMIZED;
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        // Nothing to wait for: the handles go at once.
        KernelHandle thread(pi.hThread), process(pi.hProcess);
    }
}

}  // namespace mojian
