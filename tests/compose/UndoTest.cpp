// Undo and redo of the page, against a straightforward reference that keeps
// a whole copy of the page before and after every step.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/File.h"
#include "base/Gbk.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/Composition.h"
#include "tests/TempFolder.h"
#include "tests/compose/PageMirror.h"

namespace mojian {
namespace {

using testing::PageMirror;
using testing::TempFolder;

// The page as the reference keeps it.
struct State {
    std::vector<std::string> lines;
    int selected = -1;
    std::map<int, std::string> texts;
    std::map<BlockId, std::string> blocks;
    int counter = 0;
    Choice choice;
    friend bool operator==(const State&, const State&) = default;
};

State Capture(const Composition& page) {
    State s;
    s.lines = page.Lines();
    s.selected = page.Selected();
    for (const int n : page.CustomNumbers()) s.texts[n] = *page.CustomText(n);
    s.blocks = page.EditedBlocks();
    s.counter = page.CustomCounter();
    s.choice = page.CurrentChoice();
    return s;
}

// The page HTML of a reference state, line by line from the rules: built-in
// blocks as edited, custom sources 1 to 100 as their files read back.
std::string HtmlOf(const State& s) {
    std::string html;
    for (const std::string& line : s.lines) {
        const ResolvedEntry entry = ResolveEntry(line);
        if (entry.IsBuiltIn()) {
            const auto it = s.blocks.find({entry.kind, entry.style});
            html += it != s.blocks.end() ? it->second : BuiltInLibrary().Get(entry.kind, entry.style);
        } else if (entry.IsCustom() && s.texts.count(entry.custom)) {
            html += GbkToUtf8(Utf8ToGbk(s.texts.at(entry.custom)) + "\r\n");
        }
    }
    return html;
}

const std::vector<std::string> kTexts = {
    "",         "abc",       "<p>墨笺</p>\r\n<p>第二行</p>", "x\xF0\x9F\x98\x80y",  // an emoji: outside GBK
    "\xE2\x82\xAC 价格",   "line\nwith LF", "<table width=750><tr><td>套餐</td></tr></table>",
    "\xC2\xB7\xE3\x83\xBB\xEF\xBF\xBD\r",  // middle dots GBK may fold, a U+FFFD as typed, a lone CR
};

class UndoTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(CreateFolder(WorkingFolder())); }

    void Reflect(const PageEffects& e) { mirror.Reflect(page, e); }

    // Model, reference, the mirrored lines and the files all agree on `expected`.
    void ExpectPage(const State& expected, const std::string& where) {
        SCOPED_TRACE(where);
        const State actual = Capture(page);
        ASSERT_EQ(actual.lines, expected.lines);
        EXPECT_EQ(actual.selected, expected.selected);
        EXPECT_EQ(actual.texts, expected.texts);
        EXPECT_EQ(actual.blocks, expected.blocks);
        EXPECT_EQ(actual.counter, expected.counter);
        EXPECT_EQ(actual.choice, expected.choice);
        const std::string html = page.PageHtml();
        EXPECT_TRUE(html == HtmlOf(expected));
        mirror.Expect(page);
    }

    TempFolder folder;
    Composition page;
    PageMirror mirror;
};

// The reference: each operation done by hand on a copy of the page.
struct Reference {
    struct Step {
        State before, after;
        std::optional<std::pair<int, BlockId>> burst;  // the text a burst of typing changes
    };
    State now;
    std::vector<Step> steps;
    std::size_t done = 0;

    void Record(const State& before, std::optional<std::pair<int, BlockId>> burst = std::nullopt) {
        steps.resize(done);
        steps.push_back({before, now, burst});
        done = steps.size();
    }
};

TEST_F(UndoTest, TwoHundredMixedStepsUndoAndRedoToTheSamePageAtEveryStep) {
    std::mt19937 rng(20240615);
    const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const auto text = [&] { return kTexts[static_cast<std::size_t>(pick(static_cast<int>(kTexts.size())))]; };
    Reference ref;
    bool lastWasEdit = false;

    while (ref.steps.size() < 200) {
        const State before = ref.now;
        State& s = ref.now;
        const int size = static_cast<int>(s.lines.size());
        const int roll = pick(100);
        bool editing = false;
        if (roll < 22) {  // a built-in add
            const int k = pick(kKindCount), st = pick(kStyleCounts[static_cast<std::size_t>(k)]);
            Reflect(page.AddBuiltIn(k, st));
            s.lines.push_back(EntryName(k, st));
            ref.Record(before);
        } else if (roll < 32) {  // a custom add
            const std::string t = text();
            Reflect(page.AddCustom(t));
            s.texts[++s.counter] = t;
            s.lines.push_back(CustomEntryName(s.counter));
            ref.Record(before);
        } else if (roll < 42) {  // a click on a line: no step
            const int i = pick(size + 1) - 1;
            page.Select(i);
            s.selected = i;
        } else if (roll < 48) {
            const PageEffects e = page.DeleteSelected();
            Reflect(e);
            ASSERT_EQ(e.Applied(), s.selected >= 0);
            if (e.Applied()) {
                s.lines.erase(s.lines.begin() + s.selected);
                s.selected = -1;
                ref.Record(before);
            }
        } else if (roll < 56) {
            const bool down = roll < 52;
            const PageEffects e = down ? page.MoveDown() : page.MoveUp();
            Reflect(e);
            const int p = s.selected, q = down ? p + 1 : p - 1;
            ASSERT_EQ(e.Applied(), p >= 0 && q >= 0 && q < size);
            if (e.Applied()) {
                std::swap(s.lines[static_cast<std::size_t>(p)], s.lines[static_cast<std::size_t>(q)]);
                s.selected = q;
                ref.Record(before);
            }
        } else if (roll < 58) {
            Reflect(page.Clear());
            if (!s.lines.empty()) {
                s.lines.clear();
                s.selected = -1;
                ref.Record(before);
            }
        } else if (roll < 82) {  // typing in the editor
            const std::string t = text();
            const bool burst = lastWasEdit && pick(2) == 0;
            const PageEffects e = page.WriteThroughSelected(t, burst);
            Reflect(e);
            const std::string selected = s.selected >= 0 ? s.lines[static_cast<std::size_t>(s.selected)] : "";
            const ResolvedEntry entry = ResolveEntry(selected);
            std::optional<std::pair<int, BlockId>> target;
            if (entry.IsBuiltIn()) {
                const BlockId id{entry.kind, entry.style};
                if (t == BuiltInLibrary().Get(id.kind, id.style)) s.blocks.erase(id);
                else s.blocks[id] = t;
                target = {0, id};
            } else if (entry.IsCustom()) {
                s.texts[entry.custom] = t;
                target = {entry.custom, BlockId{-1, -1}};
            }
            ASSERT_EQ(e.Applied(), !(s == before)) << t;
            if (e.Applied()) {
                editing = true;
                auto& steps = ref.steps;
                const bool joins = burst && ref.done == steps.size() && !steps.empty() && steps.back().burst == target;
                if (!joins) {
                    ref.Record(before, target);
                } else if (steps.back().before == s) {
                    steps.pop_back();  // typed back to where the burst began
                    ref.done = steps.size();
                } else {
                    steps.back().after = s;
                }
            }
        } else if (roll < 86) {  // open another page
            PageData file;
            for (int i = pick(6); i > 0; --i)
                file.lines.push_back(pick(2) ? EntryName(1, pick(5)) : CustomEntryName(1 + pick(4)));
            for (int n = 1; n <= 4; ++n)
                if (pick(3)) file.customSources[n] = text();
            if (pick(2)) file.editedBlocks[{1, pick(5)}] = text();
            file.choice = pick(2) ? Choice::Custom() : Choice::BuiltIn(2, pick(6));
            Reflect(page.Open(file));
            State opened;
            std::map<int, int> numbers;
            for (const std::string& line : file.lines) {
                const ResolvedEntry entry = ResolveEntry(line);
                if (!entry.IsCustom()) {
                    opened.lines.push_back(line);
                    continue;
                }
                if (!numbers.count(entry.custom)) {
                    const int m = static_cast<int>(numbers.size()) + 1;
                    numbers[entry.custom] = m;
                    if (file.customSources.count(entry.custom)) opened.texts[m] = file.customSources[entry.custom];
                }
                opened.lines.push_back(CustomEntryName(numbers[entry.custom]));
            }
            for (const auto& [id, t] : file.editedBlocks)
                if (t != BuiltInLibrary().Get(id.kind, id.style)) opened.blocks[id] = t;
            opened.counter = static_cast<int>(numbers.size());
            opened.choice = file.choice;
            State unselected = before;
            unselected.selected = -1;
            s = opened;
            if (!(s == unselected)) ref.Record(before);
        } else {  // a fill-in: a line becomes a new custom source, one step
            if (size == 0) continue;
            const int i = pick(size);
            const std::string t = text();
            page.BeginCompound();
            const int n = page.NewCustomSource(t).newSource;
            page.ReplaceLine(i, CustomEntryName(n));
            Reflect(page.EndCompound());
            s.texts[++s.counter] = t;
            s.lines[static_cast<std::size_t>(i)] = CustomEntryName(s.counter);
            ref.Record(before);
        }
        lastWasEdit = editing;
        ASSERT_NO_FATAL_FAILURE(ExpectPage(s, "doing step " + std::to_string(ref.steps.size())));
        ASSERT_EQ(page.UndoSteps(), ref.done);
    }

    for (std::size_t k = ref.done; k > 0; --k) {
        Reflect(page.Undo());
        ASSERT_NO_FATAL_FAILURE(ExpectPage(ref.steps[k - 1].before, "undoing step " + std::to_string(k)));
    }
    EXPECT_FALSE(page.CanUndo());
    EXPECT_FALSE(page.Undo().Applied());
    for (std::size_t k = 1; k <= ref.steps.size(); ++k) {
        Reflect(page.Redo());
        ASSERT_NO_FATAL_FAILURE(ExpectPage(ref.steps[k - 1].after, "redoing step " + std::to_string(k)));
    }
    EXPECT_FALSE(page.CanRedo());
}

TEST_F(UndoTest, ANewOperationAfterUndoDropsTheRedoBranch) {
    Reflect(page.AddBuiltIn(1, 0));
    Reflect(page.AddBuiltIn(1, 1));
    Reflect(page.AddCustom("two"));
    Reflect(page.Undo());
    Reflect(page.Undo());
    EXPECT_TRUE(page.CanRedo());
    Reflect(page.AddCustom("new"));  // takes number 1 again: the undone add gave it back
    EXPECT_FALSE(page.CanRedo());
    EXPECT_EQ(page.Lines(), (std::vector<std::string>{"图片展示-样式1", "自定义源码-1"}));
    EXPECT_EQ(ReadWholeFile(CustomSourcePath("自定义源码-1")), "new\r\n");
    Reflect(page.Undo());
    Reflect(page.Undo());
    EXPECT_TRUE(page.Lines().empty());
    EXPECT_FALSE(ReadWholeFile(CustomSourcePath("自定义源码-1")).has_value());
}

TEST_F(UndoTest, TheDescriptionWidthIsAStepThatMarksThePageAndAnOpenBringsItsOwn) {
    page.MarkSaved();
    EXPECT_FALSE(page.SetWidth(DescriptionWidth::Taobao).Applied());  // it is that already
    const PageEffects e = page.SetWidth(DescriptionWidth::Tmall);
    EXPECT_TRUE(e.widthChanged);
    EXPECT_TRUE(page.IsModified());
    EXPECT_EQ(page.Snapshot().width, DescriptionWidth::Tmall);
    EXPECT_TRUE(page.Undo().widthChanged);
    EXPECT_EQ(page.Width(), DescriptionWidth::Taobao);
    EXPECT_FALSE(page.IsModified());
    page.Redo();
    EXPECT_EQ(page.Width(), DescriptionWidth::Tmall);

    // an open takes the file's width, and undoing it the page's before
    EXPECT_TRUE(page.Open({}).widthChanged);
    EXPECT_EQ(page.Width(), DescriptionWidth::Taobao);
    page.Undo();
    EXPECT_EQ(page.Width(), DescriptionWidth::Tmall);
    EXPECT_FALSE(page.SetWidth(static_cast<DescriptionWidth>(800)).Applied());
    EXPECT_EQ(page.Width(), DescriptionWidth::Tmall);
}

TEST_F(UndoTest, UndoingAnOpenBringsBackThePageWithItsFilesAndBlocks) {
    Reflect(page.AddCustom("a"));
    Reflect(page.AddCustom("b"));
    Reflect(page.AddBuiltIn(1, 0));
    Reflect(page.SetBlock(1, 0, "<i>edited</i>"));
    page.SetChoice(Choice::BuiltIn(7, 3));
    const State before = Capture(page);
    PageData other;
    other.lines = {"自定义源码-9", "图片展示-样式1"};
    const PageEffects opened = page.Open(other);
    EXPECT_TRUE(opened.opened);
    Reflect(opened);
    EXPECT_EQ(page.GetBlock(1, 0), BuiltInLibrary().Get(1, 0));
    EXPECT_FALSE(ReadWholeFile(CustomSourcePath("自定义源码-2")).has_value());
    const PageEffects e = page.Undo();
    EXPECT_TRUE(e.choiceChanged);
    EXPECT_TRUE(e.opened);  // the window shows the earlier document again
    EXPECT_EQ(e.sources.size(), 100u);
    Reflect(e);
    ExpectPage(before, "after undoing the open");
    EXPECT_EQ(ReadWholeFile(CustomSourcePath("自定义源码-2")), "b\r\n");
    EXPECT_EQ(page.GetBlock(1, 0), "<i>edited</i>");
    EXPECT_TRUE(page.Redo().opened);
    EXPECT_FALSE(page.AddBuiltIn(2, 0).opened);
}

}  // namespace
}  // namespace mojian
