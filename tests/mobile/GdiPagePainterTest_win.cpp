#include "mobile/GdiPagePainter_win.h"

#include <gtest/gtest.h>

#include <cmath>

#include "html/Layout.h"
#include "html/Parser.h"
#include "html/PictureScaling.h"
#include "tests/skin/WinSupport.h"

namespace mojian::mobile {
namespace {

// "pic.png": 200 x 100 fine stripes, so that a picture shrunk from it
// differs from one enlarged from a smaller copy; "wait.png" never comes.
class FakePictures final : public html::PictureSource {
public:
    FakePictures() {
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 200; ++x) picture->pixels.push_back((x / 3 + y / 2) % 2 ? 0xFFE03010 : 0xFF1040C0);
    }
    html::PictureInfo Query(std::string_view url) override {
        if (url == "wait.png") return {html::PictureInfo::State::Loading, 0, 0};
        const bool ready = url == "pic.png" || url == "near.png" || url == "far.png";
        return {ready ? html::PictureInfo::State::Ready : html::PictureInfo::State::Failed, 200, 100};
    }
    std::shared_ptr<const html::Picture> Pixels(std::string_view url) override {
        return url == "pic.png" ? picture : nullptr;
    }
    void Prefetch(std::string_view url) override { prefetched.emplace_back(url); }
    std::shared_ptr<html::Picture> picture = std::make_shared<html::Picture>(html::Picture{200, 100, {}});
    std::vector<std::string> prefetched;
};

struct Page {
    explicit Page(const char* html, float width = 200) {
        layout = html::LayoutDocument(html::ParseHtml(html), html::LayoutOptions{width, 0}, fonts, pictures);
    }
    html::GdiFonts fonts;
    FakePictures pictures;
    html::PageLayout layout;
};

constexpr const char* kPage =
    "<div style='background:url(pic.png);height:30px'></div>"
    "<p style='margin:4px 0;font-size:16px'>墨笺 Text gyq</p>"
    "<img src='pic.png' width=40 height=20 style='display:block'>";

// Bands of these heights, painted and stacked.
Raster Stacked(PagePainter& painter, const std::vector<int>& heights) {
    Raster page{painter.Width(), 0, {}};
    for (int h : heights) {
        Raster band{painter.Width(), h, {}};
        EXPECT_TRUE(painter.Paint(page.height, band));
        page.pixels.insert(page.pixels.end(), band.pixels.begin(), band.pixels.end());
        page.height += h;
    }
    return page;
}

// The height and width of what is not white in rows [from, to).
std::pair<int, int> InkSize(const Raster& r, int from, int to) {
    int top = to, bottom = from, left = r.width, right = 0;
    for (int y = from; y < to; ++y)
        for (int x = 0; x < r.width; ++x)
            if (r.pixels[static_cast<std::size_t>(y) * r.width + x] != 0xFFFFFFFF) {
                top = std::min(top, y), bottom = std::max(bottom, y);
                left = std::min(left, x), right = std::max(right, x);
            }
    return {bottom - top, right - left};
}

TEST(GdiPagePainter, BandsStackedGiveThePagePaintedWhole) {
    // A big italic heading on a tight line: its glyphs reach out of its line.
    Page p((std::string(kPage) + "<p style='font:italic 48px serif;line-height:8px;margin:30px 0'>gyqfj</p>").c_str());
    GdiPagePainter painter(p.layout, 200, p.fonts, p.pictures);
    const int h = painter.Height();
    ASSERT_EQ(h, static_cast<int>(std::ceil(p.layout.height)));
    const Raster whole = Stacked(painter, {h});
    EXPECT_EQ(whole.pixels[5 * 200 + 5], p.pictures.picture->pixels[5 * 200 + 5]);  // the div's background
    // Cut every few rows, so every line and picture is cut somewhere.
    // What painting keeps does not keep the decoded original: the loader's memory bound holds.
    EXPECT_EQ(p.pictures.picture.use_count(), 1);
    for (int step : {5, 7, 42}) {
        std::vector<int> bands(static_cast<std::size_t>(h / step), step);
        bands.push_back(h % step ? h % step : step);
        if (h % step == 0) bands.pop_back();
        const Raster stacked = Stacked(painter, bands);
        for (int y = 0; y < h; ++y)
            ASSERT_TRUE(std::equal(whole.pixels.begin() + y * 200, whole.pixels.begin() + (y + 1) * 200,
                                   stacked.pixels.begin() + y * 200))
                << "row " << y << " in bands of " << step;
    }
}

TEST(GdiPagePainter, AZoomedPageHasBiggerTextAndPicturesResampledFromTheirOriginals) {
    Page p(kPage);
    constexpr float kScale = 1.656f;
    html::LayoutOptions zoomed{200 * kScale, 0};
    zoomed.zoom = kScale;
    const html::PageLayout big = html::LayoutDocument(html::ParseHtml(kPage), zoomed, p.fonts, p.pictures);
    GdiPagePainter small(p.layout, 200, p.fonts, p.pictures), large(big, 331, p.fonts, p.pictures);
    const Raster a = Stacked(small, {small.Height()});
    const Raster b = Stacked(large, {large.Height() / 2, large.Height() - large.Height() / 2});
    const auto inkA = InkSize(a, 30, 56), inkB = InkSize(b, 50, 93);  // the text line
    EXPECT_NEAR(inkB.first, inkA.first * kScale, 3);
    EXPECT_NEAR(inkB.second, inkA.second * kScale, 6);
    // Pictures are made from their originals at the scaled size.
    // Whether the first `rows` of `part` are on the page at (x, y).
    auto shows = [&](const html::Picture& part, int x, int y, int rows) {
        for (int row = 0; row < rows; ++row)
            if (!std::equal(part.pixels.begin() + row * part.width, part.pixels.begin() + (row + 1) * part.width,
                            b.pixels.begin() + (y + row) * b.width + x))
                return false;
        return true;
    };
    EXPECT_TRUE(shows(html::ScalePicture(*p.pictures.picture, 331, 166), 0, 0, 45));  // the div's background tile
    const html::Rect& box = big.ops.back().rect;  // the picture, painted last
    ASSERT_EQ(std::lround(box.w), 66);
    EXPECT_TRUE(shows(html::ScalePicture(*p.pictures.picture, 66, static_cast<int>(std::lround(box.h))),
                      static_cast<int>(std::lround(box.x)), static_cast<int>(std::lround(box.y)),
                      static_cast<int>(std::lround(box.h))));
}

TEST(GdiPagePainter, GdiObjectsComeBackAndWhatCannotBePaintedIsRefused) {
    Page p(kPage);
    {
        GdiPagePainter warm(p.layout, 200, p.fonts, p.pictures);
        Stacked(warm, {warm.Height()});
    }
    const int before = testing::LiveGdiObjects();  // the fonts' own made above
    {
        GdiPagePainter painter(p.layout, 200, p.fonts, p.pictures);
        for (int i = 0; i < 20; ++i) Stacked(painter, {10 + i, painter.Height() - 10 - i});
        Raster band{200, 10, {}}, narrow{199, 10, {}};
        EXPECT_FALSE(painter.Paint(-1, band));
        EXPECT_FALSE(painter.Paint(painter.Height() - 9, band));  // past the end
        EXPECT_FALSE(painter.Paint(0, narrow));
    }
    EXPECT_EQ(testing::LiveGdiObjects(), before);
    // A picture still loading: its band is not painted, the others are.
    Page waiting("<div style='height:50px'></div><img src='wait.png' width=40 height=20 style='display:block'>", 100);
    GdiPagePainter painter(waiting.layout, 100, waiting.fonts, waiting.pictures);
    Raster band{100, 40, {}};
    EXPECT_TRUE(painter.Paint(0, band));
    EXPECT_FALSE(painter.Paint(30, band));

    // Painting down the page asks ahead for the pictures just below the band, not for those far below.
    Page ahead("<div style='height:300px'></div><img src='near.png' width=40 height=20 style='display:block'>"
               "<div style='height:3000px'></div><img src='far.png' width=40 height=20 style='display:block'>", 100);
    GdiPagePainter down(ahead.layout, 100, ahead.fonts, ahead.pictures);
    EXPECT_TRUE(down.Paint(0, band));
    EXPECT_EQ(ahead.pictures.prefetched, std::vector<std::string>{"near.png"});
}

}  // namespace
}  // namespace mojian::mobile
