#include "app/dialogs/NameDialog_win.h"

#include "app/CommandIds.h"
#include "app/WinText_win.h"
#include "app/dialogs/DialogPlacement_win.h"
#include "app/env/Environment.h"

namespace mojian {

// Named, so that its helpers never meet another file's in a unity build.
namespace name_dialog {
namespace {

struct NameDialog {
    const NameQuestion* question = nullptr;
    std::optional<std::string> name;
};

void Finish(HWND dialog, NameDialog& d) {
    const std::string typed = GetText(GetDlgItem(dialog, IDC_MINE_NAME));
    const std::string fault = d.question->fault ? d.question->fault(typed) : std::string();
    if (!fault.empty()) {
        // Said where the seller looks, and again in a box: the typing stays.
        SetText(GetDlgItem(dialog, IDC_MINE_NAME_NOTE), fault);
        CurrentEnvironment().messageBox(dialog, Wide(fault), Wide(d.question->title), MB_OK | MB_ICONEXCLAMATION);
        const HWND box = GetDlgItem(dialog, IDC_MINE_NAME);
        SetFocus(box);
        SendMessageW(box, EM_SETSEL, 0, -1);
        return;
    }
    d.name = typed;
    EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK NameProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    auto* d = reinterpret_cast<NameDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        d = reinterpret_cast<NameDialog*>(lp);
        SetWindowLongPtrW(dialog, DWLP_USER, lp);
        SetText(dialog, d->question->title);
        SetText(GetDlgItem(dialog, IDC_MINE_NAME_PROMPT), d->question->prompt);
        const HWND box = GetDlgItem(dialog, IDC_MINE_NAME);
        SetText(box, d->question->initial);
        CentreOnOwner(dialog);
        SetFocus(box);
        SendMessageW(box, EM_SETSEL, 0, -1);
        return FALSE;  // the focus is set
    }
    if (!d || msg != WM_COMMAND) return FALSE;
    switch (LOWORD(wp)) {
    case IDOK:
        Finish(dialog, *d);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

}  // namespace
}  // namespace name_dialog

std::optional<std::string> AskName(HWND owner, const NameQuestion& question) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE));
    name_dialog::NameDialog d;
    d.question = &question;
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MINE_NAME), owner, &name_dialog::NameProc, reinterpret_cast<LPARAM>(&d));
    return std::move(d.name);
}

}  // namespace mojian
