#include "check/LiveCheck.h"

#include <map>
#include <utility>

#include "check/Text.h"
#include "html/Layout.h"

namespace mojian::check {

namespace {

// What a check needs, made and destroyed on the check's thread: a measurer
// bound to a thread (a device context) never leaves it.
struct Session {
    Session(const RuleSet& base, std::unique_ptr<html::TextMeasurer> made) : rules(base), measurer(std::move(made)) {}
    // The checker of pages of that width, made the first time one comes.
    Checker& At(DescriptionWidth width) {
        auto it = checkers.find(width);
        if (it == checkers.end()) {
            const RuleSet& kept = atWidth.emplace(width, rules.AtWidth(width)).first->second;
            it = checkers.emplace(width, std::make_unique<Checker>(kept, *measurer, pictures)).first;
        }
        return *it->second;
    }
    const RuleSet& rules;
    std::unique_ptr<html::TextMeasurer> measurer;
    html::PicturesLoading pictures;  // pictures take the room the page gives them, not a broken-picture box
    std::map<DescriptionWidth, RuleSet> atWidth;
    std::map<DescriptionWidth, std::unique_ptr<Checker>> checkers;
};

}  // namespace

LiveCheck::LiveCheck(const RuleSet& rules, MakeMeasurer makeMeasurer, std::function<void()> ready)
    : rules_(rules),
      makeMeasurer_(std::move(makeMeasurer)),
      ready_(std::move(ready)),
      worker_(Keep::Newest, AtStop::GiveUp, [this]() -> Worker<Page>::Job {
          auto session = std::make_shared<Session>(rules_, makeMeasurer_());
          return [this, session](Page& page, std::uint64_t number) {
              CheckPage(session->At(page.width), page, number);
          };
      }) {}

std::uint64_t LiveCheck::Check(std::vector<PageLine> lines, DescriptionWidth width) {
    return worker_.Hand(Page{std::move(lines), width});
}

std::optional<LiveCheck::Result> LiveCheck::Take() {
    const std::uint64_t newest = worker_.Handed();
    const std::lock_guard lock(mutex_);
    if (!result_ || result_->page <= taken_) return std::nullopt;
    taken_ = result_->page;
    if (result_->page != newest) return std::nullopt;  // a newer page is on its way
    return result_;
}

LiveCheck::Result LiveCheck::Wait(std::uint64_t page) {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return result_ && result_->page >= page; });
    taken_ = std::max(taken_, result_->page);
    return *result_;
}

std::uint64_t LiveCheck::Newest() const { return worker_.Handed(); }

bool LiveCheck::Busy() const {
    const std::uint64_t newest = worker_.Handed();
    const std::lock_guard lock(mutex_);
    return newest > (result_ ? result_->page : 0);
}

bool LiveCheck::CheckLines(Checker& checker, const Lines& lines, std::vector<Finding>& findings) {
    Known next;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const PageLine& line = lines[i];
        const int index = static_cast<int>(i);
        if (!line.html || TrimHtmlSpace(*line.html).empty()) {
            // A line that produces nothing is named in its finding, and there
            // is nothing to parse: checked again each time.
            const auto html = line.html ? std::optional<std::string_view>(*line.html) : std::nullopt;
            auto f = checker.CheckLine(index, line.entry, html);
            findings.insert(findings.end(), f.begin(), f.end());
            continue;
        }
        const std::string& html = *line.html;
        auto found = next.find(std::string_view(html));
        if (found == next.end()) {
            if (auto old = known_.find(std::string_view(html)); old != known_.end()) {
                found = next.emplace(html, std::move(old->second)).first;
                known_.erase(old);
            } else {
                if (worker_.NewerWaits()) {
                    // What was checked so far is kept for the newer page.
                    known_.merge(next);
                    return false;
                }
                found = next.emplace(html, checker.CheckLine(0, {}, html)).first;
            }
        }
        for (Finding f : found->second) {
            f.line = index;
            f.entry = line.entry;
            findings.push_back(std::move(f));
        }
    }
    known_ = std::move(next);
    return true;
}

void LiveCheck::CheckPage(Checker& checker, const Page& page, std::uint64_t number) {
    const Lines& lines = page.lines;
    // What a line showed at the other width it may not show at this one.
    if (page.width != knownWidth_) known_.clear();
    knownWidth_ = page.width;
    Result result{number, checker.CheckPageLength(lines), {}};
    if (!CheckLines(checker, lines, result.findings)) return;
    result.summary = Summarise(result.findings, CountPageCharacters(lines));
    {
        const std::lock_guard lock(mutex_);
        result_ = std::move(result);
    }
    done_.notify_all();
    ready_();
}

}  // namespace mojian::check
