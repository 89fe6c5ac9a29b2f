// How Form1 reflects its page: the list box, the selection, the custom-source
// files in the working folder, the template library, Label1 and the choice
// follow every operation's effects; the title and the status bar follow the
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
#include "compose/CompositionList.h"

namespace mojian {

using namespace form1;

namespace {

std::uint64_t NowMs() { return GetTickCount64(); }

bool Shown(HWND hwnd) { return (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0; }

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

void EditList(HWND list, const std::vector<ListEdit>& edits) {
    const ListRedraw redraw(list, edits.size() > kQuietListEdits);
    for (const ListEdit& edit : edits) {
        const auto index = static_cast<WPARAM>(edit.index);
        if (edit.kind == ListEdit::Kind::Insert)
            SendMessageW(list, LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(Wide(edit.text).c_str()));
        else
            SendMessageW(list, LB_DELETESTRING, index, 0);
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
    for (const int n : numbers) changes.push_back({CustomSourcePath(CustomEntryName(n)), s.page.CustomSourceFileBytes(n)});
    if (changes.size() <= kFilesWrittenAtOnce && s.workingFolder->Idle())
        return s.workingFolder->Write(std::move(changes));
    s.workingFolder->Queue(std::move(changes));
    return true;
}

// The text the page holds for an entry, or nothing for one without.
std::optional<std::string> EntryText(const Composition& page, const ResolvedEntry& entry) {
    if (entry.IsBuiltIn()) return page.BlockText(entry.kind, entry.style);
    if (entry.IsCustom()) {
        if (const std::string* text = page.CustomText(entry.custom)) return *text;
    }
    return std::nullopt;
}

void ScheduleRecovery(HWND form, Form1State& s) {
    if (!s.recovery) return;
    s.throttle.Changed(NowMs());
    RecoveryDue(form, s);
}

void StepHistory(HWND form, Form1State& s, bool back) {
    // The editor follows an undone or redone change of the entry it shows.
    const HWND editor = s.Control(kEditor);
    const ResolvedEntry entry = ResolveEntry(s.page.SelectedName());
    const auto shown = EntryText(s.page, entry);
    const bool editorShowsEntry = Shown(editor) && shown && GetText(editor) == *shown;
    const int line = s.page.Selected();

    const PageEffects e = back ? s.page.Undo() : s.page.Redo();
    if (!e.Applied()) return;
    if (e.opened) {
        // The page of another file now: it takes that file's name again.
        if (back && s.opensDone > 0) s.filePath = s.opens[--s.opensDone].before;
        if (!back && s.opensDone < s.opens.size()) s.filePath = s.opens[s.opensDone++].after;
    }
    Reflect(form, s, e);
    // The same line with another entry (a filled-in line undone) counts too:
    // the editor writes through to the selected line, whatever it names.
    if (editorShowsEntry && (ResolveEntry(s.page.SelectedName()) == entry || (line >= 0 && s.page.Selected() == line))) {
        const auto now = EntryText(s.page, ResolveEntry(s.page.SelectedName()));
        if (now && *now != *shown) SetEditorTextQuietly(form, s, *now);
    }
}

// The preview lays the page out in the description's column; the check
// follows the page as after any change.
void ShowWidth(Form1State& s) {
    if (s.preview) s.preview->SetColumnWidth(WidthPixels(s.page.Width()));
}

}  // namespace

void TakeSelection(Form1State& s) {
    s.page.Select(static_cast<int>(SendMessageW(s.Control(kList), LB_GETCURSEL, 0, 0)));
}

bool Reflect(HWND form, Form1State& s, const PageEffects& e) {
    if (!e.Applied()) return true;
    const HWND list = s.Control(kList);
    if (e.listReset) ReloadList(list, s.page.Lines());
    else if (!e.list.empty()) EditList(list, e.list);
    const int selected = s.page.Selected();
    if (static_cast<int>(SendMessageW(list, LB_GETCURSEL, 0, 0)) != selected)
        SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(selected), 0);

    const bool written = e.sources.empty() || WriteSourceFiles(s, e.sources);
    for (const BlockId& id : e.blocks) SetBlock(id.kind, id.style, s.page.BlockText(id.kind, id.style));
    if (e.counterChanged) {
        const std::string number = std::to_string(s.page.CustomCaptionNumber());
        SetText(s.Control(kLatestCustom), number);
        if (IsChecked(s.Control(kCustomOption))) SetText(s.Control(kChoiceFrame), std::string(kCustomEntryPrefix) + number);
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
    if (!s.filePath.empty()) {
        const std::wstring path = Wide(s.filePath);
        title += L" - " + path.substr(path.find_last_of(L"\\/") + 1);
    }
    if (s.page.IsModified()) title += L" *";
    if (title != s.title) {
        SetWindowTextW(form, title.c_str());
        s.title = std::move(title);
    }
    UpdateStatusBar(s);
}

void Undo_Click(HWND form, Form1State& s) { StepHistory(form, s, true); }

void Redo_Click(HWND form, Form1State& s) { StepHistory(form, s, false); }

void EndTyping(Form1State& s) { s.typing = false; }

void RecordOpen(Form1State& s, std::string path) {
    s.opens.resize(s.opensDone);
    s.opens.push_back({s.filePath, path});
    ++s.opensDone;
    s.filePath = std::move(path);
}

// ---- Recovery ----------------------------------------------------------------

void StartRecovery(HWND form, Form1State& s) {
    if (!s.options.recovery || s.userFolder.empty()) return;
    s.session = project::StartSession(s.userFolder);
    if (!s.session.folderReady) return;
    s.recovery = std::make_unique<project::RecoveryWriter>(s.userFolder,
                                                  [form] { PostMessageW(form, kMsgRecoveryFailed, 0, 0); });
}

// Hands the page to the writer when its time has come, else waits for it.
void RecoveryDue(HWND form, Form1State& s) {
    if (!s.recovery) return;
    KillTimer(form, kRecoveryTimer);
    const std::uint64_t now = NowMs();
    const auto nowMs = static_cast<std::int64_t>(now);
    if (s.throttle.Due(nowMs)) {
        s.throttle.Taken(nowMs);
        s.recovery->Write(s.page.Snapshot());
    } else if (const auto due = s.throttle.DueAt()) {
        SetTimer(form, kRecoveryTimer, static_cast<UINT>(*due - nowMs), nullptr);
    }
}

void RecoveryFailed(HWND form, Form1State& s) { ScheduleRecovery(form, s); }

void StopRecovery(Form1State& s) {
    if (!s.recovery) return;
    // The newest page goes to disk before the writer stops.
    if (s.throttle.DueAt()) s.recovery->Write(s.page.Snapshot());
    s.recovery.reset();
}

void EndRecovery(Form1State& s) {
    if (!s.recovery) return;
    StopRecovery(s);
    project::EndSession(s.userFolder);
}

// ---- For the window's features ----------------------------------------------------

const Composition& Form1Page(HWND form) {
    static const Composition none;
    const Form1State* s = StateOf(form);
    return s ? s->page : none;
}

PageEffects Form1Change(HWND form, const std::function<PageEffects(Composition&)>& operation) {
    Form1State* s = StateOf(form);
    if (!s) return {};
    EndTyping(*s);
    TakeSelection(*s);
    const PageEffects e = operation(s->page);
    if (e.opened && e.Applied()) RecordOpen(*s, {});  // another page, without a file
    Reflect(form, *s, e);
    return e;
}

void Form1SetStatusNote(HWND form, std::string_view text) {
    if (Form1State* s = StateOf(form)) {
        s->statusNote = std::string(text);
        UpdateStatusBar(*s);
    }
}

}  // namespace mojian
