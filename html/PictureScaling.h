// Resampling decoded pictures to the size they are shown at: each output
// pixel averages the source area it covers when shrinking (no aliasing, as
// browsers' high-quality scaling), and interpolates between the nearest
// source pixels when enlarging. Works on premultiplied BGRA, so edges of
// transparent areas keep no dark fringe.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "html/PictureSource.h"

namespace mojian::html {

// `source` scaled to width x height (both at least 1; a request beyond
// kMaxScaledPixels or an empty source gives an empty picture).
Picture ScalePicture(const Picture& source, int width, int height);

// Rows top to top + rows - 1 of `source` scaled to width x height, exactly
// as ScalePicture gives them: a picture too large to keep scaled whole is
// drawn a band at a time. Empty when the rows are not all inside.
Picture ScalePictureRows(const Picture& source, int width, int height, int top, int rows);

// Whether every pixel is fully opaque (the painter may copy instead of blend).
bool IsOpaque(const Picture& picture);

inline constexpr long long kMaxScaledPixels = 64LL * 1024 * 1024;

// `tile` repeated side by side until the block is at least `side` wide
// (and high), so that a small repeated picture fills an area in a few copies.
Picture TileBlock(const Picture& tile, int side);

// Resampling off the caller's thread, in the order asked, on a thread of its
// own: `ready` is called on that thread after each result, and the caller
// takes the results with TakeDone(). A picture asked for while it waits or
// is in hand is not queued twice. Destroying the queue drops what waits and
// waits for the job in hand.
class ResampleQueue {
public:
    struct Job {
        std::string url;
        std::shared_ptr<const Picture> source;
        int width = 0, height = 0;
        bool tile = false;  // a tile block of copies that size (TileBlock)
        bool operator==(const Job& o) const {
            return url == o.url && source == o.source && width == o.width && height == o.height && tile == o.tile;
        }
    };
    struct Done {
        Job job;
        Picture picture;  // empty when it could not be made
    };

    explicit ResampleQueue(std::function<void()> ready, int tileSide = 256);
    ~ResampleQueue();
    ResampleQueue(const ResampleQueue&) = delete;
    ResampleQueue& operator=(const ResampleQueue&) = delete;

    void Request(Job job);
    std::vector<Done> TakeDone();
    void DropWaiting();

private:
    void Run();

    std::function<void()> ready_;
    int tileSide_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> waiting_;
    std::vector<Job> inHand_;  // zero or one
    std::vector<Done> done_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace mojian::html
