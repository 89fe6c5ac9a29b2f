// The page being composed, as data: the composition list's lines and
// selection, the custom-source texts, the built-in blocks changed through the
// code editor, the counters and the current choice. Every handler that
// changes the page is one operation here; each returns what the window and
// the working folder must do to reflect it, and each is one step of the undo
// history.
//
// The window reflects the model (one owner per window, on the GUI thread):
//   - the list box: apply `PageEffects::list` in order (or reload every line
//     when `listReset`), then select Selected();
//   - the working folder: for every number in `sources`, write
//     CustomSourceFileBytes(n) to 自定义源码-n.txt, or delete that file when
//     it returns nothing;
//   - the template library: for every block in `blocks`,
//     SetBlock(kind, style, BlockText(kind, style));
//   - Label1 and the "自定义源码-N" caption when `counterChanged`
//     (CustomCaptionNumber()), the option buttons when `choiceChanged`;
//   - the preview's column and the check when `widthChanged` (Width()).
// The model is the truth: PageHtml() is what a copy puts on the clipboard,
// equal byte for byte to assembling the working folder's files once the
// window has reflected every change, and still whole if a file could not be
// written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "compose/CompositionList.h"
#include "compose/PageData.h"

namespace mojian {

// One edit of the list box, in the list box's own terms.
struct ListEdit {
    enum class Kind { Insert, Remove };
    Kind kind;
    int index;
    std::string text;  // Insert: the line's text
    friend bool operator==(const ListEdit&, const ListEdit&) = default;
};

enum class Outcome {
    Nothing,   // the precondition failed (no selection, first line...): nothing changed
    Applied,   // the page changed
    ListFull,  // refused: the list holds 32,767 lines already
    NoFreeNumber,  // refused: a new custom source would be numbered above 100 and resolve to nothing
};

struct PageEffects {
    Outcome outcome = Outcome::Nothing;
    // List-box edits in order; empty when `listReset`, which means reload
    // every line from Lines().
    std::vector<ListEdit> list;
    bool listReset = false;
    // The model's selection differs from before the operation.
    bool selectionChanged = false;
    // Custom-source numbers whose file must be rewritten or deleted.
    std::set<int> sources;
    // Built-in blocks whose text changed.
    std::set<BlockId> blocks;
    bool counterChanged = false;
    bool choiceChanged = false;
    // The description's width is another now.
    bool widthChanged = false;
    // The step opened a page, or undid or redid an open: the page the window
    // shows is another document now.
    bool opened = false;
    // The number AddCustom or NewCustomSource took.
    int newSource = 0;

    bool Applied() const { return outcome == Outcome::Applied; }
};

class Composition {
public:
    // At least this many steps can be undone.
    static constexpr std::size_t kMinUndoSteps = 200;
    static constexpr std::size_t kMaxUndoSteps = 500;
    // Steps beyond kMinUndoSteps are dropped, oldest first, once the history
    // holds more text than this.
    static constexpr std::size_t kHistoryBudgetBytes = 128u << 20;

    Composition();  // an empty page, as at start-up

    // ---- The handlers' operations (each one undo step) ----

    // "添加模块": the built-in choice's entry name, or a new custom source
    // holding `editorText`. The new line is not selected.
    PageEffects AddChosen(std::string_view editorText);
    PageEffects AddBuiltIn(int kind, int style);
    // Takes the next number (counting on after deletes, 101 and beyond too:
    // such a line is kept and written but resolves to nothing).
    PageEffects AddCustom(std::string_view text);
    // "删除选中": removes the selected line; nothing is selected after. The
    // custom source's text stays, as its file does.
    PageEffects DeleteSelected();
    // "清空内容" once confirmed: removes every line. Texts and counters stay.
    PageEffects Clear();
    // "下移一行" / "上移一行": the list box's insert-copy, remove, select.
    PageEffects MoveDown();
    PageEffects MoveUp();

    // The editor's write-through (Text1_Change): to the selected line's
    // built-in block or custom source 1 to 100; nothing for no selection or
    // a line that resolves to nothing. `burstContinues`: the caller's word
    // that this change continues a burst of typing into the same entry, so
    // it joins the previous step instead of making one of its own.
    PageEffects WriteThroughSelected(std::string_view text, bool burstContinues);
    PageEffects WriteCustomSource(int number, std::string_view text, bool burstContinues = false);
    PageEffects EditBlock(int kind, int style, std::string_view text, bool burstContinues = false);

    // Replaces the whole page, as opening a file after a restart would: the
    // counters start from 0, every built-in block is back to its text, the
    // custom-source files 1 to 100 are cleaned up; then the given page comes
    // in with its custom sources 1 to 100 renumbered from 1 in order of first
    // use (the lines follow; other lines stay as they are) and its edited
    // blocks applied. Nothing is selected. Refused with ListFull beyond
    // 32,767 lines. "新建排版" is Open({}).
    PageEffects Open(const PageData& page);

    // Replaces every line at once and adds new custom sources, as an import
    // does: `sources` are texts by number, each number after CustomCounter(),
    // which moves on to the highest. Unlike Open the run goes on: blocks
    // edited in it, the other custom sources, the choice and the export
    // counter stay. Nothing is selected after. One undo step. Refused with
    // ListFull beyond 32,767 lines, and with Nothing when a number is not new.
    PageEffects ReplaceLines(const std::vector<std::string>& lines, const std::map<int, std::string>& sources);

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
    bool CanUndo() const { return position_ > 0; }
    bool CanRedo() const { return position_ < history_.size(); }
    // Restores the lines, selection, texts, counters and choice exactly as
    // they were before (after) the step.
    PageEffects Undo();
    PageEffects Redo();
    std::size_t UndoSteps() const { return position_; }

    // ---- Not changes of the page: no undo step ----
    // A click on a line (-1: none). Out of range selects nothing.
    void Select(int index);
    void SetChoice(const Choice& choice);
    int ExportCounter() const { return exportCounter_; }
    void SetExportCounter(int counter) { exportCounter_ = counter; }

    // Saved or not: false right after MarkSaved until the page changes, and
    // again when undo or redo lead back to the saved page.
    bool IsModified() const { return TopSerial() != savedSerial_; }
    void MarkSaved() { savedSerial_ = TopSerial(); }

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
    // Numbers that have a text, ascending.
    std::vector<int> CustomNumbers() const;

    // The block's current text: as edited, else the built-in text.
    const std::string& BlockText(int kind, int style) const;
    const std::map<BlockId, std::string>& EditedBlocks() const { return blocks_; }

    // What one line contributes to the page: a built-in block's current
    // text, or custom source 1 to 100 as its file reads back (text, CR LF;
    // GBK's missing characters as references); nothing otherwise, also for
    // a custom source that has no text.
    std::optional<std::string_view> LineHtml(std::size_t index) const;
    // Every line's HTML joined with nothing between: the copied page.
    std::string PageHtml() const;

    // What a project file saves: the lines, the texts of the custom sources
    // 1 to 100 they name, the edited blocks, the choice, the width.
    PageData Snapshot() const;

private:
    struct Source {
        std::string text;  // as typed
        std::string html;  // as the page takes it from the file
    };
    struct LineChange {
        int index;
        std::optional<std::string> before, after;  // none: no line there
    };
    struct LinesChange {
        std::vector<std::string> before, after;
    };
    // A text's change kept as the part that differs, so that typing into a
    // long text costs the history what was typed. "Not set" is no text for a
    // custom source and the built-in text for a block.
    struct TextEdit {
        bool beforeSet = false, afterSet = false;
        std::size_t prefix = 0, suffix = 0;  // the head and tail both texts share
        std::string removed, inserted;       // what lies between, before and after
    };
    struct SourceChange {
        int number;
        TextEdit edit;
    };
    struct BlockChange {
        BlockId id;
        TextEdit edit;
    };
    struct CounterChange {
        int before, after;
    };
    struct ChoiceChange {
        Choice before, after;
    };
    struct WidthChange {
        DescriptionWidth before, after;
    };
    using Change =
        std::variant<LineChange, LinesChange, SourceChange, BlockChange, CounterChange, ChoiceChange, WidthChange>;

    // What a burst of typing joins: one source's or one block's text.
    struct BurstTarget {
        int number = 0;  // a custom source, or 0
        BlockId block{-1, -1};
        friend bool operator==(const BurstTarget&, const BurstTarget&) = default;
    };

    struct Step {
        std::vector<Change> changes;
        int selectionBefore = -1;
        int selectionAfter = -1;
        bool cleansWorkingFiles = false;  // an open: files 1 to 100 go
        std::optional<BurstTarget> burst;
        std::uint64_t serial = 0;
        std::size_t bytes = 0;
    };

    // The step being built by the running operation or compound; one level
    // per operation running inside it, each with its own effects.
    struct Level {
        PageEffects effects;
        int selectionBefore = -1;
    };
    struct Recording {
        Step step;
        std::vector<Level> levels;
    };

    void Begin();
    PageEffects End();
    void Do(Change change);
    void SetSelection(int index);
    void Apply(const Change& change, bool forward, PageEffects& effects);
    void ApplyStep(const Step& step, bool forward, PageEffects& effects);
    void Record(Step step);
    PageEffects Move(const std::optional<LineMove>& plan);
    PageEffects EditText(const BurstTarget& target, std::string_view text, bool burstContinues);
    void SetSourceText(int number, std::optional<std::string> text);
    void SetBlockText(const BlockId& id, std::optional<std::string> text);
    static TextEdit Diff(const std::optional<std::string>& before, const std::optional<std::string>& after,
                         std::string_view unset);
    static std::optional<std::string> Patch(const TextEdit& edit, bool forward, std::string_view now);
    std::uint64_t TopSerial() const { return position_ > 0 ? history_[position_ - 1].serial : baseSerial_; }
    static std::size_t BytesOf(const Step& step);

    std::vector<std::string> lines_;
    int selected_ = -1;
    std::map<int, Source> sources_;
    std::map<BlockId, std::string> blocks_;  // only texts that differ from the built-in ones
    int counter_ = 0;
    int exportCounter_ = 0;
    Choice choice_ = kStartChoice;
    DescriptionWidth width_ = kDefaultDescriptionWidth;

    std::deque<Step> history_;  // [0, position_) done, [position_, size) undone
    std::size_t position_ = 0;
    std::size_t historyBytes_ = 0;
    std::uint64_t nextSerial_ = 1;
    std::uint64_t baseSerial_ = 0;   // the page below the oldest step kept
    std::uint64_t savedSerial_ = 0;  // the page last saved
    std::optional<Recording> recording_;
};

}  // namespace mojian
