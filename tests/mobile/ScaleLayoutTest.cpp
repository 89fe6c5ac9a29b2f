#include "mobile/ScaleLayout.h"

#include <gtest/gtest.h>

#include <cmath>

#include "html/Layout.h"
#include "html/Parser.h"

namespace mojian::mobile {
namespace {

html::PageLayout Lay(const std::string& page) {
    html::FixedMeasurer measurer;
    return html::LayoutDocument(html::ParseHtml(page), html::LayoutOptions{750, 0}, measurer);
}

void ExpectScaled(const html::Rect& got, const html::Rect& was, float s) {
    EXPECT_FLOAT_EQ(got.x, was.x * s);
    EXPECT_FLOAT_EQ(got.y, was.y * s);
    EXPECT_FLOAT_EQ(got.w, was.w * s);
    EXPECT_FLOAT_EQ(got.h, was.h * s);
}

TEST(ScaleLayout, EveryLengthThePainterUsesGrowsByTheFactor) {
    const html::PageLayout page =
        Lay("<div style='background:#c00;height:40px;overflow:hidden'>x</div>"
            "<p style='font-size:20px;letter-spacing:2px;word-spacing:3px'>a b <u>c</u></p>"
            "<img src='p.png' width=100 height=50>");
    ASSERT_FALSE(page.ops.empty());
    for (float s : {1242.0f / 750.0f, 750.0f / 790.0f, 2.0f}) {
        SCOPED_TRACE(s);
        const html::PageLayout big = ScaleLayout(page, s);
        EXPECT_FLOAT_EQ(big.width, page.width * s);
        EXPECT_FLOAT_EQ(big.height, page.height * s);
        ASSERT_EQ(big.fonts.size(), page.fonts.size());
        for (std::size_t i = 0; i < page.fonts.size(); ++i) {
            EXPECT_FLOAT_EQ(big.fonts[i].size, page.fonts[i].size * s);
            EXPECT_EQ(big.fonts[i].family, page.fonts[i].family);
        }
        ASSERT_EQ(big.ops.size(), page.ops.size());
        for (std::size_t i = 0; i < page.ops.size(); ++i) {
            const html::PaintOp &a = page.ops[i], &b = big.ops[i];
            ExpectScaled(b.rect, a.rect, s);
            ExpectScaled(b.clip, a.clip, s);
            EXPECT_FLOAT_EQ(b.baseline, a.baseline * s);
            EXPECT_FLOAT_EQ(b.letterSpacing, a.letterSpacing * s);
            EXPECT_FLOAT_EQ(b.wordSpacing, a.wordSpacing * s);
            EXPECT_EQ(b.text, a.text);
            EXPECT_EQ(b.url, a.url);
            EXPECT_EQ(b.font, a.font);
        }
        ASSERT_EQ(big.boxes.size(), page.boxes.size());
        for (std::size_t i = 0; i < page.boxes.size(); ++i) ExpectScaled(big.boxes[i].rect, page.boxes[i].rect, s);
    }
}

TEST(ScaleLayout, BackgroundsScaleTheirTileAndPixelPlacesButNotPercentages) {
    html::PageLayout page;
    html::PaintOp op;
    op.kind = html::PaintOp::Kind::Background;
    op.positionX = {html::Length::Px, 10};
    op.positionY = {html::Length::Percent, 50};
    page.ops.push_back(op);
    const html::PaintOp& got = ScaleLayout(page, 1.5f).ops[0];
    EXPECT_FLOAT_EQ(got.positionX.value, 15);
    EXPECT_FLOAT_EQ(got.positionY.value, 50);
    EXPECT_FLOAT_EQ(got.tileScale, 1.5f);
}

TEST(ScaleLayout, ANonsenseFactorLeavesThePageAsItWas) {
    const html::PageLayout page = Lay("<p>text</p>");
    for (float s : {0.0f, -1.0f, NAN, INFINITY}) {
        const html::PageLayout same = ScaleLayout(page, s);
        EXPECT_EQ(same.height, page.height);
        EXPECT_EQ(same.fonts[0].size, page.fonts[0].size);
    }
}

}  // namespace
}  // namespace mojian::mobile
