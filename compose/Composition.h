// The page being composed, as data: its lines and selection, the
// custom-source texts, the built-in blocks changed through the code editor,
// the counters and the current choice. Every handler that changes the page
// is one operation here; each returns what changed (compose/PageChanges.h)
// and each is one step of the undo history (compose/UndoHistory.h).
//
// A window shows the model (one owner per window, on the GUI thread):
//   - its list of lines: play `PageEffects::lines` in order (or show every
//     line afresh when `allLines`), then show Selected() as selected;
//   - the working folder: for every number in `sources`, write
//     CustomSourceFileBytes(n) to 自定义源码-n.txt, or delete that file when
//     it returns nothing;
//   - Label1 and the "自定义源码-N" caption when `counterChanged`
//     (CustomCaptionNumber()), the option buttons when `choiceChanged`;
//   - the preview's column and the check when `widthChanged` (Width());
//   - the lines of the seller's blocks named in `mine` (MineHtml()).
// The model is the truth: PageHtml() is what a copy puts on the clipboard,
// still whole if a file could not be written; GetBlock is the block text
// every preview and the copy take.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "compose/PageChanges.h"
#include "compose/PageData.h"
#include "compose/PageLines.h"
#include "compose/UndoHistory.h"

namespace mojian {

class Composition {
public:
    Composition();  // an empty page, as at start-up

    // ---- The handlers' operations (each one undo step) ----

    // "添加模块": the built-in choice's entry name, or a new custom source
    // holding `editorText`. The new line is not selected.
    PageEffects AddChosen(std::string_view editorText);
    PageEffects AddBuiltIn(int kind, int style);
    // Takes the next number (counting on after deletes, 101 and beyond too:
    // such a line is kept and written but resolves to nothing).
    PageEffects AddCustom(std::string_view text);
    // A line of the seller's own block `name` (我的模块), taking `html` as
    // the page's copy of it: every line naming the block shows that copy,
    // and the project file carries it.
    PageEffects AddMine(std::string_view name, std::string_view html);
    // "删除选中": removes the selected line; nothing is selected after. The
    // custom source's text stays, as its file does.
    PageEffects DeleteSelected();
    // "清空内容" once confirmed: removes every line. Texts and counters stay.
    PageEffects Clear();
    // "下移一行" / "上移一行": the selected line swaps with its neighbour and
    // stays selected.
    PageEffects MoveDown();
    PageEffects MoveUp();

    // The editor's write-through (Text1_Change): to the selected line's
    // built-in block or custom source 1 to 100; nothing for no selection or
    // a line that resolves to nothing. `burstContinues`: the caller's word
    // that this change continues a burst of typing into the same entry, so
    // it joins the previous step instead of making one of its own.
    PageEffects WriteThroughSelected(std::string_view text, bool burstContinues);
    PageEffects WriteCustomSource(int number, std::string_view text, bool burstContinues = false);
    // The block's text for the rest of the run (until another page is
    // opened): every line naming it, the previews and the copy take it.
    PageEffects SetBlock(int kind, int style, std::string_view text, bool burstContinues = false);
    // The page's copy of the seller's block `name`, as SetBlock for a built-in one.
    PageEffects SetMine(std::string_view name, std::string_view html, bool burstContinues = false);

    // Replaces the whole page, as opening a file after a restart would: the
    // counters start from 0, every built-in block is back to its text, the
    // custom-source files 1 to 100 are cleaned up; then the given page comes
    // in with its custom sources 1 to 100 renumbered from 1 in order of first
    // use (the lines follow; other lines stay as they are) and its edited
    // blocks applied. Nothing is selected. Refused with PageFull beyond
    // kMaxPageLines. "新建排版" is Open({}).
    PageEffects Open(const PageData& page);

    // Replaces every line at once and adds new custom sources, as an import
    // does: `sources` are texts by number, each number after CustomCounter(),
    // which moves on to the highest; `mine` are the page's copies of the
    // seller's blocks the lines name. Unlike Open the run goes on: blocks
    // edited in it, the other custom sources, the choice and the export
    // counter stay. Nothing is selected after. One undo step. Refused with
    // PageFull beyond kMaxPageLines, and with Nothing when a number is not new.
    PageEffects ReplaceLines(const std::vector<std::string>& lines, const std::map<int, std::string>& sources,
                             const std::map<std::string, std::string>& mine = {});

    // The description's width (750 淘宝, 790 天猫); Nothing when it is that already.
    PageEffects SetWidth(DescriptionWidth width);

    // ---- General edits, for features that change many things at once ----
    // Inside BeginCompound/EndCompound these join one undo step.
    PageEffects InsertLine(int index, std::string_view name);
    PageEffects RemoveLine(int index);
    PageEffects ReplaceLine(int index, std::string_view name);
    // A custom source with the next number and no line yet.
    PageEffects NewCustomSource(std::string_view text);
    // Line `index` names a new custom source holding `text` instead (one
    // step): how a line gets its own copy of a block. Refused with
    // NoFreeNumber, changing nothing, when the next number is above 100.
    PageEffects ReplaceLineWithNewSource(int index, std::string_view text);

    // Operations between these two are one undo step; EndCompound returns
    // everything they did. Nestable; an empty compound records nothing.
    void BeginCompound();
    PageEffects EndCompound();

    // ---- Undo and redo ----
    bool CanUndo() const { return history_.CanUndo(); }
    bool CanRedo() const { return history_.CanRedo(); }
    // Restores the lines, selection, texts, counters and choice exactly as
    // they were before (after) the step.
    PageEffects Undo();
    PageEffects Redo();
    std::size_t UndoSteps() const { return history_.Steps(); }

    // ---- Not changes of the page: no undo step ----
    // A click on a line (-1: none). Out of range selects nothing.
    void Select(int index);
    void SetChoice(const Choice& choice);
    int ExportCounter() const { return exportCounter_; }
    void SetExportCounter(int counter) { exportCounter_ = counter; }

    // Saved or not: false right after MarkSaved until the page changes, and
    // again when undo or redo lead back to the saved page.
    bool IsModified() const { return history_.IsModified(); }
    void MarkSaved() { history_.MarkSaved(); }

    // ---- The page ----
    const std::vector<std::string>& Lines() const { return lines_; }
    int Selected() const { return selected_; }
    // The selected line's entry name, empty when none is selected.
    std::string_view SelectedName() const;
    const Choice& CurrentChoice() const { return choice_; }
    DescriptionWidth Width() const { return width_; }
    int CustomCounter() const { return counter_; }
    // How many new custom sources can still be made that resolve (the next
    // numbers up to 100); opening a page renumbers from 1 and frees the rest.
    int FreeCustomNumbers() const;
    // What Label1 shows: the latest custom source's number, 1 before any.
    int CustomCaptionNumber() const { return counter_ == 0 ? 1 : counter_; }

    // The custom source's text as typed; nothing when it has none.
    const std::string* CustomText(int number) const;
    // The bytes its file holds (GBK, characters GBK lacks as references,
    // CR LF after); nothing when it has no text.
    std::optional<std::string> CustomSourceFileBytes(int number) const;
    // The text as the single-entry preview shows it: as its file reads back,
    // every line (ended by CR or CR LF; a lone LF stays in the text)
    // followed by CR LF. Nothing when it has no text.
    std::optional<std::string> ReadCustomSource(int number) const;
    // Numbers that have a text, ascending.
    std::vector<int> CustomNumbers() const;

    // The block's current text: as last set, else the built-in text.
    const std::string& GetBlock(int kind, int style) const;
    const std::map<BlockId, std::string>& EditedBlocks() const { return blocks_; }
    // The page's copy of the seller's block `name`; nothing when it has none.
    const std::string* MineHtml(std::string_view name) const;

    // What one line contributes to the page: a built-in block's current
    // text, custom source 1 to 100 as its file reads back (text, CR LF;
    // GBK's missing characters as references), or the page's copy of a
    // seller's block byte for byte; nothing otherwise, also for a custom
    // source that has no text.
    std::optional<std::string_view> LineHtml(std::size_t index) const;
    // Every line's HTML joined with nothing between: the copied page.
    std::string PageHtml() const;

    // What a project file saves: the lines, the texts of the custom sources
    // 1 to 100 they name, the seller's blocks they name, the edited blocks,
    // the choice, the width.
    PageData Snapshot() const;

private:
    struct Source {
        std::string text;  // as typed
        std::string html;  // as the page takes it from the file
    };
    // The effects of one operation running, and the selection it began with;
    // one per operation running inside another.
    struct Level {
        PageEffects effects;
        int selectionBefore = -1;
    };

    void Begin();
    PageEffects End();
    void Do(Change change);
    void Apply(const Change& change, bool forward, PageEffects& effects);
    PageEffects ApplyStep(const Step& step, bool forward);
    PageEffects Move(const std::optional<LineMove>& plan);
    PageEffects EditText(const BurstTarget& target, std::string_view text, bool burstContinues);
    void SetSourceText(int number, std::optional<std::string> text);
    void SetBlockText(const BlockId& id, std::optional<std::string> text);
    void SetMineText(const std::string& name, std::optional<std::string> text);

    std::vector<std::string> lines_;
    int selected_ = -1;
    std::map<int, Source> sources_;
    std::map<BlockId, std::string> blocks_;  // only texts that differ from the built-in ones
    std::map<std::string, std::string, std::less<>> mine_;  // the seller's blocks by name
    int counter_ = 0;
    int exportCounter_ = 0;
    Choice choice_ = kStartChoice;
    DescriptionWidth width_ = kDefaultDescriptionWidth;

    UndoHistory history_;
    std::vector<Level> levels_;  // empty unless an operation runs
};

}  // namespace mojian
