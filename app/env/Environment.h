// What the program reaches outside itself: the maker's service and the
// network probe, the name of the instance lock, message boxes, the question
// before unsaved work is replaced, the file and folder dialogs, and the shell. Gathered
// in one place so tests can point them at their own server, answer boxes
// and dialogs without modal loops, and catch addresses without a browser.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace mojian {

// The program's own version, as the service must report it exactly.
inline constexpr std::string_view kProgramVersion = "1.0";

// The three answers a Windows program offers before unsaved work goes.
enum class SaveAnswer { Save, DontSave, Cancel };

struct FileQuestion {
    bool save = false;          // a save dialog, else an open dialog
    std::wstring title;
    std::string suggestedPath;  // UTF-8; where the dialog starts and the name it offers
    // The kinds of file offered, as pairs of a name and its pattern ending in
    // an empty name ("网页 (*.html)\0*.html\0\0"); empty: project files.
    std::wstring filter;
    std::wstring extension;     // given to a name typed without one; empty: "mojian"
};

struct Environment {
    std::string serviceUrl;     // the settings query's address
    std::string probeUrl;       // the connectivity probe's address
    std::wstring instanceName;  // the per-user lock is named after it
    unsigned timeoutMs = 0;     // limit of one service exchange

    // A modal message box; returns the button pressed.
    std::function<int(HWND owner, const std::wstring& text, const std::wstring& title, UINT style)> messageBox;
    // 保存 / 不保存 / 取消 about the work in `text` (what will be lost).
    std::function<SaveAnswer(HWND owner, const std::wstring& text, const std::wstring& title)> askToSave;
    // The file chosen (a UTF-8 path), or nothing when the user cancelled.
    std::function<std::optional<std::string>(HWND owner, const FileQuestion& question)> chooseFile;
    // A folder chosen (UTF-8), starting at `start`; nothing when cancelled.
    std::function<std::optional<std::string>(HWND owner, const std::wstring& title, const std::string& start)>
        chooseFolder;
    // Opens an address (UTF-8) in the user's browser.
    std::function<void(const std::string& address)> openAddress;
    // Shows a folder (UTF-8) in the file manager.
    std::function<void(const std::string& folder)> openFolder;
};

// The environment in force; starts with the built-in endpoints, the real
// boxes and dialogs and the shell. Tests change it and put it back.
Environment& CurrentEnvironment();
Environment DefaultEnvironment();

}  // namespace mojian
