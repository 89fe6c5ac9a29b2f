#include <gtest/gtest.h>

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

}  // namespace
}  // namespace mojian::mobile
