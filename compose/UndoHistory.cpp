#include "compose/UndoHistory.h"

#include <algorithm>
#include <utility>

namespace mojian {

TextEdit TextEdit::Between(const std::optional<std::string>& before, const std::optional<std::string>& after,
                           std::string_view unset) {
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

std::optional<std::string> TextEdit::Apply(bool forward, std::string_view now) const {
    if (!(forward ? afterSet : beforeSet)) return std::nullopt;
    const std::string& middle = forward ? inserted : removed;
    std::string text;
    text.reserve(prefix + middle.size() + suffix);
    text.append(now.substr(0, prefix));
    text.append(middle);
    text.append(now.substr(now.size() - suffix));
    return text;
}

void UndoHistory::Open(int selection) {
    if (depth_++ == 0) {
        open_ = Step{};
        open_.selectionBefore = selection;
    }
}

void UndoHistory::Close(int selection) {
    if (depth_ == 0 || --depth_ > 0) return;
    Step step = std::move(open_);
    open_ = Step{};
    if (step.changes.empty()) return;
    step.selectionAfter = selection;
    if (step.changes.size() != 1) step.burst.reset();  // only a single text's change goes on
    Record(std::move(step));
}

void UndoHistory::Record(Step step) {
    while (kept_.size() > position_) {
        bytes_ -= kept_.back().bytes;
        kept_.pop_back();
    }
    const std::size_t bytes = BytesOf(step);
    kept_.push_back({std::move(step), nextSerial_++, bytes});
    bytes_ += bytes;
    position_ = kept_.size();
    while (kept_.size() > kMaxSteps || (bytes_ > budget_ && kept_.size() > kMinSteps)) {
        baseSerial_ = kept_.front().serial;
        bytes_ -= kept_.front().bytes;
        kept_.pop_front();
        --position_;
    }
}

const Step* UndoHistory::Undo() {
    if (!CanUndo() || IsOpen()) return nullptr;
    return &kept_[--position_].step;
}

const Step* UndoHistory::Redo() {
    if (!CanRedo() || IsOpen()) return nullptr;
    return &kept_[position_++].step;
}

Step* UndoHistory::BurstTop(const BurstTarget& target) {
    if (IsOpen() || position_ == 0 || position_ != kept_.size()) return nullptr;
    Step& top = kept_.back().step;
    return top.burst == target ? &top : nullptr;
}

void UndoHistory::TopChanged(bool empty, int selectionAfter) {
    Kept& top = kept_.back();
    bytes_ -= top.bytes;
    if (empty) {
        kept_.pop_back();
        --position_;
        return;
    }
    top.serial = nextSerial_++;  // not the page any save saw
    top.step.selectionAfter = selectionAfter;
    top.bytes = BytesOf(top.step);
    bytes_ += top.bytes;
}

std::size_t UndoHistory::BytesOf(const Step& step) {
    constexpr std::size_t kPerString = sizeof(std::string);
    std::size_t bytes = sizeof(Kept);
    const auto text = [](const std::optional<std::string>& s) { return s ? s->size() + kPerString : 0; };
    for (const Change& c : step.changes) {
        bytes += sizeof(Change);
        if (const auto* line = std::get_if<change::Line>(&c)) bytes += text(line->before) + text(line->after);
        if (const auto* source = std::get_if<change::Source>(&c))
            bytes += source->edit.removed.size() + source->edit.inserted.size();
        if (const auto* block = std::get_if<change::Block>(&c))
            bytes += block->edit.removed.size() + block->edit.inserted.size();
        if (const auto* mine = std::get_if<change::Mine>(&c))
            bytes += mine->name.size() + mine->edit.removed.size() + mine->edit.inserted.size();
        if (const auto* all = std::get_if<change::AllLines>(&c)) {
            for (const auto* lines : {&all->before, &all->after})
                for (const std::string& line : *lines) bytes += line.size() + kPerString;
        }
    }
    return bytes;
}

}  // namespace mojian
