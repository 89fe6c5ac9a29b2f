#include <gtest/gtest.h>

#include <map>

#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/Composition.h"
#include "html/Layout.h"
#include "html/Parser.h"
#include "mobile/CutPlan.h"
#include "mobile/Geometry.h"
#include "tests/TempFolder.h"

namespace mojian::mobile {
namespace {

class Pictures : public html::PictureSource {
public:
    html::PictureInfo Query(std::string_view) override { return {html::PictureInfo::State::Ready, 200, 100}; }
    std::shared_ptr<const html::Picture> Pixels(std::string_view) override { return nullptr; }
};

struct Page {
    html::Document doc;
    html::PageLayout layout;
    PageGeometry geometry;
};

// The lines joined as the composition joins them, laid out at 750 with no margin.
std::unique_ptr<Page> Measure(const std::vector<std::string>& lines, int outputWidth) {
    auto p = std::make_unique<Page>();
    std::string html;
    std::vector<std::size_t> offsets;
    for (const std::string& l : lines) {
        offsets.push_back(html.size());
        html += l;
    }
    p->doc = html::ParseHtml(html);
    html::FixedMeasurer m;
    Pictures pictures;
    html::LayoutOptions o{750, 0};
    o.recordEveryBox = true;
    p->layout = html::LayoutDocument(p->doc, o, m, pictures);
    p->geometry = MeasurePage(p->layout, offsets, outputWidth);
    return p;
}

const PageLink* Find(const PageGeometry& g, const std::string& href) {
    for (const PageLink& l : g.links)
        if (l.href == href) return &l;
    return nullptr;
}

TEST(MobileGeometry, LinesTextPicturesAndRowsScaleToTheOutput) {
    const std::vector<std::string> lines = {
        "<div style=\"height:100px\">文字</div>",
        "<div style=\"height:200px\"><img src=\"p.png\" width=\"200\" height=\"100\"></div>",
        "<table cellspacing=0 cellpadding=0><tr><td height=50>格</td></tr></table>",
    };
    for (const int width : {750, 1242}) {
        const auto p = Measure(lines, width);
        const double s = width / 750.0;
        const PageGeometry& g = p->geometry;
        EXPECT_EQ(g.width, width);
        EXPECT_NEAR(g.height, 350 * s, 1);
        ASSERT_EQ(g.lineStarts.size(), 2u);
        EXPECT_NEAR(g.lineStarts[0], 100 * s, 1);
        EXPECT_NEAR(g.lineStarts[1], 300 * s, 1);
        ASSERT_EQ(g.text.size(), 2u);
        // One line of 16 px text, 20 high: its glyphs 2 below the line's top.
        EXPECT_NEAR(g.text[0].top, 2 * s, 1);
        EXPECT_NEAR(g.text[0].bottom, 18 * s, 1);
        bool picture = false, cell = false;
        for (const RowSpan& a : g.avoid) {
            picture = picture || (std::abs(a.top - 100 * s) <= 1 && std::abs(a.bottom - 200 * s) <= 1);
            cell = cell || (std::abs(a.top - 300 * s) <= 1 && std::abs(a.bottom - 350 * s) <= 1);
        }
        EXPECT_TRUE(picture) << width;
        EXPECT_TRUE(cell) << width;
    }
}

TEST(MobileGeometry, LinksAndImageMapAreas) {
    const auto p = Measure({
        "<div style=\"height:40px\"><a href=\"https://a.cn/\">买</a> 不是链接</div>",
        "<a href=\"https://b.cn/\"><img src=\"b.png\" width=\"200\" height=\"100\" style=\"display:block\"></a>",
        "<img src=\"m.png\" usemap=\"#m\" width=\"200\" height=\"100\" style=\"display:block\">"
        "<map name=\"m\"><area shape=\"rect\" coords=\"10,20,50,60\" href=\"https://r.cn/\">"
        "<area shape=\"circle\" coords=\"100,50,10\" href=\"https://c.cn/\">"
        "<area shape=\"poly\" coords=\"150,10,190,30,170,90\" href=\"https://p.cn/\">"
        "<area shape=\"rect\" coords=\"150,80,400,400\" href=\"https://clip.cn/\">"
        "<area shape=\"rect\" coords=\"1,2\" href=\"https://bad.cn/\"><area nohref></map>",
    }, 1500);  // twice the page: every figure doubles
    const PageGeometry& g = p->geometry;
    const struct {
        const char* href;
        float x, y, w, h;
    } want[] = {
        {"https://a.cn/", 0, 4, 32, 32},          // one CJK character at 16 px
        {"https://b.cn/", 0, 80, 400, 200},
        {"https://r.cn/", 20, 280 + 40, 80, 80},
        {"https://c.cn/", 180, 280 + 80, 40, 40},
        {"https://p.cn/", 300, 280 + 20, 80, 160},
        {"https://clip.cn/", 300, 280 + 160, 100, 40},  // cut to the picture
    };
    for (const auto& w : want) {
        const PageLink* l = Find(g, w.href);
        ASSERT_TRUE(l) << w.href;
        ASSERT_EQ(l->rects.size(), 1u) << w.href;
        EXPECT_NEAR(l->rects[0].x, w.x, 1) << w.href;
        EXPECT_NEAR(l->rects[0].y, w.y, 1) << w.href;
        EXPECT_NEAR(l->rects[0].w, w.w, 1) << w.href;
        EXPECT_NEAR(l->rects[0].h, w.h, 1) << w.href;
    }
    EXPECT_EQ(Find(g, "https://bad.cn/"), nullptr);
    EXPECT_EQ(g.links.size(), 6u);
}

TEST(MobileGeometry, LineOffsetsPointAtEachLineInThePage) {
    testing::TempFolder temp;
    Composition c;
    c.AddCustom("<p>一</p>");
    c.AddCustom("");
    c.AddBuiltIn(0, 0);
    c.AddCustom("<p>三</p>");
    const std::string page = c.PageHtml();
    const std::vector<std::size_t> offsets = LineOffsets(c);
    ASSERT_EQ(offsets.size(), 4u);
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        if (const auto html = c.LineHtml(i)) {
            EXPECT_EQ(page.substr(offsets[i], html->size()), *html) << i;
        }
    }
}

// The ninety blocks as one page: every line begins where no text is, and
// the cuts keep every text line whole at both output widths.
TEST(MobileGeometry, CutsKeepEveryTextLineOfTheBuiltInBlocksWhole) {
    std::vector<std::string> lines;
    for (int kind = 0; kind < kKindCount; ++kind)
        for (int style = 0; style < kStyleCounts[kind]; ++style) lines.push_back(BuiltInLibrary().Get(kind, style));
    for (const int width : {750, 1242}) {
        SCOPED_TRACE(width);
        const auto page = Measure(lines, width);
        const PageGeometry& g = page->geometry;
        EXPECT_GT(g.lineStarts.size(), 80u);
        const CutPlan plan = PlanCutsWithNotes({g.height, 1546, 0, g.text, g.avoid, g.lineStarts, {}});
        EXPECT_FALSE(plan.throughText);
        EXPECT_LE(plan.cuts.size(), static_cast<std::size_t>(g.height / 1546 + 3));
        std::vector<int> rows = plan.cuts;
        rows.insert(rows.end(), g.lineStarts.begin(), g.lineStarts.end());
        for (const int c : rows)
            for (const RowSpan& t : g.text) ASSERT_FALSE(t.top < c && c < t.bottom) << c;
    }
}

}  // namespace
}  // namespace mojian::mobile
