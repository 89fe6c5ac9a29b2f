#include "app/dialogs/AboutDialog_win.h"

#include <string>

#include "app/CommandIds.h"
#include "app/MakerSite_win.h"
#include "app/WinText_win.h"
#include "app/dialogs/DialogPlacement_win.h"
#include "app/env/Environment.h"
#include "compose/EditorText.h"

namespace mojian {

namespace {

constexpr COLORREF kLinkColour = RGB(0xFF, 0, 0);  // as the window's own link

INT_PTR CALLBACK AboutProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG:
        SetText(GetDlgItem(dialog, IDC_ABOUT_VERSION), "版本 " + std::string(kProgramVersion));
        SetText(GetDlgItem(dialog, IDC_ABOUT_SITE), kMakerSiteAddress);
        CentreOnOwner(dialog);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lp) == GetDlgItem(dialog, IDC_ABOUT_SITE)) {
            const auto dc = reinterpret_cast<HDC>(wp);
            SetTextColor(dc, kLinkColour);
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        }
        return FALSE;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wp) == GetDlgItem(dialog, IDC_ABOUT_SITE)) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDC_ABOUT_SITE && HIWORD(wp) == STN_CLICKED) {
            OpenMakerSite();
            return TRUE;
        }
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wp));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

}  // namespace

void ShowAboutDialog(HWND owner) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE));
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUT), owner, &AboutProc, 0);
}

}  // namespace mojian
