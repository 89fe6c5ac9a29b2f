// Form1's 填写内容 and 查找和替换: the dialogs get the page's blocks and
// matches, and their result comes back as one page operation, which the
// window reflects like any other (list, files, title, undo).
#include <optional>
#include <string>

#include "app/Form1State_win.h"
#include "app/Form1Texts.h"
#include "app/WinText_win.h"
#include "app/dialogs/FillDialog_win.h"
#include "app/dialogs/FindReplaceDialog_win.h"
#include "fill/PageFill.h"

namespace mojian {

using namespace form1;

namespace {

void Tell(HWND form, const std::string& text) {
    Ask(form, Wide(text), form1_texts::kNoticeTitle, MB_OK | MB_ICONEXCLAMATION);
}


// The text the code editor would show for the selected line, if any.
std::optional<std::string> SelectedLineText(const Form1State& s) {
    if (s.doc.page.Selected() < 0) return std::nullopt;
    const auto block = fill::BlockOfLine(s.doc.page, static_cast<std::size_t>(s.doc.page.Selected()));
    if (!block) return std::nullopt;
    return std::string(block->html);
}

// Runs a change of the page that may rewrite the selected line's block.
// The code editor writes through to the selected line, so when it showed
// that line it takes the new text: typing on must not bring the old back.
template <typename Change>
void ChangeUnderEditor(HWND form, Form1State& s, Change&& change) {
    const HWND editor = s.view.Control(kEditor);
    const std::optional<std::string> before = SelectedLineText(s);
    const bool editorShowsLine = before && Shown(editor) && GetText(editor) == *before;
    change();
    if (!editorShowsLine) return;
    const std::optional<std::string> after = SelectedLineText(s);
    if (after && *after != *before) SetEditorTextQuietly(form, s, *after);
}

}  // namespace

bool HasSelectedLine(const Form1State& s) { return s.doc.page.Selected() >= 0; }

bool HasLines(const Form1State& s) { return !s.doc.page.Lines().empty(); }

void Fill_Click(HWND form, Form1State& s) {
    if (s.doc.page.Selected() < 0) return;
    const auto line = static_cast<std::size_t>(s.doc.page.Selected());
    const std::optional<fill::LineBlock> block = fill::BlockOfLine(s.doc.page, line);
    if (!block) {
        fill::PageChange nothing;
        nothing.error = fill::FillError::NothingToFill;
        Tell(form, fill::RefusalMessage(nothing));
        return;
    }
    // A built-in line becomes a custom source: say at once when none is left,
    // before the seller types anything.
    if (block->where == fill::LineBlock::Where::BuiltIn && s.doc.page.FreeCustomNumbers() < 1) {
        fill::PageChange refused;
        refused.error = fill::FillError::NoFreeNumber;
        refused.numbersNeeded = 1;
        refused.numbersFree = s.doc.page.FreeCustomNumbers();
        Tell(form, fill::RefusalMessage(refused));
        return;
    }
    FillDialogInput input;
    input.entry = s.doc.page.Lines()[line];
    input.line = line;
    input.html = std::string(block->html);
    input.width = s.doc.page.Width();
    const std::optional<std::string> filled = ShowFillDialog(form, input);
    if (!filled) return;

    fill::PageChange change;
    ChangeUnderEditor(form, s, [&] {
        Form1Change(form, [&](Composition& page) {
            change = fill::ApplyFilledBlock(page, line, *filled);
            return change.effects;
        });
    });
    if (change.Refused()) return Tell(form, fill::RefusalMessage(change));
    if (change.effects.Applied()) List1_Click(form, s);  // the main preview shows the filled line
}

void FindReplace_Click(HWND form, Form1State& s) {
    FindReplaceHost host;
    host.find = [&s](const fill::FindQuery& query) { return fill::FindInPage(s.doc.page, query); };
    host.replaceAll = [form, &s](const fill::FindQuery& query, const std::string& replacement) {
        fill::PageChange change;
        ChangeUnderEditor(form, s, [&] {
            Form1Change(form, [&](Composition& page) {
                change = fill::ReplaceInPage(page, query, replacement);
                return change.effects;
            });
        });
        return change;
    };
    host.showLine = [form, &s](std::size_t line) { SelectLine(form, s, static_cast<int>(line)); };
    ShowFindReplaceDialog(form, host, s.view.findReplace);
}

}  // namespace mojian
