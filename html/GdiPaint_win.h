// GDI's side of painting: a laid-out page drawn into any device context, its
// text in the fonts GdiFonts made, its pictures from a picture source.
#pragma once

#include <windows.h>

#include <cstddef>
#include <list>
#include <memory>
#include <string>

#include "html/GdiFonts_win.h"
#include "html/PaintList.h"
#include "html/PictureScaling.h"
#include "html/PictureSource.h"

namespace mojian::html {

// Pictures as bitmaps at the size they are shown at, resampled once and kept
// while they are painted again (scrolling, relayouts), least recently drawn
// out first beyond the byte bound. Background tiles are kept repeated into
// a block big enough to fill an area with a few copies. With a resampling
// queue, a picture not kept yet is resampled on the queue's thread and left
// out of this paint (Adopt() keeps it when it comes); without one, at once.
class ScaledPictures {
public:
    explicit ScaledPictures(std::size_t maxBytes = 64u * 1024 * 1024) : maxBytes_(maxBytes) {}
    void UseQueue(ResampleQueue* queue) { queue_ = queue; }
    ScaledPictures(const ScaledPictures&) = delete;
    ScaledPictures& operator=(const ScaledPictures&) = delete;

    struct Entry {
        std::string url;
        int width = 0, height = 0;  // as shown (a tile block: one copy's size)
        bool tile = false;
        // What it was made from: a reloaded picture is made again. Held
        // weakly, so that the picture loader's memory bound holds: a kept
        // copy does not keep its original decoded.
        std::weak_ptr<const Picture> source;
        Bitmap bitmap;
        int bitmapWidth = 0, bitmapHeight = 0;
        bool opaque = false;
        std::size_t bytes = 0;
    };
    // The picture at `url` as a width x height bitmap (a tile block when
    // `tile`), made from `source` if it is not kept; null when it cannot be made.
    const Entry* Get(const std::string& url, const std::shared_ptr<const Picture>& source, int width, int height,
                     bool tile);
    // Keeps what the queue made; false when none of it is still wanted.
    bool Adopt(std::vector<ResampleQueue::Done> done);
    void Clear();
    std::size_t Bytes() const { return bytes_; }
    std::size_t Count() const { return entries_.size(); }

    // For one paint that must show every picture at once (a picture of the view).
    void SetImmediate(bool immediate) { immediate_ = immediate; }

private:
    const Entry* Keep(const std::string& url, const std::shared_ptr<const Picture>& source, int width, int height,
                      bool tile, Picture shown);

    std::size_t maxBytes_;
    std::size_t bytes_ = 0;
    ResampleQueue* queue_ = nullptr;
    bool immediate_ = false;
    std::list<Entry> entries_;  // most recently drawn first
};

// Paints the operations that meet `clip` (device pixels), with the page's
// (0, 0) at device (originX, originY). The background is left to the caller.
// Pictures are drawn scaled to their boxes from pictures.Pixels() through
// `scaled`; broken pictures as the browser's framed box or icon.
void PaintLayout(HDC dc, const PageLayout& page, GdiFonts& fonts, PictureSource& pictures, ScaledPictures& scaled,
                 int originX, int originY, const RECT& clip);

// The same with bitmaps made for this one paint.
void PaintLayout(HDC dc, const PageLayout& page, GdiFonts& fonts, PictureSource& pictures, int originX, int originY,
                 const RECT& clip);

}  // namespace mojian::html
