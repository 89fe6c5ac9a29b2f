#include "mobile/ScaleLayout.h"

#include <gtest/gtest.h>

#include <cmath>

#include "html/Layout.h"
#include "html/Parser.h"

namespace mojian::mobile {
namespace {

TEST(ScaleLayout, WhatThePainterDrawsGrowsByTheFactorAndANonsenseFactorChangesNothing) {
    html::FixedMeasurer measurer;
    html::PageLayout page = html::LayoutDocument(
        html::ParseHtml("<p style='font-size:20px;letter-spacing:2px'>a b</p><img src=p width=100 height=50>"),
        html::LayoutOptions{750, 0}, measurer);
    html::PaintOp background;
    background.kind = html::PaintOp::Kind::Background;
    background.positionX = {html::Length::Px, 10};
    background.positionY = {html::Length::Percent, 50};  // against the box, which scales already
    page.ops.push_back(background);
    const struct {
        float factor, expected;
    } cases[] = {{1242.0f / 750, 1242.0f / 750}, {750.0f / 790, 750.0f / 790}, {0, 1}, {-2, 1}, {NAN, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.factor);
        const html::PageLayout big = ScaleLayout(page, c.factor);
        const float s = c.expected;
        EXPECT_FLOAT_EQ(big.height, page.height * s);
        EXPECT_FLOAT_EQ(big.fonts[0].size, 20 * s);
        for (std::size_t i = 0; i < page.ops.size(); ++i) {
            const html::PaintOp &a = page.ops[i], &b = big.ops[i];
            EXPECT_FLOAT_EQ(b.rect.Right(), a.rect.Right() * s);
            EXPECT_FLOAT_EQ(b.rect.Bottom(), a.rect.Bottom() * s);
            EXPECT_FLOAT_EQ(b.baseline, a.baseline * s);
            EXPECT_FLOAT_EQ(b.letterSpacing, a.letterSpacing * s);
        }
        const html::PaintOp& tile = big.ops.back();
        EXPECT_FLOAT_EQ(tile.tileScale, s);
        EXPECT_FLOAT_EQ(tile.positionX.value, 10 * s);
        EXPECT_FLOAT_EQ(tile.positionY.value, 50);
        EXPECT_FLOAT_EQ(big.boxes.back().rect.w, 100 * s);
    }
}

}  // namespace
}  // namespace mojian::mobile
