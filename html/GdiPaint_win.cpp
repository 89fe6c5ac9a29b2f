#include "html/GdiPaint_win.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "html/PictureLayout.h"
#include "html/PictureScaling.h"

namespace mojian::html {

namespace {

// Device coordinates stay far inside LONG whatever sizes a page asks for.
LONG Device(float v) { return static_cast<LONG>(std::lround(std::clamp(v, -1.0e8f, 1.0e8f))); }

RECT ToRect(const Rect& r, int ox, int oy) {
    const LONG left = Device(r.x) + ox, top = Device(r.y) + oy;
    return RECT{left, top, left + Device(r.w), top + Device(r.h)};
}

COLORREF Ref(Color c) { return RGB((c >> 16) & 0xff, (c >> 8) & 0xff, c & 0xff); }

void FillColour(HDC dc, const RECT& r, Color c) {
    // SetDCBrushColor avoids a brush per rectangle.
    SetDCBrushColor(dc, Ref(c));
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

// The browser's broken-picture icon: a torn page with a picture on it, 16 x 16.
void DrawBrokenIcon(HDC dc, int x, int y) {
    FillColour(dc, RECT{x + 1, y + 1, x + 14, y + 15}, 0x8c8c8c);
    FillColour(dc, RECT{x + 2, y + 2, x + 13, y + 14}, 0xffffff);
    FillColour(dc, RECT{x + 3, y + 3, x + 12, y + 8}, 0x9fc5e8);   // sky
    FillColour(dc, RECT{x + 3, y + 8, x + 12, y + 13}, 0x6aa84f);  // hill
    FillColour(dc, RECT{x + 9, y + 4, x + 11, y + 6}, 0xf1c232);   // sun
    // The tear across it.
    for (int i = 0; i < 5; ++i) FillColour(dc, RECT{x + 7 + i % 2, y + 2 + 2 * i, x + 9 + i % 2, y + 4 + 2 * i}, 0xffffff);
}

// A picture kept at its page size but not loaded: a silver frame, the icon
// and the alt text inside as room allows, as browsers draw it.
void DrawBroken(HDC dc, const PaintOp& op, const RECT& r, GdiFonts& fonts, const PageLayout& page) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    FillColour(dc, RECT{r.left, r.top, r.right, r.top + 1}, 0xc0c0c0);
    FillColour(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, 0xc0c0c0);
    FillColour(dc, RECT{r.left, r.top, r.left + 1, r.bottom}, 0xc0c0c0);
    FillColour(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, 0xc0c0c0);
    const SaveDc saved(dc);
    IntersectClipRect(dc, r.left + 1, r.top + 1, r.right - 1, r.bottom - 1);
    int textLeft = r.left + 2;
    if (r.right - r.left >= kBrokenIconRoomPx && r.bottom - r.top >= kBrokenIconRoomPx) {
        DrawBrokenIcon(dc, r.left + 2, r.top + 2);
        textLeft += static_cast<int>(kBrokenIconPx);
    }
    if (op.text.empty() || op.font < 0 || static_cast<std::size_t>(op.font) >= page.fonts.size()) return;
    Selection font(dc, fonts.Get(page.fonts[static_cast<std::size_t>(op.font)]));
    SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    SetTextColor(dc, Ref(op.color));  // browsers show alt text in the element's colour
    SetTextCharacterExtra(dc, 0);
    RECT text{textLeft, r.top + 2, r.right - 2, r.bottom - 1};
    if (text.right > text.left && text.bottom > text.top)
        DrawTextW(dc, reinterpret_cast<const wchar_t*>(op.text.c_str()), static_cast<int>(op.text.size()), &text,
                  DT_LEFT | DT_TOP | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
}

Bitmap MakeDib(const Picture& p) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = p.width;
    bi.bmiHeader.biHeight = -p.height;  // rows top to bottom, as the picture has them
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    Bitmap bitmap(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) return Bitmap();
    std::memcpy(bits, p.pixels.data(), p.pixels.size() * sizeof(std::uint32_t));
    return bitmap;
}

constexpr long long kLargestKeptScaledBytes = 16LL * 1024 * 1024;

// Copies of a tile side by side until the block is at least this wide (or
// high), so that a small repeated picture is drawn with a few blits.
constexpr int kTileBlockPx = 256;

// One paint's blitting: a memory context each kept bitmap is selected into
// for its blit (and out again, so the cache may let it go at any time).
class Blitter {
public:
    explicit Blitter(HDC dc) : dc_(dc), memory_(CreateMemoryDc(dc)) {}

    // The part (sx, sy, w, h) of the entry's bitmap to (x, y).
    void Draw(const ScaledPictures::Entry& e, int x, int y, int sx, int sy, int w, int h) {
        if (!memory_ || w <= 0 || h <= 0) return;
        const Selection bitmap(memory_.get(), e.bitmap.get());
        if (e.opaque) {
            BitBlt(dc_, x, y, w, h, memory_.get(), sx, sy, SRCCOPY);
        } else {
            const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            AlphaBlend(dc_, x, y, w, h, memory_.get(), sx, sy, w, h, blend);
        }
    }

private:
    HDC dc_;
    OwnedDc memory_;
};

// Text as layout placed it: each character where its measured advances,
// kerning and spacing put it, each run in the face that has its characters.
void DrawText(HDC dc, GdiFonts& fonts, const FontKey& font, const PaintOp& op, float left, int baseline) {
    const std::u16string& text = op.text;
    if (text.empty()) return;
    std::vector<float> starts;
    starts.reserve(text.size() + 1);
    const float total = PlaceText(
        text, op.letterSpacing, op.wordSpacing, [&](char32_t c) { return fonts.Advance(font, c); },
        [&](char32_t a, char32_t b) { return fonts.Kerning(font, a, b); }, &starts);
    starts.push_back(total);
    auto at = [&](std::size_t i) { return static_cast<int>(std::lround(left + starts[i])); };
    SetTextAlign(dc, TA_LEFT | TA_BASELINE);
    SetTextColor(dc, Ref(op.color));
    SetTextCharacterExtra(dc, 0);
    std::vector<INT> dx;
    for (const GdiFonts::Run& run : fonts.Runs(font, text)) {
        dx.clear();
        for (std::size_t i = run.begin; i < run.end; ++i) dx.push_back(at(i + 1) - at(i));
        std::u16string shown(text.substr(run.begin, run.end - run.begin));
        std::replace(shown.begin(), shown.end(), u'\u200B', u' ');  // nothing to see, no glyph box
        const Selection select(dc, run.font);
        ExtTextOutW(dc, at(run.begin), baseline, 0, nullptr, reinterpret_cast<const wchar_t*>(shown.data()),
                    static_cast<UINT>(shown.size()), dx.data());
    }
}

RECT Intersect(const RECT& a, const RECT& b) {
    return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

void DrawPicture(Blitter& blit, ScaledPictures& scaled, PictureSource& pictures, const PaintOp& op, const RECT& r,
                 const RECT& clip) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return;
    const std::shared_ptr<const Picture> pixels = pictures.Pixels(op.url);
    if (!pixels) return;  // loading (or reloading): the browser leaves the box empty meanwhile
    const RECT visible = Intersect(r, clip);
    if (visible.right <= visible.left || visible.bottom <= visible.top) return;
    // A picture that would take more than this scaled whole (a 30,000-px
    // banner at a phone's width is hundreds of MB) is scaled for the rows
    // this paint shows, and kept no longer than the paint.
    if (static_cast<long long>(w) * h * 4 > kLargestKeptScaledBytes) {
        const Picture rows = ScalePictureRows(*pixels, w, h, visible.top - r.top, visible.bottom - visible.top);
        ScaledPictures::Entry band;
        band.bitmap = MakeDib(rows);
        if (!band.bitmap) return;
        band.opaque = IsOpaque(rows);
        blit.Draw(band, visible.left, visible.top, visible.left - r.left, 0, visible.right - visible.left,
                  visible.bottom - visible.top);
        return;
    }
    const ScaledPictures::Entry* e = scaled.Get(op.url, pixels, w, h, false);
    if (!e) return;
    blit.Draw(*e, visible.left, visible.top, visible.left - r.left, visible.top - r.top, visible.right - visible.left,
              visible.bottom - visible.top);
}

// A background tile's size in the painted page: background-size against
// the box `w` x `h`, the picture's natural size scaled as the page is.
std::pair<float, float> TileSize(const PaintOp& op, const PictureInfo& info, float w, float h) {
    const float nw = static_cast<float>(info.width), nh = static_cast<float>(info.height);
    using Size = BackgroundImage::Size;
    if ((op.tileSize == Size::Cover || op.tileSize == Size::Contain) && w > 0 && h > 0) {
        const float s = op.tileSize == Size::Cover ? std::max(w / nw, h / nh) : std::min(w / nw, h / nh);
        return {nw * s, nh * s};
    }
    if (op.tileSize == Size::Lengths) {
        const bool autoW = op.tileWidth.IsAuto(), autoH = op.tileHeight.IsAuto();
        float tw = op.tileWidth.Resolve(w), th = op.tileHeight.Resolve(h);
        if (autoW && !autoH) tw = th * nw / nh;
        if (autoH && !autoW) th = tw * nh / nw;
        if (!autoW || !autoH) return {tw, th};
    }
    return {nw * op.tileScale, nh * op.tileScale};
}

void DrawBackground(HDC dc, Blitter& blit, ScaledPictures& scaled, PictureSource& pictures, const PaintOp& op,
                    int ox, int oy, const RECT& paintClip) {
    const PictureInfo info = pictures.Query(op.url);
    if (info.state != PictureInfo::State::Ready || info.width <= 0 || info.height <= 0) return;
    const std::shared_ptr<const Picture> pixels = pictures.Pixels(op.url);
    if (!pixels) return;
    const RECT area = ToRect(op.rect, ox, oy);
    const auto [tileW, tileH] = TileSize(op, info, static_cast<float>(area.right - area.left),
                                         static_cast<float>(area.bottom - area.top));
    const int tw = std::max(1, static_cast<int>(std::lround(tileW)));
    const int th = std::max(1, static_cast<int>(std::lround(tileH)));
    const ScaledPictures::Entry* e = scaled.Get(op.url, pixels, tw, th, true);
    if (!e) return;
    const RECT clip = Intersect(ToRect(op.clip, ox, oy), paintClip);
    if (clip.right <= clip.left || clip.bottom <= clip.top) return;
    auto place = [](const Length& l, int room) {
        return l.unit == Length::Percent ? static_cast<int>(std::lround(room * l.value / 100.0f))
                                         : static_cast<int>(std::lround(l.value));
    };
    int x0 = area.left + place(op.positionX, (area.right - area.left) - tw);
    int y0 = area.top + place(op.positionY, (area.bottom - area.top) - th);
    // Repeating: start from the last copy at or before the clip's edge.
    const int bw = e->bitmapWidth, bh = e->bitmapHeight;
    auto firstCopy = [](int at, int edge, int step) {
        return at > edge ? at - ((at - edge + step - 1) / step) * step : at + ((edge - at) / step) * step;
    };
    if (op.repeatX) x0 = firstCopy(x0, clip.left, bw);
    if (op.repeatY) y0 = firstCopy(y0, clip.top, bh);
    // The bitmap is a block of copies: a way it does not repeat takes one copy of it.
    const int cw = op.repeatX ? bw : e->width, ch = op.repeatY ? bh : e->height;
    const SaveDc saved(dc);
    IntersectClipRect(dc, clip.left, clip.top, clip.right, clip.bottom);
    for (int y = y0; y < clip.bottom; y += bh) {
        for (int x = x0; x < clip.right; x += bw) {
            const RECT copy = Intersect(RECT{x, y, x + cw, y + ch}, clip);
            blit.Draw(*e, copy.left, copy.top, copy.left - x, copy.top - y, copy.right - copy.left,
                      copy.bottom - copy.top);
            if (!op.repeatX) break;
        }
        if (!op.repeatY) break;
    }
}

}  // namespace

const ScaledPictures::Entry* ScaledPictures::Get(const std::string& url, const std::shared_ptr<const Picture>& source,
                                                 int width, int height, bool tile) {
    if (!source || width <= 0 || height <= 0) return nullptr;
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->url != url || it->width != width || it->height != height || it->tile != tile) continue;
        // Another control block: reloaded since, made again below.
        if (it->source.owner_before(source) || source.owner_before(it->source)) {
            bytes_ -= it->bytes;
            entries_.erase(it);
            break;
        }
        entries_.splice(entries_.begin(), entries_, it);
        return &entries_.front();
    }
    if (queue_ && !immediate_) {
        queue_->Request({url, source, width, height, tile});
        return nullptr;
    }
    Picture shown = ScalePicture(*source, width, height);
    if (tile && !shown.pixels.empty()) shown = TileBlock(shown, kTileBlockPx);
    return Keep(url, source, width, height, tile, std::move(shown));
}

bool ScaledPictures::Adopt(std::vector<ResampleQueue::Done> done) {
    bool any = false;
    for (auto& d : done) any = Keep(d.job.url, d.job.source, d.job.width, d.job.height, d.job.tile, std::move(d.picture)) || any;
    return any;
}

const ScaledPictures::Entry* ScaledPictures::Keep(const std::string& url, const std::shared_ptr<const Picture>& source,
                                                  int width, int height, bool tile, Picture shown) {
    if (shown.pixels.empty()) return nullptr;
    for (auto it = entries_.begin(); it != entries_.end(); ++it)
        if (it->url == url && it->width == width && it->height == height && it->tile == tile) {
            bytes_ -= it->bytes;
            entries_.erase(it);
            break;
        }
    Entry e;
    e.url = url;
    e.width = width;
    e.height = height;
    e.tile = tile;
    e.source = source;
    e.bitmap = MakeDib(shown);
    if (!e.bitmap) return nullptr;
    e.bitmapWidth = shown.width;
    e.bitmapHeight = shown.height;
    e.opaque = IsOpaque(shown);
    e.bytes = shown.pixels.size() * sizeof(std::uint32_t);
    bytes_ += e.bytes;
    entries_.push_front(std::move(e));
    // Beyond the bound, the least recently drawn go; the newest always stays.
    while (bytes_ > maxBytes_ && entries_.size() > 1) {
        bytes_ -= entries_.back().bytes;
        entries_.pop_back();
    }
    return &entries_.front();
}

void ScaledPictures::Clear() {
    entries_.clear();
    bytes_ = 0;
}

void PaintLayout(HDC dc, const PageLayout& page, GdiFonts& fonts, PictureSource& pictures, ScaledPictures& scaled,
                 int ox, int oy, const RECT& clip) {
    const SaveDc saved(dc);
    SetBkMode(dc, TRANSPARENT);
    Blitter blit(dc);
    std::vector<int> clips;
    for (const PaintOp& op : page.ops) {
        if (op.kind == PaintOp::Kind::ClipPush) {
            clips.push_back(SaveDC(dc));
            const RECT r = ToRect(op.rect, ox, oy);
            if (op.radiusX > 0 && op.radiusY > 0) {
                // Regions are in device units: the corners go through the DC's mapping.
                POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
                LPtoDP(dc, corners, 2);
                const Region rounded(CreateRoundRectRgn(corners[0].x, corners[0].y, corners[1].x + 1, corners[1].y + 1,
                                                        std::max<LONG>(1, Device(2 * op.radiusX)),
                                                        std::max<LONG>(1, Device(2 * op.radiusY))));
                if (rounded) ExtSelectClipRgn(dc, rounded.get(), RGN_AND);
            } else {
                IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
            }
            continue;
        }
        if (op.kind == PaintOp::Kind::ClipPop) {
            if (!clips.empty()) {
                RestoreDC(dc, clips.back());
                clips.pop_back();
                SetBkMode(dc, TRANSPARENT);
            }
            continue;
        }
        const RECT r = ToRect(op.kind == PaintOp::Kind::Background ? op.clip : op.rect, ox, oy);
        // Text may reach a little past its box (italics, accents).
        if (r.bottom + 4 < clip.top || r.top - 4 > clip.bottom || r.right + 8 < clip.left || r.left - 8 > clip.right)
            continue;
        switch (op.kind) {
        case PaintOp::Kind::Fill: FillColour(dc, r, op.color); break;
        case PaintOp::Kind::Picture:
            if (op.broken) DrawBroken(dc, op, r, fonts, page);
            else DrawPicture(blit, scaled, pictures, op, r, clip);
            break;
        case PaintOp::Kind::BrokenIcon: DrawBrokenIcon(dc, r.left, r.top); break;
        case PaintOp::Kind::Background: DrawBackground(dc, blit, scaled, pictures, op, ox, oy, clip); break;
        case PaintOp::Kind::Text: {
            if (op.font < 0 || static_cast<std::size_t>(op.font) >= page.fonts.size()) break;
            const FontKey& want = page.fonts[static_cast<std::size_t>(op.font)];
            const int base = Device(op.baseline) + oy;
            DrawText(dc, fonts, want, op, static_cast<float>(ox) + op.rect.x, base);
            const int thick = std::max(1, static_cast<int>(want.size / 16));
            if (op.underline) FillColour(dc, RECT{r.left, base + 2, r.right, base + 2 + thick}, op.color);
            if (op.strike) {
                const int y = base - std::max(2, static_cast<int>(want.size * 3 / 10));
                FillColour(dc, RECT{r.left, y, r.right, y + thick}, op.color);
            }
            break;
        }
        default: break;
        }
    }
    while (!clips.empty()) {
        RestoreDC(dc, clips.back());
        clips.pop_back();
    }
}

void PaintLayout(HDC dc, const PageLayout& page, GdiFonts& fonts, PictureSource& pictures, int ox, int oy,
                 const RECT& clip) {
    ScaledPictures scaled;
    PaintLayout(dc, page, fonts, pictures, scaled, ox, oy, clip);
}

}  // namespace mojian::html
