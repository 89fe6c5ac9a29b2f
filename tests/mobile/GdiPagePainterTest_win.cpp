#include "mobile/GdiPagePainter_win.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "html/Layout.h"
#include "html/Parser.h"
#include "html/PictureScaling.h"
#include "mobile/ScaleLayout.h"
#include "tests/skin/WinSupport.h"

namespace mojian::mobile {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFFFF;

// "pic.png" is a 200 x 100 picture of fine stripes, so that a picture
// shrunk from it differs from one enlarged from a smaller copy; "wait.png"
// never comes.
class FakePictures final : public html::PictureSource {
public:
    FakePictures() : picture_(std::make_shared<html::Picture>()) {
        picture_->width = 200;
        picture_->height = 100;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 200; ++x) picture_->pixels.push_back((x / 3 + y / 2) % 2 ? 0xFFE03010 : 0xFF1040C0);
    }
    html::PictureInfo Query(std::string_view url) override {
        if (url == "pic.png") return {html::PictureInfo::State::Ready, 200, 100};
        if (url == "wait.png") return {html::PictureInfo::State::Loading, 0, 0};
        return {};
    }
    std::shared_ptr<const html::Picture> Pixels(std::string_view url) override {
        return url == "pic.png" ? picture_ : nullptr;
    }
    const html::Picture& Original() const { return *picture_; }

private:
    std::shared_ptr<html::Picture> picture_;
};

constexpr const char* kPage =
    "<div style='background:#3a7;height:30px'></div>"
    "<p style='margin:4px 0;font-size:16px;color:#000'>墨笺 Text gyq</p>"
    "<img src='pic.png' width=40 height=20 style='display:block'>";

struct Fixture {
    html::GdiFonts fonts;
    FakePictures pictures;
    html::PageLayout page = html::LayoutDocument(html::ParseHtml(kPage), html::LayoutOptions{200, 0}, fonts, pictures);
};

// The page painted whole and then in bands of the given heights.
Raster PaintInBands(PagePainter& painter, std::vector<int> heights) {
    Raster page{painter.Width(), 0, {}};
    int top = 0;
    for (int h : heights) {
        Raster band{painter.Width(), h, {}};
        EXPECT_TRUE(painter.Paint(top, band));
        page.pixels.insert(page.pixels.end(), band.pixels.begin(), band.pixels.end());
        top += h;
    }
    page.height = top;
    return page;
}

// The rows and columns with ink other than white and the div's green.
struct Ink {
    int top = 1 << 30, bottom = -1, left = 1 << 30, right = -1;
};
Ink TextInk(const Raster& r, int fromRow, int toRow) {
    Ink ink;
    for (int y = fromRow; y < toRow; ++y)
        for (int x = 0; x < r.width; ++x)
            if (r.pixels[static_cast<std::size_t>(y) * r.width + x] != kWhite) {
                ink.top = std::min(ink.top, y);
                ink.bottom = std::max(ink.bottom, y);
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
            }
    return ink;
}

TEST(GdiPagePainter, BandsStackedGiveThePagePaintedWhole) {
    Fixture f;
    GdiPagePainter painter(f.page, 200, f.fonts, f.pictures);
    ASSERT_EQ(painter.Height(), static_cast<int>(std::ceil(f.page.height)));
    const int h = painter.Height();
    const Raster whole = PaintInBands(painter, {h});
    EXPECT_EQ(whole.pixels[5 * 200 + 5], 0xFF33AA77u);  // the div
    // Cut through the text line (rows 34..), through the picture, and in odd sizes.
    for (const std::vector<int>& bands : {std::vector<int>{42, h - 42}, std::vector<int>{40, 15, h - 55},
                                           std::vector<int>{1, 7, 30, 2, h - 40}}) {
        const Raster stacked = PaintInBands(painter, bands);
        ASSERT_EQ(stacked.pixels.size(), whole.pixels.size());
        for (int y = 0; y < h; ++y)
            ASSERT_TRUE(std::equal(whole.pixels.begin() + y * 200, whole.pixels.begin() + (y + 1) * 200,
                                   stacked.pixels.begin() + y * 200))
                << "row " << y << " with the cut at " << bands[0];
    }
}

TEST(GdiPagePainter, AScaledPageHasBiggerTextAndPicturesResampledFromTheirOriginals) {
    Fixture f;
    constexpr float kScale = 1.656f;
    const html::PageLayout big = ScaleLayout(f.page, kScale);
    GdiPagePainter small(f.page, 200, f.fonts, f.pictures), large(big, 331, f.fonts, f.pictures);
    const Raster a = PaintInBands(small, {small.Height()});
    const Raster b = PaintInBands(large, {large.Height() / 2, large.Height() - large.Height() / 2});
    // The text line: between the div and the picture.
    const Ink inkA = TextInk(a, 30, 30 + 26), inkB = TextInk(b, 50, 50 + 43);
    ASSERT_GE(inkA.bottom, 0);
    ASSERT_GE(inkB.bottom, 0);
    EXPECT_NEAR(inkB.bottom - inkB.top, (inkA.bottom - inkA.top) * kScale, 3);
    EXPECT_NEAR(inkB.right - inkB.left, (inkA.right - inkA.left) * kScale, 6);
    // The picture: drawn at its new size straight from the 200 x 100 original.
    const html::PaintOp* picture = nullptr;
    for (const html::PaintOp& op : big.ops)
        if (op.kind == html::PaintOp::Kind::Picture) picture = &op;
    ASSERT_TRUE(picture);
    const int x = static_cast<int>(std::lround(picture->rect.x)), y = static_cast<int>(std::lround(picture->rect.y));
    const int w = static_cast<int>(std::lround(picture->rect.w)), ph = static_cast<int>(std::lround(picture->rect.h));
    EXPECT_EQ(w, 66);
    const html::Picture expected = html::ScalePicture(f.pictures.Original(), w, ph);
    for (int row = 0; row < ph; ++row)
        for (int col = 0; col < w; ++col)
            ASSERT_EQ(b.pixels[static_cast<std::size_t>(y + row) * 331 + x + col],
                      expected.pixels[static_cast<std::size_t>(row) * w + col])
                << col << "," << row;
}

TEST(GdiPagePainter, GdiObjectsComeBackAndBadRequestsAreRefused) {
    Fixture f;
    { GdiPagePainter warm(f.page, 200, f.fonts, f.pictures); PaintInBands(warm, {warm.Height()}); }  // the fonts' own
    const int before = testing::LiveGdiObjects();
    {
        GdiPagePainter painter(f.page, 200, f.fonts, f.pictures);
        for (int i = 0; i < 20; ++i) PaintInBands(painter, {10 + i, painter.Height() - 10 - i});
        Raster band{200, 10, {}};
        EXPECT_FALSE(painter.Paint(-1, band));
        EXPECT_FALSE(painter.Paint(painter.Height() - 9, band));  // past the page's end
        Raster wrong{199, 10, {}};
        EXPECT_FALSE(painter.Paint(0, wrong));
    }
    EXPECT_EQ(testing::LiveGdiObjects(), before);

    // A picture still loading: the band it is in is not painted, the others are.
    html::GdiFonts fonts;
    FakePictures pictures;
    const html::PageLayout page = html::LayoutDocument(
        html::ParseHtml("<div style='height:50px'></div><img src='wait.png' width=40 height=20 style='display:block'>"),
        html::LayoutOptions{100, 0}, fonts, pictures);
    GdiPagePainter painter(page, 100, fonts, pictures);
    Raster band{100, 40, {}};
    EXPECT_TRUE(painter.Paint(0, band));
    EXPECT_FALSE(painter.Paint(30, band));
}

}  // namespace
}  // namespace mojian::mobile
