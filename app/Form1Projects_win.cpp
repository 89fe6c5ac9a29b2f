// Form1's projects: a new page, opening and saving .mojian files, the
// question before unsaved work is replaced, the recent files, restoring the
// last session's page, and files that arrive by the command line, by
// dropping them on the window or from another start of the program.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/Form1State_win.h"
#include "app/Form1Texts.h"
#include "app/WinText_win.h"
#include "app/env/Environment.h"
#include "app/gates/Instance.h"
#include "base/File.h"
#include "project/ProjectFile.h"

namespace mojian {

using project::LoadLastSession;
using project::LoadProjectFile;
using project::LoadRecentFiles;
using project::ProjectErrorKind;
using project::ProjectErrorMessage;
using project::ProjectErrorText;
using project::ProjectRead;
using project::SaveProjectFile;
using project::SaveRecentFiles;

using namespace form1_texts;

namespace {

void UseRecent(HWND form, Form1State& s, const std::string& path) {
    s.doc.user.recent.Use(path);
    SaveRecentFiles(s.doc.user.folder, s.doc.user.recent);
    ShowRecentFiles(form, s);
}

bool SaveTo(HWND form, Form1State& s, const std::string& path) {
    if (const auto error = SaveProjectFile(path, s.doc.page.Snapshot())) {
        Ask(form, kCannotSaveBefore + FileNameOf(path) + kFileNameAfter + Wide(ProjectErrorMessage(*error)),
            kSaveTitle, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    s.doc.page.MarkSaved();
    s.doc.file.SavedAs(path);
    UseRecent(form, s, path);
    ShowPageState(form, s);
    return true;
}

bool SaveAs(HWND form, Form1State& s) {
    FileQuestion question;
    question.save = true;
    question.title = kSaveAsTitle;
    question.suggestedPath = s.doc.file.Path().empty() ? std::string(kSuggestedFileName) : s.doc.file.Path();
    const auto path = CurrentEnvironment().chooseFile(form, question);
    return path && SaveTo(form, s, *path);
}

// Saves under the page's name, or asks for one. False when not saved.
bool Save(HWND form, Form1State& s) { return s.doc.file.Path().empty() ? SaveAs(form, s) : SaveTo(form, s, s.doc.file.Path()); }

void CannotOpen(HWND form, const std::string& path, const std::wstring& why) {
    Ask(form, kCannotOpenBefore + FileNameOf(path) + kFileNameAfter + why, kOpenTitle, MB_OK | MB_ICONEXCLAMATION);
}

bool HasWork(const PageData& page) { return !page.lines.empty() || !page.editedBlocks.empty(); }

void BringToFront(HWND form) {
    if (IsIconic(form)) ShowWindow(form, SW_RESTORE);
    SetForegroundWindow(form);
}

}  // namespace

bool ReadyToReplacePage(HWND form, Form1State& s) {
    if (!s.doc.page.IsModified()) return true;
    const std::wstring question = s.doc.file.Path().empty()
                                      ? std::wstring(kSaveNewPageQuestion)
                                      : kSaveChangesBefore + FileNameOf(s.doc.file.Path()) + kSaveChangesAfter;
    switch (CurrentEnvironment().askToSave(form, question, kProductName)) {
    case SaveAnswer::Save: return Save(form, s);
    case SaveAnswer::DontSave: return true;
    case SaveAnswer::Cancel: break;
    }
    return false;
}

bool ReplacePage(HWND form, Form1State& s, const PageData& page, const std::string& path, bool saved) {
    EndTyping(s);
    const PageEffects e = s.doc.page.Open(page);
    if (e.outcome == Outcome::PageFull) {
        Ask(form, Wide(ProjectErrorText(ProjectErrorKind::TooManyLines)), kOpenTitle, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    // The same page again records no step: it only takes the new name.
    if (e.Applied()) s.doc.file.Opened(path);
    else s.doc.file.Renamed(path);
    if (saved) s.doc.page.MarkSaved();
    Reflect(form, s, e);
    ShowPageState(form, s);
    return true;
}

bool OpenProjectFile(HWND form, Form1State& s, const std::string& path) {
    // A file that is no page is refused before anything is asked or changed.
    ProjectRead read = LoadProjectFile(path);
    if (!read.Ok()) {
        CannotOpen(form, path, Wide(ProjectErrorMessage(read.error)));
        return false;
    }
    const bool modified = s.doc.page.IsModified();
    if (!ReadyToReplacePage(form, s)) return false;
    if (modified && !s.doc.page.IsModified()) {
        // Saved just now, perhaps to this very file: open what it holds now.
        read = LoadProjectFile(path);
        if (!read.Ok()) {
            CannotOpen(form, path, Wide(ProjectErrorMessage(read.error)));
            return false;
        }
    }
    if (!ReplacePage(form, s, *read.page, path, true)) return false;
    UseRecent(form, s, path);
    OfferPageBlocks(form, *read.page);
    return true;
}

void New_Click(HWND form, Form1State& s) {
    if (ReadyToReplacePage(form, s)) ReplacePage(form, s, PageData{}, {}, true);
}

void Open_Click(HWND form, Form1State& s) {
    FileQuestion question;
    question.title = kOpenTitle;
    if (!s.doc.file.Path().empty()) question.suggestedPath = s.doc.file.Path();
    else if (!s.doc.user.recent.Paths().empty()) question.suggestedPath = s.doc.user.recent.Paths().front();
    if (const auto path = CurrentEnvironment().chooseFile(form, question)) OpenProjectFile(form, s, *path);
}

void Save_Click(HWND form, Form1State& s) { Save(form, s); }

void SaveAs_Click(HWND form, Form1State& s) { SaveAs(form, s); }

void OpenRecent(HWND form, Form1State& s, std::size_t index) {
    if (index >= s.doc.user.recent.Paths().size()) return;
    const std::string path = s.doc.user.recent.Paths()[index];
    if (!FileSize(path)) {
        // Moved or deleted since: say so, and offer it no more.
        CannotOpen(form, path, Wide(ProjectErrorText(ProjectErrorKind::CannotRead)) + kRecentGone);
        s.doc.user.recent.Forget(path);
        SaveRecentFiles(s.doc.user.folder, s.doc.user.recent);
        ShowRecentFiles(form, s);
        return;
    }
    OpenProjectFile(form, s, path);
}

void Restore_Click(HWND form, Form1State& s) {
    const ProjectRead read = s.doc.user.folder.empty() ? ProjectRead{} : LoadLastSession(s.doc.user.folder);
    if (!read.Ok()) {
        if (s.doc.user.folder.empty() || read.error.kind == ProjectErrorKind::CannotRead)
            Ask(form, kNothingToRestore, kRestoreTitle, MB_OK | MB_ICONINFORMATION);
        else
            Ask(form, Wide(ProjectErrorMessage(read.error)), kRestoreTitle, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (ReadyToReplacePage(form, s)) ReplacePage(form, s, *read.page, {}, false);
}

void AfterShown(HWND form, Form1State& s) {
    if (s.doc.recovery.session.previousEndedAbnormally && s.doc.recovery.session.previousLeftAPage) {
        const ProjectRead read = LoadLastSession(s.doc.user.folder);
        if (read.Ok() && HasWork(*read.page) &&
            Ask(form, kRestoreOffer, kNoticeTitle, MB_YESNO | MB_ICONQUESTION) == IDYES)
            ReplacePage(form, s, *read.page, {}, false);
    }
    if (!s.options.fileToOpen.empty()) OpenProjectFile(form, s, s.options.fileToOpen);
    OpenHandedOver(form, s);
}

void OnDropFiles(HWND form, Form1State& s, HDROP drop) {
    std::wstring path;
    if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
        path.resize(DragQueryFileW(drop, 0, nullptr, 0) + 1u);
        path.resize(DragQueryFileW(drop, 0, path.data(), static_cast<UINT>(path.size())));
    }
    DragFinish(drop);
    // One page at a time: the first file dropped is the one opened.
    if (!path.empty()) OpenProjectFile(form, s, Narrow(path));
}

bool OnCopyData(HWND form, Form1State& s, const COPYDATASTRUCT& data) {
    auto path = HandedOverFile(data);
    if (!path) return false;
    s.doc.user.handedOver.push_back(std::move(*path));
    // Opened from the message loop, so the other start is not kept waiting
    // while this window asks its questions.
    if (s.view.shown) PostMessageW(form, kMsgOpenHandedOver, 0, 0);
    return true;
}

void OpenHandedOver(HWND form, Form1State& s) {
    if (s.doc.user.handedOver.empty()) return;
    BringToFront(form);
    const std::vector<std::string> files = std::move(s.doc.user.handedOver);
    s.doc.user.handedOver.clear();
    for (const std::string& path : files) OpenProjectFile(form, s, path);
}

void ReadRecentFiles(HWND form, Form1State& s) {
    s.doc.user.recent = LoadRecentFiles(s.doc.user.folder);
    ShowRecentFiles(form, s);
}

// ---- For the window's features ----------------------------------------------------

bool Form1ReadyToReplacePage(HWND form) {
    Form1State* s = StateOf(form);
    return s && ReadyToReplacePage(form, *s);
}

bool Form1ReplacePage(HWND form, const PageData& page) {
    Form1State* s = StateOf(form);
    return s && ReplacePage(form, *s, page, {}, false);
}

}  // namespace mojian
