// The page's rows painted with GDI, a band at a time, into a DIB section of
// the band's size on white, then copied out as a raster.
#pragma once

#include <windows.h>

#include <vector>

#include "base/Scoped_win.h"
#include "html/GdiFonts_win.h"
#include "html/GdiPaint_win.h"
#include "html/PaintList.h"
#include "mobile/Seams.h"

namespace mojian::mobile {

class GdiPagePainter final : public PagePainter {
public:
    // `page` is laid out at the output's size (LayoutOptions::zoom);
    // `width` is the output's width in pixels. Every picture the page shows
    // must be loaded (Ready or Failed) before painting: a band with a
    // picture still loading is not painted (Paint gives false). The page,
    // fonts and pictures must outlive the painter.
    GdiPagePainter(const html::PageLayout& page, int width, html::GdiFonts& fonts, html::PictureSource& pictures);
    GdiPagePainter(const GdiPagePainter&) = delete;
    GdiPagePainter& operator=(const GdiPagePainter&) = delete;

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    bool Paint(int top, Raster& band) override;
    void ReleaseKept() override;

private:
    std::vector<const html::PaintOp*> PicturesIn(int top, int bottom) const;  // rows [top, bottom]
    bool PicturesReady(int top, int bottom);
    void Prefetch(int top, int bottom);
    bool Prepare(int height);

    const html::PageLayout& page_;
    int width_;
    int height_;
    html::GdiFonts& fonts_;
    html::PictureSource& pictures_;
    std::vector<const html::PaintOp*> pictureOps_;  // the page's pictures and backgrounds, not broken
    // Kept across bands: a picture met again in the next band is not
    // resampled again. A band's pictures need little; the rest of the
    // maker's memory goes to the rows waiting for a cut and the decoded
    // pictures.
    html::ScaledPictures scaled_{16u * 1024 * 1024};
    float reach_ = 8;  // how far text may draw beyond its box
    Surface surface_;  // the last band's size, reused
    int surfaceRows_ = 0;
    std::uint32_t* bits_ = nullptr;
};

}  // namespace mojian::mobile
