// The program: Form1 and its message loop. `Mojian.exe FILE` opens a
// project file (a double click on a .mojian file starts it so).
#include <windows.h>
#include <shellapi.h>

#include "app/Form1_win.h"
#include "app/WinText_win.h"
#include "mobile/MakeMobile_win.h"

namespace {

// The first argument, the file to open; empty when there is none.
std::string FileFromCommandLine() {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args) return {};
    std::string file = count > 1 ? mojian::Narrow(args[1]) : std::string();
    LocalFree(args);
    return file;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    mojian::Form1Options options;
    options.fileToOpen = FileFromCommandLine();
    options.makeMobile = &mojian::mobile::MakeMobileDescription;
    const HWND form = mojian::CreateForm1(instance, options);
    if (!form) return 1;
    ShowWindow(form, show);
    UpdateWindow(form);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (mojian::Form1TranslateMessage(form, msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
