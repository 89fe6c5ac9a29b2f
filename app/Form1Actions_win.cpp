// Form1's handlers: the block choice, the composition list, the copy and the
// whole-page preview, the code editor and the export. Each change of the
// page is one operation on the window's Composition; Reflect makes the
// controls and the working folder follow it.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/Clipboard_win.h"
#include "app/Form1State_win.h"
#include "app/Form1Texts.h"
#include "app/MakerSite_win.h"
#include "app/PagePreview_win.h"
#include "app/WinText_win.h"
#include "app/env/Environment.h"
#include "app/gates/ContactButtons.h"
#include "base/File.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/ExportFiles.h"

namespace mojian {

using namespace form1;
using namespace form1_texts;

namespace {

void Show(HWND hwnd, bool visible) { ShowWindow(hwnd, visible ? SW_SHOWNA : SW_HIDE); }

// A kind click relabels and shows or hides twenty style buttons; most keep
// their caption and visibility, and each real change repaints the button.
void SetCaption(HWND hwnd, std::string_view text) {
    if (GetText(hwnd) != text) SetText(hwnd, text);
}

void ShowIfChanged(HWND hwnd, bool visible) {
    if (((GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0) != visible) Show(hwnd, visible);
}

HWND KindOption(const Form1State& s, int k) { return s.view.Control(kKindOptions + k); }
HWND StyleOption(const Form1State& s, int i) { return s.view.Control(kStyleOptions + i); }

// The first checked of the `count` buttons from `base`, or -1. Each look is a
// message to a skinned control, so a click asks each group once instead of
// every kind-style pair.
int CheckedOf(const Form1State& s, int base, int count) {
    for (int i = 0; i < count; ++i)
        if (IsChecked(s.view.Control(base + i))) return i;
    return -1;
}

void SelectStyle(const Form1State& s, int index) {
    for (int i = 0; i < kMaxStyles; ++i)
        SendMessageW(StyleOption(s, i), BM_SETCHECK, i == index ? BST_CHECKED : BST_UNCHECKED, 0);
}

// The choice the option buttons show: what the add button adds.
void TakeChoice(Form1State& s) {
    if (IsChecked(s.view.Control(kCustomOption))) {
        s.doc.page.SetChoice(Choice::Custom());
        return;
    }
    const int kind = CheckedOf(s, kKindOptions, kKindCount);
    const int style = kind >= 0 ? CheckedOf(s, kStyleOptions, kStyleCounts[static_cast<std::size_t>(kind)]) : -1;
    if (style >= 0) s.doc.page.SetChoice(Choice::BuiltIn(kind, style));
}

void ShowEditor(const Form1State& s) {
    SetWindowPos(s.view.Control(kEditor), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

// Sets the custom-source kind, running its choice only when it was not set.
void SelectCustomKind(HWND form, Form1State& s) {
    const HWND custom = s.view.Control(kCustomOption);
    if (IsChecked(custom)) return;
    for (int k = 0; k < kKindCount; ++k) SendMessageW(KindOption(s, k), BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageW(s.view.Control(kMineOption), BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageW(custom, BM_SETCHECK, BST_CHECKED, 0);
    Option4_Click(form, s);
}

// The page HTML put on the clipboard; nothing when the list is empty or the
// clipboard could not be set (the user has been told either way).
std::optional<std::string> Cop(HWND form, Form1State& s) {
    if (s.doc.page.Lines().empty()) {
        EmptyClipboardText(form);
        Ask(form, kCopyEmptyList, kNoticeTitle, MB_OK | MB_ICONINFORMATION);
        return std::nullopt;
    }
    // The page buffer (Text4): a string that lives only while the copy runs.
    std::string page = s.doc.page.PageHtml();
    ClearPreview(form);
    const bool copied = PutClipboardText(form, page);  // empties the clipboard, then sets it
    std::optional<std::string> result;
    if (copied) result = std::move(page);
    page.clear();
    // The clipboard is closed again before any message box shows.
    if (copied) Ask(form, kCopyDone + CopyCheckNote(s), kNoticeTitle, MB_OK);
    else Ask(form, kCopyFailed, kNoticeTitle, MB_OK | MB_ICONEXCLAMATION);
    ShowPagePreview(form);
    return result;
}

void Command7_MouseDown(HWND form, Form1State& s) {
    if (!s.doc.page.Lines().empty()) ClearPreview(form);
}

void Command7_MouseUp(HWND form, Form1State& s) {
    if (!s.doc.page.Lines().empty()) ShowPagePreview(form);
}

}  // namespace

bool IsChecked(HWND button) { return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

int Ask(HWND form, std::wstring_view text, std::wstring_view title, UINT flags) {
    return CurrentEnvironment().messageBox(form, std::wstring(text), std::wstring(title), flags);
}

// ---- Block choice -----------------------------------------------------------

void Option1_Click(HWND form, Form1State& s, int kind) {
    // The captions the kind ends with: numbered styles, or the theme names.
    const auto caption = [kind](int i) {
        return kind == 0 ? std::string(kThemeNames[static_cast<std::size_t>(i)]) : StyleCaption(i);
    };
    for (int i = 0; i < kMaxStyles; ++i) SetCaption(StyleOption(s, i), caption(i));
    ShowIfChanged(s.view.Control(kEditor), false);
    ShowIfChanged(s.view.Control(kMineList), false);
    const bool wasSelected = IsChecked(StyleOption(s, 0));
    SelectStyle(s, 0);
    if (!wasSelected) Option2_Click(form, s);  // as the click on style 1 would
    s.doc.page.SetChoice(Choice::BuiltIn(kind, 0));
    s.view.Preview().SetBodyInnerHtml(s.doc.page.GetBlock(kind, 0));
    SetText(s.view.Control(kChoiceFrame), kKindCaptions[static_cast<std::size_t>(kind)]);
    const int styles = kStyleCounts[static_cast<std::size_t>(kind)];
    for (int i = 0; i < kMaxStyles; ++i) ShowIfChanged(StyleOption(s, i), i < styles);
}

// Depends only on which kind and style are selected, not on the button.
void Option2_Click(HWND, Form1State& s) {
    const int kind = CheckedOf(s, kKindOptions, kKindCount);
    if (kind < 0) return;
    const int style = CheckedOf(s, kStyleOptions, kStyleCounts[static_cast<std::size_t>(kind)]);
    if (style < 0) return;
    s.doc.page.SetChoice(Choice::BuiltIn(kind, style));
    s.view.Preview().SetBodyInnerHtml(s.doc.page.GetBlock(kind, style));
}

void HideStyles(Form1State& s) {
    // Hidden one by one with their frame drawing, each would repaint it:
    // half the time, under Wine.
    const HWND frame = s.view.Control(kChoiceFrame);
    SendMessageW(frame, WM_SETREDRAW, FALSE, 0);
    for (int i = 0; i < kMaxStyles; ++i) ShowIfChanged(StyleOption(s, i), false);
    SendMessageW(frame, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(frame, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void Option4_Click(HWND, Form1State& s) {
    s.doc.page.SetChoice(Choice::Custom());
    HideStyles(s);
    ShowIfChanged(s.view.Control(kMineList), false);
    ShowEditor(s);
    SetText(s.view.Control(kChoiceFrame), std::string(kCustomEntryPrefix) + GetText(s.view.Control(kLatestCustom)));
    WriteFramedPreview(s.view.Preview(), GetText(s.view.Control(kEditor)));
}

void ShowChoice(HWND form, Form1State& s) {
    const Choice choice = s.doc.page.CurrentChoice();
    if (choice.custom) {
        SelectCustomKind(form, s);
        return;
    }
    SendMessageW(s.view.Control(kCustomOption), BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageW(s.view.Control(kMineOption), BM_SETCHECK, BST_UNCHECKED, 0);
    for (int k = 0; k < kKindCount; ++k)
        SendMessageW(KindOption(s, k), BM_SETCHECK, k == choice.kind ? BST_CHECKED : BST_UNCHECKED, 0);
    Option1_Click(form, s, choice.kind);
    if (choice.style != 0) {
        SelectStyle(s, choice.style);
        Option2_Click(form, s);
    }
}

// ---- The composition list ---------------------------------------------------

void List1_SelChange(HWND form, Form1State& s) {
    // What the user chose is the one thing the list box tells the page.
    s.doc.page.Select(static_cast<int>(SendMessageW(s.view.Control(kList), LB_GETCURSEL, 0, 0)));
    List1_Click(form, s);
}

void List1_Click(HWND, Form1State& s) {
    const ResolvedEntry entry = ResolveEntry(s.doc.page.SelectedName());
    if (entry.IsBuiltIn()) {
        const std::string& block = s.doc.page.GetBlock(entry.kind, entry.style);
        s.view.Preview().SetBodyInnerHtml(block);
        SetText(s.view.Control(kEntrySource), block);
    } else if (entry.IsCustom()) {
        const auto text = s.doc.page.ReadCustomSource(entry.custom);
        if (!text) return;  // a source without text leaves the preview as it was
        SetText(s.view.Control(kEntrySource), *text);
        WriteFramedPreview(s.view.Preview(), *text);
    } else if (entry.IsMine()) {
        // The seller's block as the page has it, byte for byte, like a built-in one.
        const std::string* html = s.doc.page.MineHtml(MineNameOf(s.doc.page.SelectedName()));
        if (!html) return;
        s.view.Preview().SetBodyInnerHtml(*html);
        SetText(s.view.Control(kEntrySource), *html);
    }
}

void Command1_Click(HWND form, Form1State& s) {
    // The seller's blocks are no choice the page keeps: the one chosen in the list is added.
    if (MineKindChosen(s)) {
        AddChosenMine(form, s);
        return;
    }
    TakeChoice(s);
    const PageEffects e = s.doc.page.AddChosen(GetText(s.view.Control(kEditor)));
    if (e.outcome == Outcome::PageFull) {
        Ask(form, kPageFull, kNoticeTitle, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (!Reflect(form, s, e)) Ask(form, kSourceNotSaved, kNoticeTitle, MB_OK | MB_ICONEXCLAMATION);
}

void Command2_Click(HWND form, Form1State& s) { Reflect(form, s, s.doc.page.DeleteSelected()); }

void Command3_Click(HWND form, Form1State& s) {
    if (s.doc.page.Lines().empty()) return;
    if (Ask(form, kClearQuestion, kNoticeTitle, MB_OKCANCEL) == IDOK) Reflect(form, s, s.doc.page.Clear());
}

void Command5_Click(HWND form, Form1State& s) {
    const PageEffects e = s.doc.page.MoveDown();
    Reflect(form, s, e);
    if (e.Applied()) List1_Click(form, s);  // the selection changed: preview the moved entry
}

void Command6_Click(HWND form, Form1State& s) {
    const PageEffects e = s.doc.page.MoveUp();
    Reflect(form, s, e);
    if (e.Applied()) List1_Click(form, s);
}

// ---- Copy, page preview, code editing and export ------------------------------

void Command4_Click(HWND form, Form1State& s) { Cop(form, s); }

// Command7 acts on any mouse button's press and release, never on a click:
// the keyboard cannot trigger it.
LRESULT CALLBACK Command7Proc(HWND button, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR refData) {
    const auto form = reinterpret_cast<HWND>(refData);
    Form1State* s = StateOf(form);
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
        if (s) Command7_MouseDown(form, *s);
        // The button captures only for the left button; the release of the
        // others must reach us wherever it happens too.
        if (msg != WM_LBUTTONDOWN && msg != WM_LBUTTONDBLCLK) SetCapture(button);
        break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        const LRESULT result = DefSubclassProc(button, msg, wp, lp);
        if (msg != WM_LBUTTONUP && GetCapture() == button) ReleaseCapture();
        if (s) Command7_MouseUp(form, *s);
        return result;
    }
    case WM_NCDESTROY:
        RemoveWindowSubclass(button, &Command7Proc, 0);
        break;
    }
    return DefSubclassProc(button, msg, wp, lp);
}

// A multi-line edit box sends no EN_CHANGE for WM_SETTEXT, so the change
// handler runs here, as it would for a change the user makes.
void SetEditorTextQuietly(HWND form, Form1State& s, std::string_view text) {
    const bool was = s.view.suppressWriteThrough;
    s.view.suppressWriteThrough = true;
    SetText(s.view.Control(kEditor), text);
    Text1_Change(form, s);
    s.view.suppressWriteThrough = was;
    EndTyping(s);
}

void Command13_Click(HWND form, Form1State& s) {
    if (s.doc.page.Lines().empty()) {
        Ask(form, kEditEmptyList, kAddModuleTitle, MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (s.doc.page.Selected() < 0) {
        if (Ask(form, kEditAllQuestion, kNoticeTitle, MB_YESNO | MB_ICONINFORMATION) != IDYES) return;
        // The page the copy produced, not whatever the clipboard holds by now.
        const std::optional<std::string> page = Cop(form, s);
        if (!page) return;  // not copied: the editor keeps the user's text
        SelectCustomKind(form, s);
        ShowEditor(s);
        SetEditorTextQuietly(form, s, "");
        SetEditorTextQuietly(form, s, *page);
        return;
    }
    // The entry's text as the page holds it: a custom source as typed, so
    // characters GBK lacks and lone line feeds come back unchanged.
    const ResolvedEntry entry = ResolveEntry(s.doc.page.SelectedName());
    std::string html;
    if (entry.IsBuiltIn()) html = s.doc.page.GetBlock(entry.kind, entry.style);
    else if (const std::string* text = entry.IsCustom() ? s.doc.page.CustomText(entry.custom)
                                       : entry.IsMine() ? s.doc.page.MineHtml(MineNameOf(s.doc.page.SelectedName()))
                                                        : nullptr)
        html = *text;
    SelectCustomKind(form, s);
    ShowEditor(s);
    // Loading is no edit: the entry's block stays exactly as it is.
    SetEditorTextQuietly(form, s, html);
}

void Text1_Change(HWND form, Form1State& s) {
    if (!s.view.preview) return;  // the editor's starting text, set while the window is built
    const std::string text = GetText(s.view.Control(kEditor));
    if (!s.view.suppressWriteThrough) {
        // Keystrokes in quick succession into one entry make one undo step.
        const bool continues = s.doc.typing.Keystroke(GetTickCount64());
        // A failed write is not reported on every keystroke; the page holds
        // the text and the next change writes the file again.
        Reflect(form, s, s.doc.page.WriteThroughSelected(text, continues));
    }
    WriteFramedPreview(s.view.Preview(), text);
}

void Command9_Click(HWND form, Form1State& s) {
    if (s.doc.page.Lines().empty()) {
        Ask(form, kExportEmptyList, kAddModuleTitle, MB_OK | MB_ICONINFORMATION);
        return;
    }
    const std::string before = GetText(s.view.Control(kEditor));
    SetEditorTextQuietly(form, s, "");
    const std::optional<std::string> page = Cop(form, s);
    if (!page) {
        SetEditorTextQuietly(form, s, before);  // nothing exported: give the user's text back
        return;
    }
    SetEditorTextQuietly(form, s, *page);
    const std::string folder = WorkingFolder();
    int counter = s.doc.page.ExportCounter();
    const bool exported =
        (FolderExists(folder) || CreateFolder(folder)) && WriteNextExportFile(folder, counter, *page).has_value();
    s.doc.page.SetExportCounter(counter);
    if (exported) Ask(form, kExportDone, kExportTitle, MB_OK | MB_ICONINFORMATION);
    else Ask(form, kExportFailed, kExportTitle, MB_OK | MB_ICONEXCLAMATION);
}

void ContactButton_Click(HWND form, Form1State&) { OpenContactAddress(form); }

void Label5_Click(HWND) { OpenMakerSite(); }

}  // namespace mojian
