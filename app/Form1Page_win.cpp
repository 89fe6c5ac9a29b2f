// How Form1 reflects its page: the list box, the selection, the custom-source
// files in the working folder, Label1 and the choice follow every
// operation's effects; the title and the status bar follow the
// page and its file; undo and redo; and the page handed to the recovery
// writer at most once a second.
#include <optional>
#include <set>
#include <string>

#include "app/Form1State_win.h"
#include "app/Form1Texts.h"
#include "app/WinText_win.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"

namespace mojian {

using namespace form1;

namespace {

std::uint64_t NowMs() { return GetTickCount64(); }


// Lists of more lines than this are drawn once at the end, not line by line.
constexpr std::size_t kQuietListEdits = 64;

class ListRedraw {
public:
    ListRedraw(HWND list, bool quiet) : list_(list), quiet_(quiet) {
        if (quiet_) SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    }
    ~ListRedraw() {
        if (!quiet_) return;
        SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list_, nullptr, TRUE);
    }
    ListRedraw(const ListRedraw&) = delete;
    ListRedraw& operator=(const ListRedraw&) = delete;

private:
    HWND list_;
    bool quiet_;
};

void ReloadList(HWND list, const std::vector<std::string>& lines) {
    const ListRedraw redraw(list, true);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    std::size_t bytes = 0;
    for (const std::string& line : lines) bytes += (line.size() + 1) * sizeof(wchar_t);
    SendMessageW(list, LB_INITSTORAGE, lines.size(), static_cast<LPARAM>(bytes));
    for (const std::string& line : lines)
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(line).c_str()));
}

void EditList(HWND list, const std::vector<LineEdit>& edits) {
    const ListRedraw redraw(list, edits.size() > kQuietListEdits);
    PlayLineEdits(
        edits,
        [list](int index, const std::string& text) {
            SendMessageW(list, LB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(Wide(text).c_str()));
        },
        [list](int index) { SendMessageW(list, LB_DELETESTRING, static_cast<WPARAM>(index), 0); });
}

// The page's lines and selection into the list box: the one place that
// edits it. A selection that moved is scrolled into view; one that only
// stays on its line after others came or went leaves the list where it is.
void ShowLines(Form1State& s, const PageEffects& e) {
    const HWND list = s.view.Control(kList);
    const bool linesChanged = e.allLines || !e.lines.empty();
    if (e.allLines) ReloadList(list, s.doc.page.Lines());
    else if (linesChanged) EditList(list, e.lines);
    if (e.selectionChanged) {
        ShowSelection(s);
    } else if (linesChanged) {
        const LRESULT top = SendMessageW(list, LB_GETTOPINDEX, 0, 0);
        ShowSelection(s);
        SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(top), 0);
    }
}

// A change of this many custom sources or fewer (an add, a keystroke) is in
// the working folder before the action ends; more (an open, undoing one)
// follow on the writer's thread while the user goes on, and so does a small
// change while such a one is still on its way (it would only wait for it).
constexpr std::size_t kFilesWrittenAtOnce = 4;

// The custom sources' files as the page holds them: written, or removed when
// the source has no text. False when a file written at once could not be.
bool WriteSourceFiles(const Form1State& s, const std::set<int>& numbers) {
    std::vector<FileChange> changes;
    changes.reserve(numbers.size());
    for (const int n : numbers) changes.push_back({CustomSourcePath(CustomEntryName(n)), s.doc.page.CustomSourceFileBytes(n)});
    if (changes.size() <= kFilesWrittenAtOnce && s.view.workingFolder->Idle())
        return s.view.workingFolder->Write(std::move(changes));
    s.view.workingFolder->Queue(std::move(changes));
    return true;
}

// The text the page holds for an entry, or nothing for one without.
std::optional<std::string> EntryText(const Composition& page, std::string_view name) {
    const ResolvedEntry entry = ResolveEntry(name);
    if (entry.IsBuiltIn()) return page.GetBlock(entry.kind, entry.style);
    const std::string* text = entry.IsCustom() ? page.CustomText(entry.custom)
                              : entry.IsMine() ? page.MineHtml(MineNameOf(name))
                                               : nullptr;
    return text ? std::optional<std::string>(*text) : std::nullopt;
}

void ScheduleRecovery(HWND form, Form1State& s) {
    if (!s.view.recoveryWriter) return;
    s.doc.recovery.throttle.Changed(NowMs());
    RecoveryDue(form, s);
}

void StepHistory(HWND form, Form1State& s, bool back) {
    // The editor follows an undone or redone change of the entry it shows.
    const HWND editor = s.view.Control(kEditor);
    const std::string entry(s.doc.page.SelectedName());
    const auto shown = EntryText(s.doc.page, entry);
    const bool editorShowsEntry = Shown(editor) && shown && GetText(editor) == *shown;
    const int line = s.doc.page.Selected();

    const PageEffects e = back ? s.doc.page.Undo() : s.doc.page.Redo();
    if (!e.Applied()) return;
    // The page of another file now: it takes that file's name again.
    if (e.opened) s.doc.file.OpenStepped(back);
    Reflect(form, s, e);
    // The same line with another entry (a filled-in line undone) counts too:
    // the editor writes through to the selected line, whatever it names.
    if (editorShowsEntry && (s.doc.page.SelectedName() == entry || (line >= 0 && s.doc.page.Selected() == line))) {
        const auto now = EntryText(s.doc.page, s.doc.page.SelectedName());
        if (now && *now != *shown) SetEditorTextQuietly(form, s, *now);
    }
}

// The preview lays the page out in the description's column; the check
// follows the page as after any change.
void ShowWidth(Form1State& s) {
    if (s.view.preview) s.view.preview->SetColumnWidth(WidthPixels(s.doc.page.Width()));
}

}  // namespace

void ShowSelection(Form1State& s) {
    SendMessageW(s.view.Control(kList), LB_SETCURSEL, static_cast<WPARAM>(s.doc.page.Selected()), 0);
}

void SelectLine(HWND form, Form1State& s, int line) {
    EndTyping(s);
    s.doc.page.Select(line);
    ShowSelection(s);
    List1_Click(form, s);
}

bool Reflect(HWND form, Form1State& s, const PageEffects& e) {
    if (!e.Applied()) return true;
    ShowLines(s, e);
    const bool written = e.sources.empty() || WriteSourceFiles(s, e.sources);
    if (e.counterChanged) {
        const std::string number = std::to_string(s.doc.page.CustomCaptionNumber());
        SetText(s.view.Control(kLatestCustom), number);
        if (IsChecked(s.view.Control(kCustomOption))) SetText(s.view.Control(kChoiceFrame), std::string(kCustomEntryPrefix) + number);
    }
    if (e.choiceChanged) ShowChoice(form, s);
    if (e.widthChanged) ShowWidth(s);
    ShowPageState(form, s);
    ScheduleRecovery(form, s);
    FollowPageWithCheck(s);
    return written;
}

void ShowPageState(HWND form, Form1State& s) {
    std::wstring title = form1_texts::kProductName;
    if (!s.doc.file.Path().empty()) {
        const std::wstring path = Wide(s.doc.file.Path());
        title += L" - " + path.substr(path.find_last_of(L"\\/") + 1);
    }
    if (s.doc.page.IsModified()) title += L" *";
    if (title != s.view.title) {
        SetWindowTextW(form, title.c_str());
        s.view.title = std::move(title);
    }
    UpdateStatusBar(s);
}

void Undo_Click(HWND form, Form1State& s) { StepHistory(form, s, true); }

void Redo_Click(HWND form, Form1State& s) { StepHistory(form, s, false); }

void EndTyping(Form1State& s) { s.doc.typing.End(); }

// ---- Recovery ----------------------------------------------------------------

void StartRecovery(HWND form, Form1State& s) {
    if (!s.options.recovery || s.doc.user.folder.empty()) return;
    s.doc.recovery.session = project::StartSession(s.doc.user.folder);
    if (!s.doc.recovery.session.folderReady) return;
    s.view.recoveryWriter = std::make_unique<project::RecoveryWriter>(s.doc.user.folder,
                                                  [form] { PostMessageW(form, kMsgRecoveryFailed, 0, 0); });
}

// Hands the page to the writer when its time has come, else waits for it.
void RecoveryDue(HWND form, Form1State& s) {
    if (!s.view.recoveryWriter) return;
    KillTimer(form, kRecoveryTimer);
    const std::uint64_t now = NowMs();
    const auto nowMs = static_cast<std::int64_t>(now);
    if (s.doc.recovery.throttle.Due(nowMs)) {
        s.doc.recovery.throttle.Taken(nowMs);
        s.view.recoveryWriter->Write(s.doc.page.Snapshot());
    } else if (const auto due = s.doc.recovery.throttle.DueAt()) {
        SetTimer(form, kRecoveryTimer, static_cast<UINT>(*due - nowMs), nullptr);
    }
}

void RecoveryFailed(HWND form, Form1State& s) { ScheduleRecovery(form, s); }

void StopRecovery(Form1State& s) {
    if (!s.view.recoveryWriter) return;
    // The newest page goes to disk before the writer stops.
    if (s.doc.recovery.throttle.DueAt()) s.view.recoveryWriter->Write(s.doc.page.Snapshot());
    s.view.recoveryWriter.reset();
}

void EndRecovery(Form1State& s) {
    if (!s.view.recoveryWriter) return;
    StopRecovery(s);
    project::EndSession(s.doc.user.folder);
}

// ---- For the window's features ----------------------------------------------------

const Composition& Form1Page(HWND form) {
    static const Composition none;
    const Form1State* s = StateOf(form);
    return s ? s->doc.page : none;
}

PageEffects Form1Change(HWND form, const std::function<PageEffects(Composition&)>& operation) {
    Form1State* s = StateOf(form);
    if (!s) return {};
    EndTyping(*s);
    const PageEffects e = operation(s->doc.page);
    if (e.opened && e.Applied()) s->doc.file.Opened({});  // another page, without a file
    Reflect(form, *s, e);
    return e;
}

void Form1SetStatusNote(HWND form, std::string_view text) {
    if (Form1State* s = StateOf(form)) {
        s->view.statusNote = std::string(text);
        UpdateStatusBar(*s);
    }
}

}  // namespace mojian
