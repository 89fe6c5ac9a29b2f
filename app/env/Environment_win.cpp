#include "app/env/Environment.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <vector>

#include "base/Utf_win.h"
#include "service/Endpoints.h"
#include "service/PostForm.h"

namespace mojian {

namespace {

constexpr wchar_t kSaveCaption[] = L"保存(&S)";
constexpr wchar_t kDontSaveCaption[] = L"不保存(&N)";
constexpr wchar_t kCancelCaption[] = L"取消";

// The task dialog's own buttons, where the system has it (common controls 6,
// from the program's manifest); else a message box whose 是/否/取消 say the same.
SaveAnswer AskToSave(HWND owner, const std::wstring& text, const std::wstring& title) {
    using TaskDialogIndirectFn = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);
    const auto taskDialog = reinterpret_cast<TaskDialogIndirectFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"comctl32.dll"), "TaskDialogIndirect")));
    if (taskDialog) {
        const TASKDIALOG_BUTTON buttons[] = {{IDYES, kSaveCaption}, {IDNO, kDontSaveCaption}, {IDCANCEL, kCancelCaption}};
        TASKDIALOGCONFIG config{};
        config.cbSize = sizeof config;
        config.hwndParent = owner;
        config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
        config.pszWindowTitle = title.c_str();
        config.pszMainInstruction = text.c_str();
        config.cButtons = ARRAYSIZE(buttons);
        config.pButtons = buttons;
        config.nDefaultButton = IDYES;
        int pressed = 0;
        if (SUCCEEDED(taskDialog(&config, &pressed, nullptr, nullptr))) {
            return pressed == IDYES ? SaveAnswer::Save : pressed == IDNO ? SaveAnswer::DontSave : SaveAnswer::Cancel;
        }
    }
    const std::wstring asked = text + L"\r\n\r\n“是”保存，“否”不保存，“取消”回到排版。";
    switch (MessageBoxW(owner, asked.c_str(), title.c_str(), MB_YESNOCANCEL | MB_ICONWARNING)) {
    case IDYES: return SaveAnswer::Save;
    case IDNO: return SaveAnswer::DontSave;
    default: return SaveAnswer::Cancel;
    }
}

constexpr wchar_t kProjectFilter[] = L"墨笺排版 (*.mojian)\0*.mojian\0所有文件 (*.*)\0*.*\0";

std::optional<std::string> ChooseFile(HWND owner, const FileQuestion& question) {
    std::vector<wchar_t> path(32768, L'\0');
    std::wstring initialFolder;
    if (!question.suggestedPath.empty()) {
        const std::wstring suggested = Wide(question.suggestedPath);
        const auto slash = suggested.find_last_of(L"\\/");
        initialFolder = slash == std::wstring::npos ? std::wstring() : suggested.substr(0, slash);
        const std::wstring name = slash == std::wstring::npos ? suggested : suggested.substr(slash + 1);
        if (question.save && name.size() < path.size()) std::copy(name.begin(), name.end(), path.begin());
    }
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = question.filter.empty() ? kProjectFilter : question.filter.c_str();
    ofn.lpstrFile = path.data();
    ofn.nMaxFile = static_cast<DWORD>(path.size());
    ofn.lpstrInitialDir = initialFolder.empty() ? nullptr : initialFolder.c_str();
    ofn.lpstrTitle = question.title.empty() ? nullptr : question.title.c_str();
    ofn.lpstrDefExt = question.extension.empty() ? L"mojian" : question.extension.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (question.save) ofn.Flags |= OFN_OVERWRITEPROMPT;
    else ofn.Flags |= OFN_FILEMUSTEXIST;
    const BOOL chosen = question.save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!chosen) return std::nullopt;
    return Narrow(path.data());
}

// The common folder picker. COM is joined for the dialog's time when the
// thread has not joined it yet.
std::optional<std::string> ChooseFolder(HWND owner, const std::wstring& title, const std::string& start) {
    const HRESULT joined = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    std::optional<std::string> chosen;
    IFileOpenDialog* dialog = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog)))) {
        FILEOPENDIALOGOPTIONS options = 0;
        dialog->GetOptions(&options);
        dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
        if (!title.empty()) dialog->SetTitle(title.c_str());
        // Where the folder offered would be: its parent, which exists.
        const auto isFolder = [](const std::wstring& f) {
            const DWORD a = GetFileAttributesW(f.c_str());
            return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
        };
        std::wstring folder = Wide(start);
        while (!folder.empty() && !isFolder(folder)) {
            const auto slash = folder.find_last_of(L"\\/");
            folder = slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
        }
        IShellItem* at = nullptr;
        if (!folder.empty() && SUCCEEDED(SHCreateItemFromParsingName(folder.c_str(), nullptr, IID_PPV_ARGS(&at)))) {
            dialog->SetFolder(at);
            at->Release();
        }
        IShellItem* item = nullptr;
        if (SUCCEEDED(dialog->Show(owner)) && SUCCEEDED(dialog->GetResult(&item))) {
            PWSTR path = nullptr;
            if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
                chosen = Narrow(path);
                CoTaskMemFree(path);
            }
            item->Release();
        }
        dialog->Release();
    }
    if (SUCCEEDED(joined)) CoUninitialize();
    return chosen;
}

}  // namespace

Environment DefaultEnvironment() {
    Environment env;
    env.serviceUrl = ServiceUrl();
    env.probeUrl = ProbeUrl();
    env.instanceName = L"Mojian";
    env.timeoutMs = kPostFormTimeoutMs;
    env.messageBox = [](HWND owner, const std::wstring& text, const std::wstring& title, UINT style) {
        return MessageBoxW(owner, text.c_str(), title.c_str(), style);
    };
    env.askToSave = &AskToSave;
    env.chooseFile = &ChooseFile;
    // The wide form, so an address with Chinese in it reaches the browser
    // whole whatever the system's code page; show command 0 as always.
    env.openAddress = [](const std::string& address) {
        ShellExecuteW(nullptr, L"open", Wide(address).c_str(), nullptr, nullptr, SW_HIDE);
    };
    env.chooseFolder = &ChooseFolder;
    env.openFolder = [](const std::string& folder) {
        ShellExecuteW(nullptr, L"open", Wide(folder).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    };
    return env;
}

Environment& CurrentEnvironment() {
    static Environment env = DefaultEnvironment();
    return env;
}

}  // namespace mojian
