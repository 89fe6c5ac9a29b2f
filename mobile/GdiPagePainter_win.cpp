#include "mobile/GdiPagePainter_win.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace mojian::mobile {

namespace {
constexpr int kAheadRows = 1024;  // below a band, whose pictures are asked for ahead
}

GdiPagePainter::GdiPagePainter(const html::PageLayout& page, int width, html::GdiFonts& fonts,
                               html::PictureSource& pictures)
    : page_(page),
      width_(std::max(0, width)),
      height_(std::max(0, static_cast<int>(std::ceil(std::clamp(page.height, 0.0f, 1.0e8f))))),
      fonts_(fonts),
      pictures_(pictures) {
    // One paint shows every picture at once, never "resampled later".
    scaled_.SetImmediate(true);
    // Glyphs reach past their boxes (italics, big accents): ops just outside
    // a band are painted too, as they are in the neighbouring band, so that
    // both bands draw the same ink on their common edge.
    for (const html::FontKey& font : page.fonts) reach_ = std::max(reach_, font.size);
    // Every band asks about the pictures it meets: they are found once, not
    // among all the page's ops each time.
    for (const html::PaintOp& op : page.ops)
        if ((op.kind == html::PaintOp::Kind::Picture || op.kind == html::PaintOp::Kind::Background) && !op.broken)
            pictureOps_.push_back(&op);
}

std::vector<const html::PaintOp*> GdiPagePainter::PicturesIn(int top, int bottom) const {
    std::vector<const html::PaintOp*> in;
    for (const html::PaintOp* op : pictureOps_) {
        const html::Rect& r = op->kind == html::PaintOp::Kind::Background ? op->clip : op->rect;
        if (r.Bottom() >= static_cast<float>(top) && r.y <= static_cast<float>(bottom)) in.push_back(op);
    }
    return in;
}

bool GdiPagePainter::PicturesReady(int top, int bottom) {
    for (const html::PaintOp* op : PicturesIn(top, bottom))
        if (pictures_.Query(op->url).state == html::PictureInfo::State::Loading) return false;
    return true;
}

// Bands are painted down the page: the pictures of the rows just below are
// asked for now, so that one dropped from memory is back when its band comes.
void GdiPagePainter::Prefetch(int top, int bottom) {
    for (const html::PaintOp* op : PicturesIn(top, bottom)) pictures_.Prefetch(op->url);
}

bool GdiPagePainter::Prepare(int rows) {
    // A surface at least as tall serves: pieces of many heights do not each
    // make a bitmap of their own.
    if (surface_ && surfaceRows_ >= rows) return true;
    surface_.reset();
    bits_ = nullptr;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width_;
    bi.bmiHeader.biHeight = -rows;  // top-down, as rasters are
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    Bitmap bitmap(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) return false;
    surface_ = Surface(CreateMemoryDc(), std::move(bitmap));
    if (!surface_) return false;
    bits_ = static_cast<std::uint32_t*>(bits);
    surfaceRows_ = rows;
    return true;
}

bool GdiPagePainter::Paint(int top, Raster& band) {
    const int rows = band.height;
    if (width_ <= 0 || band.width != width_ || rows <= 0 || top < 0 || top > height_ - rows) return false;
    const std::size_t count = static_cast<std::size_t>(width_) * static_cast<std::size_t>(rows);
    if (!PicturesReady(top, top + rows) || !Prepare(rows)) return false;
    HDC dc = surface_.dc();
    const RECT all{0, 0, width_, rows};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const int reach = static_cast<int>(std::ceil(reach_));
    const RECT clip{0, -reach, width_, rows + reach};
    html::PaintLayout(dc, page_, fonts_, pictures_, scaled_, 0, -top, clip);
    GdiFlush();  // GDI may batch: the bits are read next
    band.pixels.resize(count);
    // GDI leaves the alpha byte as it pleases; the page is opaque.
    for (std::size_t i = 0; i < count; ++i) band.pixels[i] = bits_[i] | 0xFF000000u;
    Prefetch(top + rows, top + rows + kAheadRows);
    return true;
}

void GdiPagePainter::ReleaseKept() {
    scaled_.Clear();
    surface_.reset();
    bits_ = nullptr;
    surfaceRows_ = 0;
}

}  // namespace mojian::mobile
