// The check of a page that keeps changing: a window hands over each page as
// it stands and goes on at once; a thread of our own checks it and says when
// a result is ready. Only the newest page matters: a page still waiting when
// a newer one comes is dropped unchecked, and a check under way gives up
// (between lines) as soon as a newer page waits.
//
// A line's findings depend only on its entry name and HTML (check/Check.h),
// so they are kept from one check to the next by that text: typing into one
// block checks that block again, every other line is taken as it was, and
// the page length is counted anew.
//
//     LiveCheck live(RuleSet::BuiltIn(), makeMeasurer, [form] { PostMessage(form, ...); });
//     const auto n = live.Check(LinesOf(page), page.Width());   // every change (or when idle)
//     ... on the message: if (auto r = live.Take()) show r->summary
//     const auto r = live.Wait(n);                 // a result that must be of this page
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/Worker.h"
#include "check/Check.h"

namespace mojian::check {

class LiveCheck {
public:
    // Made on the check's thread, used and destroyed there: a measurer bound
    // to a thread (a device context) never leaves it.
    using MakeMeasurer = std::function<std::unique_ptr<html::TextMeasurer>()>;

    struct Result {
        std::uint64_t page = 0;  // the number Check gave the page
        std::vector<Finding> findings;
        Summary summary;
    };

    // `ready` runs on the check's thread whenever a result is ready; it only
    // tells the owner (posts a message), which then calls Take.
    LiveCheck(const RuleSet& rules, MakeMeasurer makeMeasurer, std::function<void()> ready);
    // Gives up the check under way and stops.
    ~LiveCheck() = default;
    LiveCheck(const LiveCheck&) = delete;
    LiveCheck& operator=(const LiveCheck&) = delete;

    // Hands over a page made for a column `width` wide (the rules at that
    // width, RuleSet::AtWidth); returns its number (counting up from 1).
    std::uint64_t Check(std::vector<PageLine> lines, DescriptionWidth width = kDefaultDescriptionWidth);
    // The newest result not yet taken, when it is of the newest page handed
    // over; results of older pages are dropped.
    std::optional<Result> Take();
    // Waits until page `page` (or a newer one) has been checked; the result
    // counts as taken.
    Result Wait(std::uint64_t page);
    // The number of the newest page handed over; 0 before any.
    std::uint64_t Newest() const;
    // Whether the newest page handed over has no result yet.
    bool Busy() const;

private:
    using Lines = std::vector<PageLine>;
    struct Page {
        Lines lines;
        DescriptionWidth width = kDefaultDescriptionWidth;
    };
    // Checks page `number` on the check's thread; a page given up for a
    // newer one leaves no result.
    void CheckPage(Checker& checker, const Page& page, std::uint64_t number);
    // False when a newer page came before every line was checked.
    bool CheckLines(Checker& checker, const Lines& lines, std::vector<Finding>& findings);

    const RuleSet& rules_;
    const MakeMeasurer makeMeasurer_;
    const std::function<void()> ready_;

    // Lines are looked up by their HTML without copying it (a custom source
    // can be megabytes).
    struct HtmlHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view html) const noexcept { return std::hash<std::string_view>{}(html); }
    };
    using Known = std::unordered_map<std::string, std::vector<Finding>, HtmlHash, std::equal_to<>>;

    // The check's thread's own: the findings of each line of the last check
    // by the line's HTML, and the width they were found at.
    Known known_;
    DescriptionWidth knownWidth_ = kDefaultDescriptionWidth;

    mutable std::mutex mutex_;
    std::condition_variable done_;
    std::optional<Result> result_;
    std::uint64_t taken_ = 0;   // the number of the last result taken
    Worker<Page> worker_;       // last: its thread uses everything above
};

}  // namespace mojian::check
