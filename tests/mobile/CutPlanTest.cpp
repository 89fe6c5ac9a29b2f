#include <gtest/gtest.h>

#include <random>

#include "mobile/CutPlan.h"

namespace mojian::mobile {
namespace {

// Text lines of `line` rows stacked from `top` to `bottom`, with no gap.
std::vector<RowSpan> TextLines(int top, int bottom, int line) {
    std::vector<RowSpan> out;
    for (int y = top; y < bottom; y += line) out.push_back({y, std::min(y + line, bottom)});
    return out;
}

std::vector<float> Uniform(int height, float value, int from = 0, int to = 0, float there = 1) {
    std::vector<float> u(static_cast<std::size_t>(height), value);
    for (int r = from; r < to; ++r) u[static_cast<std::size_t>(r)] = there;
    return u;
}

TEST(MobileCutPlan, PiecesCoverThePageWithinTheLimitAndHonourThePreferences) {
    struct Case {
        const char* name;
        CutInput in;
        std::vector<int> want;        // exact cuts, when the case decides them
        int wantFrom = 0, wantTo = 0;  // else: the single cut lies in [wantFrom, wantTo]
        int fewest = 0;                // at least this many rows in every piece
        bool throughText = false;
    };
    const Case cases[] = {
        {"fits in one piece", {1546, 1546}, {}},
        {"plain page: two pieces, none a sliver", {3000, 1546}, {}, 1454, 1546, 1454},
        {"between composition lines first", {2800, 1546, 0, {}, {}, {700, 1400, 2100}}, {1400}},
        {"a line start inside text is no place",
         {2800, 1546, 0, {{1390, 1410}}, {}, {1400}}, {}, 1254, 1546},
        {"text lines are never cut", {3000, 1546, 0, TextLines(0, 3000, 23)}, {}, 1454, 1546},
        {"a clear row of one colour over a busy one",
         {2000, 1546, 0, {}, {}, {}, Uniform(2000, 0.3f, 900, 902)}, {901}},
        {"through a picture at its most uniform rows",
         {2000, 1546, 0, {}, {{300, 1900}}, {}, Uniform(2000, 0.2f, 1000, 1010)}, {}, 1001, 1009},
        {"a clear row over a picture", {2000, 1546, 0, {}, {{0, 1200}, {1260, 2000}}}, {}, 1200, 1260},
        // Cutting at these composition lines would take three pieces; two do.
        {"fewer pieces over line starts", {3000, 1546, 0, {}, {}, {1000, 2000}}, {}, 1454, 1546},
        {"a text line taller than a piece is cut, and said", {2000, 1546, 0, {{0, 2000}}}, {}, 454, 1546, 0, true},
        {"no tiny last piece", {1546 * 2 + 10, 1546}, {}, 0, 0, 309},
        {"the seller's smaller limit", {1800, 500, 0, TextLines(0, 1800, 30)}, {}, 0, 0, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CutPlan plan = PlanCutsWithNotes(c.in);
        EXPECT_EQ(plan.throughText, c.throughText);
        // Every row once, in pieces no taller than allowed.
        int top = 0;
        for (const int cut : plan.cuts) {
            EXPECT_GT(cut, top);
            EXPECT_LE(cut - top, c.in.maxHeight);
            EXPECT_GE(cut - top, c.fewest);
            if (!c.throughText) {
                for (const RowSpan& t : c.in.text) EXPECT_FALSE(t.top < cut && cut < t.bottom) << cut;
            }
            top = cut;
        }
        EXPECT_LE(c.in.height - top, c.in.maxHeight);
        EXPECT_GE(c.in.height - top, c.fewest);
        if (!c.want.empty() || c.in.height <= c.in.maxHeight) {
            EXPECT_EQ(plan.cuts, c.want);
        } else if (c.wantTo > 0) {
            ASSERT_EQ(plan.cuts.size(), 1u);
            EXPECT_GE(plan.cuts[0], c.wantFrom);
            EXPECT_LE(plan.cuts[0], c.wantTo);
        }
    }
}

// Random pages of text, pictures, composition lines and rows of one colour,
// planned while they are painted in bands of any height: the cuts come in
// order, never below the rows given, and are those of the whole-page plan;
// with a bound on the rows waiting, the rows waiting stay within it and the
// pieces within the rules.
TEST(MobileCutPlan, PlannedBandByBandAsThePageIsPainted) {
    std::mt19937 random(7);
    const auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int page = 0; page < 30; ++page) {
        CutInput in;
        in.height = between(100, 6000);
        in.maxHeight = between(0, 3) ? 1546 : between(64, 600);
        for (int y = between(0, 200); y < in.height;) {
            const int h = between(10, 900);
            const int kind = between(0, 3);
            if (kind == 0) in.lineStarts.push_back(y);
            for (int t = y; kind == 1 && t + 24 <= std::min(in.height, y + h); t += 30) in.text.push_back({t, t + 24});
            if (kind == 2) in.avoid.push_back({y, std::min(in.height, y + h)});
            y += h;
        }
        in.uniform.resize(static_cast<std::size_t>(in.height));
        for (float& u : in.uniform) u = between(0, 4) ? 1.0f : static_cast<float>(between(0, 100)) / 100;
        SCOPED_TRACE("page " + std::to_string(page) + ", " + std::to_string(in.height) + " rows");
        const CutPlan whole = PlanCutsWithNotes(in);

        for (const int bound : {0, 2 * in.maxHeight}) {
            CutPlanner planner(in, bound);
            std::vector<int> cuts;
            const auto take = [&] {
                for (const int c : planner.TakeCuts()) {
                    EXPECT_GT(c, cuts.empty() ? 0 : cuts.back());
                    EXPECT_LT(c, planner.RowsAdded());  // only rows already painted
                    cuts.push_back(c);
                }
            };
            for (int top = 0; top < in.height;) {
                const int rows = std::min(between(1, 400), in.height - top);
                planner.AddRows(in.uniform.data() + top, rows);
                top += rows;
                take();
                if (bound) {
                    EXPECT_LE(planner.RowsAdded() - planner.Settled(), bound + 1);
                }
            }
            planner.Finish();
            take();
            if (bound == 0) {
                EXPECT_EQ(cuts, whole.cuts);
                EXPECT_EQ(planner.ThroughText(), whole.throughText);
            } else {
                EXPECT_LE(cuts.size(), whole.cuts.size());  // a forced cut looks ahead: no extra pieces
            }
            int top = 0;
            for (const int c : cuts) {
                EXPECT_LE(c - top, in.maxHeight);
                top = c;
            }
            EXPECT_LE(in.height - top, in.maxHeight);
        }
    }
}

// A long page of one colour gives no cut that every way agrees on; with a
// bound the rows waiting stay within it all the same.
TEST(MobileCutPlan, AnEvenPageIsCutWithinTheBound) {
    CutInput in{30000, 1546};
    CutPlanner planner(in, 2000);
    const std::vector<float> band(256, 1.0f);
    std::size_t cuts = 0;
    for (int top = 0; top < in.height; top += 256) {
        planner.AddRows(band.data(), std::min(256, in.height - top));
        cuts += planner.TakeCuts().size();
        ASSERT_LE(planner.RowsAdded() - planner.Settled(), 2001);
    }
    planner.Finish();
    cuts += planner.TakeCuts().size();
    EXPECT_EQ(cuts, 19u);  // as few pieces as the whole-page plan
    EXPECT_EQ(PlanCuts(in).size(), 19u);
}

}  // namespace
}  // namespace mojian::mobile
