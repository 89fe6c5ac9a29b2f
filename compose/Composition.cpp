#include "compose/Composition.h"

#include <algorithm>
#include <utility>

#include "base/Gbk.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/TextFile.h"

namespace mojian {

namespace {

bool IsValidChoice(const Choice& c) { return c.custom || IsValidBlock(c.kind, c.style); }

// What the page takes from a custom source: its file read back whole.
std::string SourceHtml(std::string_view text) { return GbkToUtf8(TextFileBytes(text)); }

// An open's step, done, undone or redone: the working files of the page go.
void CleanWorkingFiles(PageEffects& e) {
    for (int n = 1; n <= kMaxCustomSource; ++n) e.sources.insert(n);
    e.opened = true;
}

template <class T>
const T& Pick(bool forward, const T& before, const T& after) {
    return forward ? after : before;
}

PageEffects Refused(Outcome outcome) {
    PageEffects e;
    e.outcome = outcome;
    return e;
}

std::optional<std::string> TextOrNothing(const std::string* text) {
    return text ? std::optional<std::string>(*text) : std::nullopt;
}

Change ChangeOf(const BurstTarget& target, TextEdit edit) {
    if (target.number != 0) return change::Source{target.number, std::move(edit)};
    if (!target.mine.empty()) return change::Mine{target.mine, std::move(edit)};
    return change::Block{target.block, std::move(edit)};
}

TextEdit& EditIn(Change& c) {
    if (auto* source = std::get_if<change::Source>(&c)) return source->edit;
    if (auto* mine = std::get_if<change::Mine>(&c)) return mine->edit;
    return std::get<change::Block>(c).edit;
}

}  // namespace

Composition::Composition() = default;

// ---- Recording ------------------------------------------------------------

void Composition::Begin() {
    history_.Open(selected_);
    levels_.push_back({PageEffects{}, selected_});
}

PageEffects Composition::End() {
    Level level = std::move(levels_.back());
    levels_.pop_back();
    level.effects.selectionChanged = selected_ != level.selectionBefore;
    if (!levels_.empty()) {
        PageEffects copy = level.effects;
        levels_.back().effects.Merge(std::move(copy));
    } else if (history_.Current().opensPage) {
        CleanWorkingFiles(level.effects);
    }
    history_.Close(selected_);
    return level.effects;
}

void Composition::Do(Change change) {
    Apply(change, true, levels_.back().effects);
    // The running operation and every one enclosing it have changed the page.
    for (Level& level : levels_) level.effects.outcome = Outcome::Applied;
    history_.Current().changes.push_back(std::move(change));
}

// ---- Applying changes -----------------------------------------------------------

void Composition::SetSourceText(int number, std::optional<std::string> text) {
    if (!text) {
        sources_.erase(number);
        return;
    }
    Source& s = sources_[number];
    s.html = SourceHtml(*text);
    s.text = std::move(*text);
}

void Composition::SetBlockText(const BlockId& id, std::optional<std::string> text) {
    if (text) blocks_[id] = std::move(*text);
    else blocks_.erase(id);
}

void Composition::SetMineText(const std::string& name, std::optional<std::string> text) {
    if (!text) {
        if (const auto it = mine_.find(name); it != mine_.end()) mine_.erase(it);
        return;
    }
    mine_.insert_or_assign(name, std::move(*text));
}

void Composition::Apply(const Change& c, bool forward, PageEffects& e) {
    struct Visitor {
        Composition& page;
        bool forward;
        PageEffects& e;

        void operator()(const change::Line& c) const {
            const auto& from = Pick(forward, c.after, c.before);  // what stands there now
            const auto& to = Pick(forward, c.before, c.after);
            auto at = page.lines_.begin() + c.index;
            if (from && to) {
                *at = *to;
                e.AddLineEdit({LineEdit::Kind::Changed, c.index, *to});
            } else if (from) {
                page.lines_.erase(at);
                e.AddLineEdit({LineEdit::Kind::Removed, c.index, {}});
            } else if (to) {
                page.lines_.insert(at, *to);
                e.AddLineEdit({LineEdit::Kind::Inserted, c.index, *to});
            }
        }
        void operator()(const change::AllLines& c) const {
            page.lines_ = Pick(forward, c.before, c.after);
            e.AllLines();
        }
        void operator()(const change::Source& c) const {
            const std::string* now = page.CustomText(c.number);
            page.SetSourceText(c.number, c.edit.Apply(forward, now ? std::string_view(*now) : std::string_view()));
            e.sources.insert(c.number);
        }
        void operator()(const change::Block& c) const {
            page.SetBlockText(c.id, c.edit.Apply(forward, page.GetBlock(c.id.kind, c.id.style)));
            e.blocks.insert(c.id);
        }
        void operator()(const change::Mine& c) const {
            const std::string* now = page.MineHtml(c.name);
            page.SetMineText(c.name, c.edit.Apply(forward, now ? std::string_view(*now) : std::string_view()));
            e.mine.insert(c.name);
        }
        void operator()(const change::Counter& c) const {
            page.counter_ = Pick(forward, c.before, c.after);
            e.counterChanged = true;
        }
        void operator()(const change::ChoiceOf& c) const {
            page.choice_ = Pick(forward, c.before, c.after);
            e.choiceChanged = true;
        }
        void operator()(const change::Width& c) const {
            page.width_ = Pick(forward, c.before, c.after);
            e.widthChanged = true;
        }
    };
    std::visit(Visitor{*this, forward, e}, c);
}

PageEffects Composition::ApplyStep(const Step& step, bool forward) {
    PageEffects e;
    const int selectionBefore = selected_;
    if (forward) {
        for (const Change& c : step.changes) Apply(c, true, e);
    } else {
        for (auto it = step.changes.rbegin(); it != step.changes.rend(); ++it) Apply(*it, false, e);
    }
    selected_ = forward ? step.selectionAfter : step.selectionBefore;
    if (step.opensPage) CleanWorkingFiles(e);
    e.selectionChanged = selected_ != selectionBefore;
    e.outcome = Outcome::Applied;
    return e;
}

PageEffects Composition::Undo() {
    const Step* step = history_.Undo();
    return step ? ApplyStep(*step, false) : PageEffects{};
}

PageEffects Composition::Redo() {
    const Step* step = history_.Redo();
    return step ? ApplyStep(*step, true) : PageEffects{};
}

void Composition::BeginCompound() { Begin(); }

PageEffects Composition::EndCompound() {
    if (levels_.empty()) return {};
    return End();
}

// ---- The handlers' operations -----------------------------------------------------

PageEffects Composition::AddChosen(std::string_view editorText) {
    return choice_.custom ? AddCustom(editorText) : AddBuiltIn(choice_.kind, choice_.style);
}

PageEffects Composition::AddBuiltIn(int kind, int style) {
    if (!IsValidBlock(kind, style)) return {};
    return InsertLine(static_cast<int>(lines_.size()), EntryName(kind, style));
}

PageEffects Composition::NewCustomSource(std::string_view text) {
    Begin();
    const int number = counter_ + 1;
    Do(change::Counter{counter_, number});
    Do(change::Source{number, TextEdit::Between(TextOrNothing(CustomText(number)), std::string(text), {})});
    levels_.back().effects.newSource = number;
    return End();
}

PageEffects Composition::ReplaceLineWithNewSource(int index, std::string_view text) {
    if (index < 0 || index >= static_cast<int>(lines_.size())) return {};
    if (FreeCustomNumbers() < 1) return Refused(Outcome::NoFreeNumber);
    Begin();
    const int number = NewCustomSource(text).newSource;
    ReplaceLine(index, CustomEntryName(number));
    return End();
}

PageEffects Composition::AddCustom(std::string_view text) {
    if (!CanAddLine(static_cast<int>(lines_.size()))) return Refused(Outcome::PageFull);
    Begin();
    const int number = NewCustomSource(text).newSource;
    InsertLine(static_cast<int>(lines_.size()), CustomEntryName(number));
    return End();
}

PageEffects Composition::AddMine(std::string_view name, std::string_view html) {
    if (name.empty()) return {};
    if (!CanAddLine(static_cast<int>(lines_.size()))) return Refused(Outcome::PageFull);
    Begin();
    SetMine(name, html);
    InsertLine(static_cast<int>(lines_.size()), MineEntryName(name));
    return End();
}

PageEffects Composition::DeleteSelected() { return selected_ < 0 ? PageEffects{} : RemoveLine(selected_); }

PageEffects Composition::Clear() {
    if (lines_.empty()) return {};
    Begin();
    Do(change::AllLines{lines_, {}});
    selected_ = -1;
    return End();
}

PageEffects Composition::MoveDown() { return Move(MoveDownPlan(selected_, static_cast<int>(lines_.size()))); }

PageEffects Composition::MoveUp() { return Move(MoveUpPlan(selected_, static_cast<int>(lines_.size()))); }

PageEffects Composition::Move(const std::optional<LineMove>& plan) {
    if (!plan) return {};
    Begin();
    const std::string name = lines_[static_cast<std::size_t>(plan->from)];
    Do(change::Line{plan->from, name, std::nullopt});
    Do(change::Line{plan->to, std::nullopt, name});
    selected_ = plan->to;
    return End();
}

PageEffects Composition::WriteThroughSelected(std::string_view text, bool burstContinues) {
    const ResolvedEntry entry = ResolveEntry(SelectedName());
    if (entry.IsBuiltIn()) return SetBlock(entry.kind, entry.style, text, burstContinues);
    if (entry.IsCustom()) return WriteCustomSource(entry.custom, text, burstContinues);
    if (entry.IsMine()) return SetMine(MineNameOf(SelectedName()), text, burstContinues);
    return {};
}

PageEffects Composition::WriteCustomSource(int number, std::string_view text, bool burstContinues) {
    if (number < 1) return {};
    return EditText(BurstTarget{number, {-1, -1}, {}}, text, burstContinues);
}

PageEffects Composition::SetBlock(int kind, int style, std::string_view text, bool burstContinues) {
    if (!IsValidBlock(kind, style)) return {};
    return EditText(BurstTarget{0, {kind, style}, {}}, text, burstContinues);
}

PageEffects Composition::SetMine(std::string_view name, std::string_view html, bool burstContinues) {
    if (name.empty()) return {};
    return EditText(BurstTarget{0, {-1, -1}, std::string(name)}, html, burstContinues);
}

PageEffects Composition::EditText(const BurstTarget& target, std::string_view text, bool burstContinues) {
    std::string_view unset;
    std::optional<std::string> current, wanted;
    if (target.number != 0) {
        if (const std::string* now = CustomText(target.number)) current = *now;
        wanted = std::string(text);
    } else if (!target.mine.empty()) {
        if (const std::string* now = MineHtml(target.mine)) current = *now;
        wanted = std::string(text);
    } else {
        unset = BuiltInLibrary().Get(target.block.kind, target.block.style);
        if (const auto it = blocks_.find(target.block); it != blocks_.end()) current = it->second;
        // A block typed back to its built-in text is no longer an edited block.
        if (text != unset) wanted = std::string(text);
    }
    if (current == wanted) return {};

    Step* burst = burstContinues ? history_.BurstTop(target) : nullptr;
    if (!burst) {
        Begin();
        Do(ChangeOf(target, TextEdit::Between(current, wanted, unset)));
        if (history_.IsOutermost()) history_.Current().burst = target;
        return End();
    }

    // The burst goes on: the step it started now ends at this text.
    TextEdit& started = EditIn(burst->changes.front());
    const std::optional<std::string> first = started.Apply(false, current ? std::string_view(*current) : unset);
    PageEffects e;
    Apply(ChangeOf(target, TextEdit::Between(current, wanted, unset)), true, e);
    e.outcome = Outcome::Applied;
    started = TextEdit::Between(first, wanted, unset);
    // Typed back to where the burst began: the page is as before the step.
    history_.TopChanged(first == wanted, selected_);
    return e;
}

PageEffects Composition::Open(const PageData& page) {
    if (page.lines.size() > static_cast<std::size_t>(kMaxPageLines)) return Refused(Outcome::PageFull);

    // The page's custom sources, numbered from 1 in order of first use.
    std::map<int, int> renumbered;
    std::vector<std::string> lines;
    lines.reserve(page.lines.size());
    std::map<int, std::string> texts;
    for (const std::string& line : page.lines) {
        const ResolvedEntry entry = ResolveEntry(line);
        if (!entry.IsCustom()) {
            lines.push_back(line);
            continue;
        }
        const auto [it, isNew] = renumbered.try_emplace(entry.custom, static_cast<int>(renumbered.size()) + 1);
        lines.push_back(CustomEntryName(it->second));
        if (isNew) {
            if (const auto text = page.customSources.find(entry.custom); text != page.customSources.end())
                texts.emplace(it->second, text->second);
        }
    }
    std::map<BlockId, std::string> blocks;
    for (const auto& [id, text] : page.editedBlocks)
        if (IsValidBlock(id.kind, id.style) && text != BuiltInLibrary().Get(id.kind, id.style))
            blocks.emplace(id, text);

    Begin();
    history_.Current().opensPage = true;
    if (lines != lines_) Do(change::AllLines{lines_, std::move(lines)});

    std::set<int> numbers;
    for (const auto& entry : sources_) numbers.insert(entry.first);
    for (const auto& entry : texts) numbers.insert(entry.first);
    for (const int n : numbers) {
        std::optional<std::string> before, after;
        if (const auto it = sources_.find(n); it != sources_.end()) before = it->second.text;
        if (const auto it = texts.find(n); it != texts.end()) after = it->second;
        if (before != after) Do(change::Source{n, TextEdit::Between(before, after, {})});
    }

    std::set<BlockId> ids;
    for (const auto& entry : blocks_) ids.insert(entry.first);
    for (const auto& entry : blocks) ids.insert(entry.first);
    for (const BlockId& id : ids) {
        std::optional<std::string> before, after;
        if (const auto it = blocks_.find(id); it != blocks_.end()) before = it->second;
        if (const auto it = blocks.find(id); it != blocks.end()) after = it->second;
        if (before != after)
            Do(change::Block{id, TextEdit::Between(before, after, BuiltInLibrary().Get(id.kind, id.style))});
    }

    std::set<std::string, std::less<>> names;
    for (const auto& entry : mine_) names.insert(entry.first);
    for (const auto& entry : page.myBlocks) names.insert(entry.first);
    for (const std::string& name : names) {
        std::optional<std::string> before, after;
        if (const auto it = mine_.find(name); it != mine_.end()) before = it->second;
        if (const auto it = page.myBlocks.find(name); it != page.myBlocks.end()) after = it->second;
        if (before != after) Do(change::Mine{name, TextEdit::Between(before, after, {})});
    }

    const int counter = static_cast<int>(renumbered.size());
    if (counter != counter_) Do(change::Counter{counter_, counter});
    const Choice choice = IsValidChoice(page.choice) ? page.choice : kStartChoice;
    if (!(choice == choice_)) Do(change::ChoiceOf{choice_, choice});
    const DescriptionWidth width = DescriptionWidthFromPixels(WidthPixels(page.width)).value_or(kDefaultDescriptionWidth);
    if (width != width_) Do(change::Width{width_, width});
    selected_ = -1;
    exportCounter_ = 0;
    return End();
}

PageEffects Composition::ReplaceLines(const std::vector<std::string>& lines, const std::map<int, std::string>& sources,
                                      const std::map<std::string, std::string>& mine) {
    if (lines.size() > static_cast<std::size_t>(kMaxPageLines)) return Refused(Outcome::PageFull);
    if (!sources.empty() && sources.begin()->first <= counter_) return {};
    Begin();
    if (lines != lines_) Do(change::AllLines{lines_, lines});
    for (const auto& [number, text] : sources)
        Do(change::Source{number, TextEdit::Between(TextOrNothing(CustomText(number)), text, {})});
    if (!sources.empty()) Do(change::Counter{counter_, sources.rbegin()->first});
    for (const auto& [name, html] : mine) SetMine(name, html);
    selected_ = -1;
    return End();
}

PageEffects Composition::SetWidth(DescriptionWidth width) {
    if (width == width_ || !DescriptionWidthFromPixels(WidthPixels(width))) return {};
    Begin();
    Do(change::Width{width_, width});
    return End();
}

// ---- General edits -------------------------------------------------------------------

PageEffects Composition::InsertLine(int index, std::string_view name) {
    if (index < 0 || index > static_cast<int>(lines_.size())) return {};
    if (!CanAddLine(static_cast<int>(lines_.size()))) return Refused(Outcome::PageFull);
    Begin();
    Do(change::Line{index, std::nullopt, std::string(name)});
    // The selection stays with the line it marks.
    if (selected_ >= index) ++selected_;
    return End();
}

PageEffects Composition::RemoveLine(int index) {
    if (index < 0 || index >= static_cast<int>(lines_.size())) return {};
    Begin();
    Do(change::Line{index, lines_[static_cast<std::size_t>(index)], std::nullopt});
    if (selected_ == index) selected_ = -1;
    else if (selected_ > index) --selected_;
    return End();
}

PageEffects Composition::ReplaceLine(int index, std::string_view name) {
    if (index < 0 || index >= static_cast<int>(lines_.size())) return {};
    if (lines_[static_cast<std::size_t>(index)] == name) return {};
    Begin();
    Do(change::Line{index, lines_[static_cast<std::size_t>(index)], std::string(name)});
    return End();
}

// ---- Not changes ----------------------------------------------------------------------

void Composition::Select(int index) {
    selected_ = index >= 0 && index < static_cast<int>(lines_.size()) ? index : -1;
}

void Composition::SetChoice(const Choice& choice) {
    if (IsValidChoice(choice)) choice_ = choice;
}

// ---- The page ----------------------------------------------------------------------------

std::string_view Composition::SelectedName() const {
    if (selected_ < 0) return {};
    return lines_[static_cast<std::size_t>(selected_)];
}

int Composition::FreeCustomNumbers() const { return std::max(0, kMaxCustomSource - counter_); }

const std::string* Composition::CustomText(int number) const {
    const auto it = sources_.find(number);
    return it == sources_.end() ? nullptr : &it->second.text;
}

std::optional<std::string> Composition::CustomSourceFileBytes(int number) const {
    const std::string* text = CustomText(number);
    if (!text) return std::nullopt;
    return TextFileBytes(*text);
}

std::optional<std::string> Composition::ReadCustomSource(int number) const {
    const auto it = sources_.find(number);
    if (it == sources_.end()) return std::nullopt;
    return NormaliseLines(it->second.html);
}

std::vector<int> Composition::CustomNumbers() const {
    std::vector<int> numbers;
    numbers.reserve(sources_.size());
    for (const auto& entry : sources_) numbers.push_back(entry.first);
    return numbers;
}

const std::string* Composition::MineHtml(std::string_view name) const {
    const auto it = mine_.find(name);
    return it == mine_.end() ? nullptr : &it->second;
}

const std::string& Composition::GetBlock(int kind, int style) const {
    const auto it = blocks_.find(BlockId{kind, style});
    return it != blocks_.end() ? it->second : BuiltInLibrary().Get(kind, style);
}

std::optional<std::string_view> Composition::LineHtml(std::size_t index) const {
    if (index >= lines_.size()) return std::nullopt;
    const ResolvedEntry entry = ResolveEntry(lines_[index]);
    if (entry.IsBuiltIn()) return std::string_view(GetBlock(entry.kind, entry.style));
    if (entry.IsCustom()) {
        if (const auto it = sources_.find(entry.custom); it != sources_.end()) return std::string_view(it->second.html);
    }
    if (entry.IsMine()) {
        if (const std::string* html = MineHtml(MineNameOf(lines_[index]))) return std::string_view(*html);
    }
    return std::nullopt;
}

std::string Composition::PageHtml() const {
    std::vector<std::string_view> pieces;
    pieces.reserve(lines_.size());
    std::size_t total = 0;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (const auto html = LineHtml(i)) {
            pieces.push_back(*html);
            total += html->size();
        }
    }
    std::string page;
    page.reserve(total);
    for (const std::string_view piece : pieces) page.append(piece);
    return page;
}

PageData Composition::Snapshot() const {
    PageData page;
    page.lines = lines_;
    for (const std::string& line : lines_) {
        const ResolvedEntry entry = ResolveEntry(line);
        if (entry.IsMine()) {
            const std::string_view name = MineNameOf(line);
            if (const std::string* html = MineHtml(name)) page.myBlocks.try_emplace(std::string(name), *html);
        }
        if (!entry.IsCustom()) continue;
        if (const auto it = sources_.find(entry.custom); it != sources_.end())
            page.customSources.try_emplace(entry.custom, it->second.text);
    }
    page.editedBlocks = blocks_;
    page.choice = choice_;
    page.width = width_;
    return page;
}

}  // namespace mojian
