// The page's undo history: steps made of changes, each undone and redone
// whole; steps made of several operations (compounds); a burst of typing
// into one text kept as one step while it lasts; a bound on the steps and
// the bytes kept; and whether the page is the one last saved.
//
// The history keeps and orders the changes; the page model applies them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "compose/PageData.h"

namespace mojian {

// A text's change kept as the part that differs, so that typing into a long
// text costs the history what was typed. "Not set" is no text for a custom
// source and the built-in text for a block (`unset`).
struct TextEdit {
    bool beforeSet = false, afterSet = false;
    std::size_t prefix = 0, suffix = 0;  // the head and tail both texts share
    std::string removed, inserted;       // what lies between, before and after

    static TextEdit Between(const std::optional<std::string>& before, const std::optional<std::string>& after,
                            std::string_view unset);
    // The text before (after) the change, from the text after (before) it.
    std::optional<std::string> Apply(bool forward, std::string_view now) const;
};

// The changes a step is made of, each with what stood before and after.
namespace change {
struct Line {
    int index;
    std::optional<std::string> before, after;  // none: no line there
};
struct AllLines {
    std::vector<std::string> before, after;
};
struct Source {
    int number;
    TextEdit edit;
};
struct Block {
    BlockId id;
    TextEdit edit;
};
struct Mine {
    std::string name;  // a seller's block, as this page holds it
    TextEdit edit;
};
struct Counter {
    int before, after;
};
struct ChoiceOf {
    Choice before, after;
};
struct Width {
    DescriptionWidth before, after;
};
}  // namespace change
using Change = std::variant<change::Line, change::AllLines, change::Source, change::Block, change::Counter,
                            change::ChoiceOf, change::Width, change::Mine>;

// What a burst of typing joins: one custom source's text, one block's, or
// one of the seller's blocks'.
struct BurstTarget {
    int number = 0;  // a custom source, or 0
    BlockId block{-1, -1};
    std::string mine;  // a seller's block by name, or empty
    friend bool operator==(const BurstTarget&, const BurstTarget&) = default;
};

struct Step {
    std::vector<Change> changes;  // in the order they were made
    int selectionBefore = -1;
    int selectionAfter = -1;
    bool opensPage = false;  // an open: the working files of the page go with it
    std::optional<BurstTarget> burst;
};

class UndoHistory {
public:
    // At least this many steps can be undone, and never more than kMaxSteps.
    static constexpr std::size_t kMinSteps = 200;
    static constexpr std::size_t kMaxSteps = 500;
    // Steps beyond kMinSteps are dropped, oldest first, once the history
    // holds more than this.
    static constexpr std::size_t kBudgetBytes = 128u << 20;

    explicit UndoHistory(std::size_t budgetBytes = kBudgetBytes) : budget_(budgetBytes) {}

    // ---- The step being made ----
    // Changes made between Open and Close are one step. Nestable: only the
    // outermost Close records it, and only when it holds a change.
    void Open(int selection);
    bool IsOpen() const { return depth_ > 0; }
    bool IsOutermost() const { return depth_ == 1; }
    Step& Current() { return open_; }
    void Close(int selection);

    // ---- Undo and redo ----
    bool CanUndo() const { return position_ > 0; }
    bool CanRedo() const { return position_ < kept_.size(); }
    std::size_t Steps() const { return position_; }
    // The step to take the page back (forward) through; nothing when there
    // is none or a step is being made.
    const Step* Undo();
    const Step* Redo();

    // ---- Bursts of typing ----
    // The newest step when a change of `target` may join it: a burst into
    // the same text, nothing undone above it, no step being made.
    Step* BurstTop(const BurstTarget& target);
    // The caller changed the newest step: it is another page now. Dropped
    // instead when it no longer changes anything (`empty`).
    void TopChanged(bool empty, int selectionAfter);

    // ---- Saved or not ----
    // False right after MarkSaved until the page changes, and again when
    // undo or redo lead back to the saved page.
    bool IsModified() const { return TopSerial() != savedSerial_; }
    void MarkSaved() { savedSerial_ = TopSerial(); }

    std::size_t Bytes() const { return bytes_; }
    static std::size_t BytesOf(const Step& step);

private:
    struct Kept {
        Step step;
        std::uint64_t serial = 0;  // which page the step leads to
        std::size_t bytes = 0;
    };
    void Record(Step step);
    std::uint64_t TopSerial() const { return position_ > 0 ? kept_[position_ - 1].serial : baseSerial_; }

    std::size_t budget_;
    std::deque<Kept> kept_;  // [0, position_) done, [position_, size) undone
    std::size_t position_ = 0;
    std::size_t bytes_ = 0;
    std::uint64_t nextSerial_ = 1;
    std::uint64_t baseSerial_ = 0;   // the page below the oldest step kept
    std::uint64_t savedSerial_ = 0;  // the page last saved
    Step open_;
    int depth_ = 0;
};

}  // namespace mojian
