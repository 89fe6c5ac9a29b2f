#include "check/LiveCheck.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "html/Layout.h"

namespace mojian::check {
namespace {

std::vector<PageLine> Page(std::initializer_list<std::pair<const char*, const char*>> lines) {
    std::vector<PageLine> page;
    for (const auto& [entry, html] : lines)
        page.push_back({entry, html ? std::optional<std::string>(html) : std::nullopt});
    return page;
}

std::unique_ptr<html::TextMeasurer> Fixed() { return std::make_unique<html::FixedMeasurer>(); }

// What a check of the whole page from scratch finds.
std::vector<Finding> Fresh(const std::vector<PageLine>& lines, DescriptionWidth width = DescriptionWidth::Taobao) {
    html::FixedMeasurer measurer;
    html::PicturesLoading pictures;
    Checker checker(RuleSet::BuiltIn(width), measurer, pictures);
    return checker.CheckPage(lines);
}

TEST(LiveCheckTest, FindingsKeptFromCheckToCheckAreThoseOfAFreshCheck) {
    LiveCheck live(RuleSet::BuiltIn(), &Fixed, [] {});
    const char* click = R"~(<div onclick="go()">优惠券</div>)~";
    const char* wide = R"(<table width="900"><tr><td>宽</td></tr></table>)";
    const char* fine = "<p>纯文字的说明</p>";
    // Lines move, repeat, change their entry name, go blank and come back:
    // each finding must name the line and entry where it is now.
    const std::vector<std::vector<PageLine>> pages = {
        Page({{"自定义源码-1", click}, {"自定义源码-2", fine}, {"自定义源码-3", wide}}),
        Page({{"自定义源码-3", wide}, {"自定义源码-1", click}, {"自定义源码-2", fine}}),
        Page({{"自定义源码-3", wide}, {"自定义源码-4", click}, {"自定义源码-1", click}, {"自定义源码-5", wide}}),
        Page({{"自定义源码-3", "  \r\n"}, {"自定义源码-4", click}, {"不存在的模块", nullptr}, {"自定义源码-6", " "}}),
        Page({{"自定义源码-2", fine}}),
        Page({}),
        Page({{"自定义源码-1", click}, {"自定义源码-2", fine}}),
    };
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const std::uint64_t n = live.Check(pages[i]);
        const LiveCheck::Result r = live.Wait(n);
        EXPECT_EQ(r.page, n);
        EXPECT_EQ(r.findings, Fresh(pages[i])) << "page " << i;
        EXPECT_EQ(r.summary.characters, CountPageCharacters(pages[i]));
        const Summary s = Summarise(Fresh(pages[i]), CountPageCharacters(pages[i]));
        EXPECT_EQ(r.summary.errors, s.errors);
        EXPECT_EQ(r.summary.warnings, s.warnings);
    }
    EXPECT_GT(live.Wait(live.Newest()).summary.errors, 0);
}

TEST(LiveCheckTest, AChangedWidthChecksEveryLineAgainAtIt) {
    LiveCheck live(RuleSet::BuiltIn(), &Fixed, [] {});
    const auto page = Page({{"自定义源码-1", R"(<table width="790"><tr><td>宽</td></tr></table>)"},
                            {"自定义源码-2", R"(<img src="https://img.alicdn.com/a.jpg" width="770" height="9">)"}});
    for (const DescriptionWidth w : {DescriptionWidth::Taobao, DescriptionWidth::Tmall, DescriptionWidth::Taobao}) {
        const LiveCheck::Result r = live.Wait(live.Check(page, w));
        EXPECT_EQ(r.findings, Fresh(page, w)) << WidthPixels(w);
        EXPECT_EQ(r.summary.errors, w == DescriptionWidth::Tmall ? 0 : 2);
    }
}

// Holds the check's thread inside its first measure until released, so a
// page is under way while newer ones come.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool entered = false, open = false;
};

class GateMeasurer : public html::FixedMeasurer {
public:
    explicit GateMeasurer(Gate& gate) : gate_(gate) {}
    float Advance(const html::FontKey& font, char32_t c) override {
        std::unique_lock lock(gate_.m);
        gate_.entered = true;
        gate_.cv.notify_all();
        gate_.cv.wait(lock, [&] { return gate_.open; });
        return FixedMeasurer::Advance(font, c);
    }

private:
    Gate& gate_;
};

TEST(LiveCheckTest, ABurstOfPagesEndsOnTheLastAndNoOlderResultIsTaken) {
    Gate gate;
    std::mutex m;
    std::condition_variable cv;
    int notices = 0;
    LiveCheck live(RuleSet::BuiltIn(), [&] { return std::make_unique<GateMeasurer>(gate); }, [&] {
        const std::lock_guard lock(m);
        ++notices;
        cv.notify_all();
    });
    std::vector<PageLine> lines;
    std::uint64_t last = 0;
    for (int i = 0; i < 60; ++i) {
        // Each page one line longer; every other line has an error.
        lines.push_back({"自定义源码-" + std::to_string(i + 1),
                         i % 2 ? std::string("<script>x()</script><p>") + std::to_string(i) + "</p>"
                               : "<p>第 " + std::to_string(i) + " 段</p>"});
        last = live.Check(lines);
        if (i == 0) {  // the first page is being checked while the others come
            std::unique_lock lock(gate.m);
            gate.cv.wait(lock, [&] { return gate.entered; });
        }
    }
    {
        const std::lock_guard lock(gate.m);
        gate.open = true;
    }
    gate.cv.notify_all();
    // Take as the window would on each notice, until the newest page's result comes.
    std::optional<LiveCheck::Result> shown;
    int taken = 0;
    while (!shown || shown->page != last) {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(30), [&] { return notices > 0; }));
        notices = 0;
        lock.unlock();
        if (auto r = live.Take()) {
            EXPECT_EQ(r->page, last);  // never the first page's, which came late
            shown = std::move(r);
            ++taken;
        }
    }
    EXPECT_EQ(taken, 1);
    EXPECT_EQ(shown->summary.errors, 30);
    EXPECT_EQ(shown->summary.characters, CountPageCharacters(lines));
    EXPECT_EQ(shown->findings, Fresh(lines));
    EXPECT_FALSE(live.Take());  // taken once
}

// The measurer of a window's check holds a device context: it is made, used
// and destroyed on the check's thread alone.
class ThreadMeasurer : public html::FixedMeasurer {
public:
    ThreadMeasurer(std::atomic<bool>& foreign, std::atomic<int>& alive) : foreign_(foreign), alive_(alive) {
        Note();
        ++alive_;
    }
    ~ThreadMeasurer() override {
        Note();
        --alive_;
    }
    float Advance(const html::FontKey& font, char32_t c) override {
        Note();
        return FixedMeasurer::Advance(font, c);
    }

private:
    void Note() {
        if (std::this_thread::get_id() == owner_) foreign_ = true;
    }
    const std::thread::id owner_ = testThread;
    std::atomic<bool>& foreign_;
    std::atomic<int>& alive_;

public:
    static inline std::thread::id testThread;
};

TEST(LiveCheckTest, TheMeasurerLivesOnTheChecksThreadAndGoesWithIt) {
    ThreadMeasurer::testThread = std::this_thread::get_id();
    std::atomic<bool> onTestThread{false};
    std::atomic<int> alive{0};
    {
        const auto make = [&] { return std::make_unique<ThreadMeasurer>(onTestThread, alive); };
        LiveCheck live(RuleSet::BuiltIn(), make, [] {});
        const auto r = live.Wait(live.Check(Page({{"自定义源码-1", "<p>一段要量宽度的文字 and some words</p>"}})));
        EXPECT_EQ(r.summary.errors, 0);
        EXPECT_EQ(alive, 1);
        // Pages still coming when the window goes are given up.
        for (int i = 0; i < 20; ++i) live.Check(Page({{"自定义源码-1", "<p>又一段</p>"}}));
    }
    EXPECT_EQ(alive, 0);
    EXPECT_FALSE(onTestThread);
}

}  // namespace
}  // namespace mojian::check
