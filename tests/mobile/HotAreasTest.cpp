#include <gtest/gtest.h>

#include "mobile/HotAreas.h"

namespace mojian::mobile {
namespace {

TEST(MobileHotAreas, LinksFallOnThePiecesTheyCrossRelativeToEach) {
    // A 750 x 2000 page cut at 1000.
    const std::vector<PageLink> links = {
        {"https://a.cn/", {{75, 100, 150, 50}}},
        {"https://a.cn/", {{225, 100, 75, 50}, {75, 151, 300, 49}}},  // touches the first: merged
        {"https://b.cn/", {{0, 900, 750, 200}}},                       // crosses the cut
        {"//c.cn/x", {{0, 1500, 375, 100}}},
        {"https://d.cn/", {{-50, 1900, 100, 500}}},                    // beyond the page's edges
        {"javascript:alert(1)", {{0, 0, 10, 10}}},
        {" JavaScript:alert(2)", {{0, 0, 10, 10}}},
        {"#top", {{0, 0, 10, 10}}},
        {"mailto:x@y.cn", {{0, 0, 10, 10}}},
        {"detail.html", {{0, 0, 10, 10}}},
        {"", {{0, 0, 10, 10}}},
        {"javascript:alert(1)", {{0, 20, 10, 10}}},                    // listed once
    };
    const HotAreaPlan plan = MapHotAreas(links, {1000}, 750, 2000);
    ASSERT_EQ(plan.pieces.size(), 2u);
    const struct {
        std::size_t piece;
        const char* href;
        double x, y, w, h;
    } want[] = {
        {0, "https://a.cn/", 0.1, 0.1, 0.4, 0.1},
        {0, "https://b.cn/", 0, 0.9, 1, 0.1},
        {1, "https://b.cn/", 0, 0, 1, 0.1},
        {1, "https://c.cn/x", 0, 0.5, 0.5, 0.1},
        {1, "https://d.cn/", 0, 0.9, 50.0 / 750, 0.1},
    };
    std::size_t count = 0;
    for (const auto& w : want) {
        SCOPED_TRACE(w.href);
        bool found = false;
        for (const HotArea& a : plan.pieces[w.piece]) {
            if (a.href != w.href) continue;
            found = true;
            EXPECT_NEAR(a.x, w.x, 1e-3);
            EXPECT_NEAR(a.y, w.y, 1e-3);
            EXPECT_NEAR(a.w, w.w, 1e-3);
            EXPECT_NEAR(a.h, w.h, 1e-3);
        }
        EXPECT_TRUE(found);
        ++count;
    }
    EXPECT_EQ(plan.pieces[0].size() + plan.pieces[1].size(), count);

    std::vector<std::string> left;
    for (const LeftOutLink& l : plan.leftOut) {
        EXPECT_FALSE(l.reason.empty()) << l.href;
        left.push_back(l.href);
    }
    EXPECT_EQ(left, (std::vector<std::string>{"javascript:alert(1)", " JavaScript:alert(2)", "#top", "mailto:x@y.cn",
                                              "detail.html", ""}));
    EXPECT_NE(plan.leftOut[0].reason.find("脚本"), std::string::npos);
}

}  // namespace
}  // namespace mojian::mobile
