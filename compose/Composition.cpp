#include "compose/Composition.h"

#include <algorithm>
#include <utility>

#include "base/Gbk.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/CompositionList.h"
#include "compose/TextFile.h"

namespace mojian {

namespace {

bool IsValidChoice(const Choice& c) { return c.custom || IsValidBlock(c.kind, c.style); }

// What the page takes from a custom source: its file read back whole.
std::string SourceHtml(std::string_view text) { return GbkToUtf8(TextFileBytes(text)); }

void Merge(PageEffects& into, PageEffects&& from) {
    if (from.outcome == Outcome::Applied || into.outcome == Outcome::Nothing) into.outcome = from.outcome;
    if (from.listReset) into.listReset = true;
    if (into.listReset) into.list.clear();
    else into.list.insert(into.list.end(), std::make_move_iterator(from.list.begin()),
                          std::make_move_iterator(from.list.end()));
    into.selectionChanged = into.selectionChanged || from.selectionChanged;
    into.sources.merge(from.sources);
    into.blocks.merge(from.blocks);
    into.counterChanged = into.counterChanged || from.counterChanged;
    into.choiceChanged = into.choiceChanged || from.choiceChanged;
    into.widthChanged = into.widthChanged || from.widthChanged;
    into.opened = into.opened || from.opened;
    if (from.newSource != 0) into.newSource = from.newSource;
}

void AddListEdit(PageEffects& e, ListEdit edit) {
    if (!e.listReset) e.list.push_back(std::move(edit));
}

// An open's step, done, undone or redone.
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

}  // namespace

Composition::Composition() = default;

// ---- Recording ------------------------------------------------------------

void Composition::Begin() {
    if (!recording_) {
        recording_.emplace();
        recording_->step.selectionBefore = selected_;
    }
    recording_->levels.push_back({PageEffects{}, selected_});
}

PageEffects Composition::End() {
    Recording& r = *recording_;
    Level level = std::move(r.levels.back());
    r.levels.pop_back();
    level.effects.selectionChanged = selected_ != level.selectionBefore;
    if (!r.levels.empty()) {
        PageEffects copy = level.effects;
        Merge(r.levels.back().effects, std::move(copy));
        return level.effects;
    }
    Step step = std::move(r.step);
    recording_.reset();
    if (step.cleansWorkingFiles) CleanWorkingFiles(level.effects);
    if (!step.changes.empty()) {
        step.selectionAfter = selected_;
        if (step.changes.size() != 1) step.burst.reset();
        Record(std::move(step));
    }
    return level.effects;
}

void Composition::Do(Change change) {
    Apply(change, true, recording_->levels.back().effects);
    // The running operation and every one enclosing it have changed the page.
    for (Level& level : recording_->levels) level.effects.outcome = Outcome::Applied;
    recording_->step.changes.push_back(std::move(change));
}

void Composition::Record(Step step) {
    while (history_.size() > position_) {
        historyBytes_ -= history_.back().bytes;
        history_.pop_back();
    }
    step.serial = nextSerial_++;
    step.bytes = BytesOf(step);
    historyBytes_ += step.bytes;
    history_.push_back(std::move(step));
    position_ = history_.size();
    while (history_.size() > kMaxUndoSteps ||
           (historyBytes_ > kHistoryBudgetBytes && history_.size() > kMinUndoSteps)) {
        baseSerial_ = history_.front().serial;
        historyBytes_ -= history_.front().bytes;
        history_.pop_front();
        --position_;
    }
}

std::size_t Composition::BytesOf(const Step& step) {
    constexpr std::size_t kPerString = sizeof(std::string);
    std::size_t bytes = sizeof(Step);
    const auto text = [](const std::optional<std::string>& s) { return s ? s->size() + kPerString : 0; };
    for (const Change& change : step.changes) {
        bytes += sizeof(Change);
        if (const auto* line = std::get_if<LineChange>(&change)) bytes += text(line->before) + text(line->after);
        if (const auto* source = std::get_if<SourceChange>(&change))
            bytes += source->edit.removed.size() + source->edit.inserted.size();
        if (const auto* block = std::get_if<BlockChange>(&change))
            bytes += block->edit.removed.size() + block->edit.inserted.size();
        if (const auto* all = std::get_if<LinesChange>(&change)) {
            for (const auto* lines : {&all->before, &all->after})
                for (const std::string& line : *lines) bytes += line.size() + kPerString;
        }
    }
    return bytes;
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

Composition::TextEdit Composition::Diff(const std::optional<std::string>& before,
                                        const std::optional<std::string>& after, std::string_view unset) {
    const std::string_view b = before ? std::string_view(*before) : unset;
    const std::string_view a = after ? std::string_view(*after) : unset;
    TextEdit edit;
    edit.beforeSet = before.has_value();
    edit.afterSet = after.has_value();
    const std::size_t shorter = std::min(a.size(), b.size());
    while (edit.prefix < shorter && a[edit.prefix] == b[edit.prefix]) ++edit.prefix;
    while (edit.suffix < shorter - edit.prefix && a[a.size() - 1 - edit.suffix] == b[b.size() - 1 - edit.suffix])
        ++edit.suffix;
    edit.removed = b.substr(edit.prefix, b.size() - edit.prefix - edit.suffix);
    edit.inserted = a.substr(edit.prefix, a.size() - edit.prefix - edit.suffix);
    return edit;
}

std::optional<std::string> Composition::Patch(const TextEdit& edit, bool forward, std::string_view now) {
    if (!(forward ? edit.afterSet : edit.beforeSet)) return std::nullopt;
    const std::string& middle = forward ? edit.inserted : edit.removed;
    std::string text;
    text.reserve(edit.prefix + middle.size() + edit.suffix);
    text.append(now.substr(0, edit.prefix));
    text.append(middle);
    text.append(now.substr(now.size() - edit.suffix));
    return text;
}

void Composition::Apply(const Change& change, bool forward, PageEffects& e) {
    struct Visitor {
        Composition& page;
        bool forward;
        PageEffects& e;

        void operator()(const LineChange& c) const {
            const auto& from = Pick(forward, c.after, c.before);  // what stands there now
            const auto& to = Pick(forward, c.before, c.after);
            if (from) {
                page.lines_.erase(page.lines_.begin() + c.index);
                AddListEdit(e, {ListEdit::Kind::Remove, c.index, {}});
            }
            if (to) {
                page.lines_.insert(page.lines_.begin() + c.index, *to);
                AddListEdit(e, {ListEdit::Kind::Insert, c.index, *to});
            }
        }
        void operator()(const LinesChange& c) const {
            page.lines_ = Pick(forward, c.before, c.after);
            e.listReset = true;
            e.list.clear();
        }
        void operator()(const SourceChange& c) const {
            const std::string* now = page.CustomText(c.number);
            page.SetSourceText(c.number, Patch(c.edit, forward, now ? std::string_view(*now) : std::string_view()));
            e.sources.insert(c.number);
        }
        void operator()(const BlockChange& c) const {
            page.SetBlockText(c.id, Patch(c.edit, forward, page.BlockText(c.id.kind, c.id.style)));
            e.blocks.insert(c.id);
        }
        void operator()(const CounterChange& c) const {
            page.counter_ = Pick(forward, c.before, c.after);
            e.counterChanged = true;
        }
        void operator()(const ChoiceChange& c) const {
            page.choice_ = Pick(forward, c.before, c.after);
            e.choiceChanged = true;
        }
        void operator()(const WidthChange& c) const {
            page.width_ = Pick(forward, c.before, c.after);
            e.widthChanged = true;
        }
    };
    std::visit(Visitor{*this, forward, e}, change);
}

void Composition::ApplyStep(const Step& step, bool forward, PageEffects& e) {
    const int selectionBefore = selected_;
    if (forward) {
        for (const Change& change : step.changes) Apply(change, true, e);
    } else {
        for (auto it = step.changes.rbegin(); it != step.changes.rend(); ++it) Apply(*it, false, e);
    }
    selected_ = forward ? step.selectionAfter : step.selectionBefore;
    if (step.cleansWorkingFiles) CleanWorkingFiles(e);
    e.selectionChanged = selected_ != selectionBefore;
    e.outcome = Outcome::Applied;
}

PageEffects Composition::Undo() {
    if (!CanUndo() || recording_) return {};
    PageEffects e;
    ApplyStep(history_[--position_], false, e);
    return e;
}

PageEffects Composition::Redo() {
    if (!CanRedo() || recording_) return {};
    PageEffects e;
    ApplyStep(history_[position_++], true, e);
    return e;
}

void Composition::BeginCompound() { Begin(); }

PageEffects Composition::EndCompound() {
    if (!recording_) return {};
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
    Do(CounterChange{counter_, number});
    const std::string* old = CustomText(number);
    Do(SourceChange{number, Diff(old ? std::optional<std::string>(*old) : std::nullopt, std::string(text), {})});
    recording_->levels.back().effects.newSource = number;
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
    if (!CanAddLine(static_cast<int>(lines_.size()))) return Refused(Outcome::ListFull);
    Begin();
    const int number = NewCustomSource(text).newSource;
    InsertLine(static_cast<int>(lines_.size()), CustomEntryName(number));
    return End();
}

PageEffects Composition::DeleteSelected() { return selected_ < 0 ? PageEffects{} : RemoveLine(selected_); }

PageEffects Composition::Clear() {
    if (lines_.empty()) return {};
    Begin();
    Do(LinesChange{lines_, {}});
    selected_ = -1;
    return End();
}

PageEffects Composition::MoveDown() { return Move(MoveDownPlan(selected_, static_cast<int>(lines_.size()))); }

PageEffects Composition::MoveUp() { return Move(MoveUpPlan(selected_, static_cast<int>(lines_.size()))); }

PageEffects Composition::Move(const std::optional<LineMove>& plan) {
    if (!plan) return {};
    Begin();
    const std::string name = lines_[static_cast<std::size_t>(selected_)];
    Do(LineChange{plan->insertAt, std::nullopt, name});
    Do(LineChange{plan->removeAt, name, std::nullopt});
    selected_ = plan->selectAfter;
    return End();
}

PageEffects Composition::WriteThroughSelected(std::string_view text, bool burstContinues) {
    const ResolvedEntry entry = ResolveEntry(SelectedName());
    if (entry.IsBuiltIn()) return EditBlock(entry.kind, entry.style, text, burstContinues);
    if (entry.IsCustom()) return WriteCustomSource(entry.custom, text, burstContinues);
    return {};
}

PageEffects Composition::WriteCustomSource(int number, std::string_view text, bool burstContinues) {
    if (number < 1) return {};
    return EditText(BurstTarget{number, {-1, -1}}, text, burstContinues);
}

PageEffects Composition::EditBlock(int kind, int style, std::string_view text, bool burstContinues) {
    if (!IsValidBlock(kind, style)) return {};
    return EditText(BurstTarget{0, {kind, style}}, text, burstContinues);
}

PageEffects Composition::EditText(const BurstTarget& target, std::string_view text, bool burstContinues) {
    const bool isSource = target.number != 0;
    std::string_view unset;
    std::optional<std::string> current, wanted;
    if (isSource) {
        if (const std::string* now = CustomText(target.number)) current = *now;
        wanted = std::string(text);
    } else {
        unset = BuiltInLibrary().Get(target.block.kind, target.block.style);
        if (const auto it = blocks_.find(target.block); it != blocks_.end()) current = it->second;
        // A block typed back to its built-in text is no longer an edited block.
        if (text != unset) wanted = std::string(text);
    }
    if (current == wanted) return {};

    const bool joins = burstContinues && !recording_ && position_ > 0 && position_ == history_.size() &&
                       history_.back().burst == target;
    if (!joins) {
        Begin();
        TextEdit edit = Diff(current, wanted, unset);
        if (isSource) Do(SourceChange{target.number, std::move(edit)});
        else Do(BlockChange{target.block, std::move(edit)});
        if (recording_->levels.size() == 1) recording_->step.burst = target;
        return End();
    }

    // The burst goes on: the step it started now ends at this text.
    Step& top = history_.back();
    TextEdit& started = isSource ? std::get<SourceChange>(top.changes.front()).edit
                                 : std::get<BlockChange>(top.changes.front()).edit;
    const std::optional<std::string> first = Patch(started, false, current ? std::string_view(*current) : unset);
    PageEffects e;
    if (isSource) Apply(SourceChange{target.number, Diff(current, wanted, unset)}, true, e);
    else Apply(BlockChange{target.block, Diff(current, wanted, unset)}, true, e);
    e.outcome = Outcome::Applied;
    started = Diff(first, wanted, unset);
    historyBytes_ -= top.bytes;
    if (first == wanted) {
        // Typed back to where the burst began: the page is as before the step.
        history_.pop_back();
        --position_;
    } else {
        top.serial = nextSerial_++;  // not the page any save saw
        top.selectionAfter = selected_;
        top.bytes = BytesOf(top);
        historyBytes_ += top.bytes;
    }
    return e;
}

PageEffects Composition::Open(const PageData& page) {
    if (page.lines.size() > static_cast<std::size_t>(kMaxListLines)) return Refused(Outcome::ListFull);

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
    recording_->step.cleansWorkingFiles = true;
    if (lines != lines_) Do(LinesChange{lines_, std::move(lines)});

    std::set<int> numbers;
    for (const auto& entry : sources_) numbers.insert(entry.first);
    for (const auto& entry : texts) numbers.insert(entry.first);
    for (const int n : numbers) {
        std::optional<std::string> before, after;
        if (const auto it = sources_.find(n); it != sources_.end()) before = it->second.text;
        if (const auto it = texts.find(n); it != texts.end()) after = it->second;
        if (before != after) Do(SourceChange{n, Diff(before, after, {})});
    }

    std::set<BlockId> ids;
    for (const auto& entry : blocks_) ids.insert(entry.first);
    for (const auto& entry : blocks) ids.insert(entry.first);
    for (const BlockId& id : ids) {
        std::optional<std::string> before, after;
        if (const auto it = blocks_.find(id); it != blocks_.end()) before = it->second;
        if (const auto it = blocks.find(id); it != blocks.end()) after = it->second;
        if (before != after) Do(BlockChange{id, Diff(before, after, BuiltInLibrary().Get(id.kind, id.style))});
    }

    const int counter = static_cast<int>(renumbered.size());
    if (counter != counter_) Do(CounterChange{counter_, counter});
    const Choice choice = IsValidChoice(page.choice) ? page.choice : kStartChoice;
    if (!(choice == choice_)) Do(ChoiceChange{choice_, choice});
    const DescriptionWidth width = DescriptionWidthFromPixels(WidthPixels(page.width)).value_or(kDefaultDescriptionWidth);
    if (width != width_) Do(WidthChange{width_, width});
    selected_ = -1;
    exportCounter_ = 0;
    return End();
}

PageEffects Composition::ReplaceLines(const std::vector<std::string>& lines, const std::map<int, std::string>& sources) {
    if (lines.size() > static_cast<std::size_t>(kMaxListLines)) return Refused(Outcome::ListFull);
    if (!sources.empty() && sources.begin()->first <= counter_) return {};
    Begin();
    if (lines != lines_) Do(LinesChange{lines_, lines});
    for (const auto& [number, text] : sources) {
        const std::string* old = CustomText(number);
        Do(SourceChange{number, Diff(old ? std::optional<std::string>(*old) : std::nullopt, text, {})});
    }
    if (!sources.empty()) Do(CounterChange{counter_, sources.rbegin()->first});
    selected_ = -1;
    return End();
}

PageEffects Composition::SetWidth(DescriptionWidth width) {
    if (width == width_ || !DescriptionWidthFromPixels(WidthPixels(width))) return {};
    Begin();
    Do(WidthChange{width_, width});
    return End();
}

// ---- General edits -------------------------------------------------------------------

PageEffects Composition::InsertLine(int index, std::string_view name) {
    if (index < 0 || index > static_cast<int>(lines_.size())) return {};
    if (!CanAddLine(static_cast<int>(lines_.size()))) return Refused(Outcome::ListFull);
    Begin();
    Do(LineChange{index, std::nullopt, std::string(name)});
    // The list box moves its selection along with the line it marks.
    if (selected_ >= index) ++selected_;
    return End();
}

PageEffects Composition::RemoveLine(int index) {
    if (index < 0 || index >= static_cast<int>(lines_.size())) return {};
    Begin();
    Do(LineChange{index, lines_[static_cast<std::size_t>(index)], std::nullopt});
    if (selected_ == index) selected_ = -1;
    else if (selected_ > index) --selected_;
    return End();
}

PageEffects Composition::ReplaceLine(int index, std::string_view name) {
    if (index < 0 || index >= static_cast<int>(lines_.size())) return {};
    if (lines_[static_cast<std::size_t>(index)] == name) return {};
    Begin();
    Do(LineChange{index, lines_[static_cast<std::size_t>(index)], std::string(name)});
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

std::vector<int> Composition::CustomNumbers() const {
    std::vector<int> numbers;
    numbers.reserve(sources_.size());
    for (const auto& entry : sources_) numbers.push_back(entry.first);
    return numbers;
}

const std::string& Composition::BlockText(int kind, int style) const {
    const auto it = blocks_.find(BlockId{kind, style});
    return it != blocks_.end() ? it->second : BuiltInLibrary().Get(kind, style);
}

std::optional<std::string_view> Composition::LineHtml(std::size_t index) const {
    if (index >= lines_.size()) return std::nullopt;
    const ResolvedEntry entry = ResolveEntry(lines_[index]);
    if (entry.IsBuiltIn()) return std::string_view(BlockText(entry.kind, entry.style));
    if (entry.IsCustom()) {
        if (const auto it = sources_.find(entry.custom); it != sources_.end()) return std::string_view(it->second.html);
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
