#include <gtest/gtest.h>

#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "html/Layout.h"
#include "html/Parser.h"
#include "mobile/CutPlan.h"

namespace mojian::mobile {
namespace {

class Pictures final : public html::PictureSource {
public:
    html::PictureInfo Query(std::string_view) override { return {html::PictureInfo::State::Ready, 750, 500}; }
    std::shared_ptr<const html::Picture> Pixels(std::string_view) override { return nullptr; }
};

// The ninety blocks as one page: every line begins where no text is, and
// the cuts keep every text line whole at both output widths.
TEST(MobileBlocksPage, CutsKeepEveryTextLineOfTheBuiltInBlocksWhole) {
    std::string page;
    std::vector<std::size_t> offsets;
    for (int kind = 0; kind < kKindCount; ++kind)
        for (int style = 0; style < kStyleCounts[kind]; ++style) {
            offsets.push_back(page.size());
            page += BuiltInLibrary().Get(kind, style);
        }
    const html::Document doc = html::ParseHtml(page);
    html::FixedMeasurer m;
    Pictures pictures;
    html::LayoutOptions o{750, 0};
    o.recordEveryBox = true;
    const html::PageLayout layout = html::LayoutDocument(doc, o, m, pictures);
    for (const int width : {750, 1242}) {
        SCOPED_TRACE(width);
        const PageGeometry g = MeasurePage(layout, offsets, width);
        EXPECT_GT(g.lineStarts.size(), 80u);
        CutInput in{g.height, 1546, 0, g.text, g.avoid, g.lineStarts, {}};
        const CutPlan plan = PlanCutsWithNotes(in);
        EXPECT_FALSE(plan.throughText);
        int atLines = 0, previous = 0;
        for (const int c : plan.cuts) {
            for (const RowSpan& t : g.text) ASSERT_FALSE(t.top < c && c < t.bottom) << c;
            EXPECT_LE(c - previous, 1546);
            previous = c;
            atLines += std::binary_search(g.lineStarts.begin(), g.lineStarts.end(), c);
        }
        for (int s : g.lineStarts)
            for (const RowSpan& t : g.text) EXPECT_FALSE(t.top < s && s < t.bottom) << s;
    }
}

}  // namespace
}  // namespace mojian::mobile
