#include "check/LiveCheck.h"

#include <utility>

#include "check/Text.h"
#include "html/Layout.h"

namespace mojian::check {

LiveCheck::LiveCheck(const RuleSet& rules, MakeMeasurer makeMeasurer, std::function<void()> ready)
    : rules_(rules), makeMeasurer_(std::move(makeMeasurer)), ready_(std::move(ready)), thread_([this] { Run(); }) {}

LiveCheck::~LiveCheck() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

std::uint64_t LiveCheck::Check(std::vector<PageLine> lines) {
    std::uint64_t number = 0;
    {
        const std::lock_guard lock(mutex_);
        waiting_ = std::move(lines);
        number = ++newest_;
    }
    wake_.notify_all();
    return number;
}

std::optional<LiveCheck::Result> LiveCheck::Take() {
    const std::lock_guard lock(mutex_);
    if (!result_ || result_->page <= taken_) return std::nullopt;
    taken_ = result_->page;
    if (result_->page != newest_) return std::nullopt;  // a newer page is on its way
    return result_;
}

LiveCheck::Result LiveCheck::Wait(std::uint64_t page) {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return result_ && result_->page >= page; });
    taken_ = std::max(taken_, result_->page);
    return *result_;
}

std::uint64_t LiveCheck::Newest() const {
    const std::lock_guard lock(mutex_);
    return newest_;
}

bool LiveCheck::Busy() const {
    const std::lock_guard lock(mutex_);
    return newest_ > (result_ ? result_->page : 0);
}

bool LiveCheck::NewerWaits() const {
    const std::lock_guard lock(mutex_);
    return waiting_.has_value() || stopping_;
}

bool LiveCheck::CheckLines(Checker& checker, const std::vector<PageLine>& lines, std::vector<Finding>& findings) {
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
                if (NewerWaits()) {
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

void LiveCheck::Run() {
    const std::unique_ptr<html::TextMeasurer> measurer = makeMeasurer_();
    html::PicturesLoading pictures;  // pictures take the room the page gives them, not a broken-picture box
    Checker checker(rules_, *measurer, pictures);
    for (;;) {
        std::vector<PageLine> lines;
        std::uint64_t number = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || waiting_.has_value(); });
            if (stopping_) return;
            lines = std::move(*waiting_);
            waiting_.reset();
            number = newest_;
        }
        Result result{number, checker.CheckPageLength(lines), {}};
        if (!CheckLines(checker, lines, result.findings)) continue;
        result.summary = Summarise(result.findings, CountPageCharacters(lines));
        {
            const std::lock_guard lock(mutex_);
            result_ = std::move(result);
        }
        done_.notify_all();
        ready_();
    }
}

}  // namespace mojian::check
