// The decisions that keep picture loading within bounds, apart from the
// system calls that carry them out: how much a download may bring and for
// how long, what the bytes are, and how many pixels a decoded picture keeps.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace mojian::html {

// Why a picture could not be shown. The preview draws every one of them as a
// broken picture; the reason is for tests and for telling the user.
enum class PictureFailure : std::uint8_t {
    None,
    BadAddress,     // relative, unknown scheme, a share, a malformed data: address
    HttpStatus,     // the server answered with something other than 2xx
    Missing,        // no such local file, or not a file
    Network,        // no connection, the connection broke, the answer came short
    TimedOut,       // the whole download took longer than its limit
    TooLarge,       // more bytes than a picture may have
    NotAPicture,    // the bytes are not a picture format browsers show (an HTML page, text)
    Undecodable,    // a picture format, but corrupt or truncated
    NoDecoder,      // a format the system cannot decode here (WebP without its codec)
    TooManyPixels,  // a natural size beyond anything worth decoding
    Stopped,        // the loader was shut down first
};

const char* PictureFailureName(PictureFailure failure);

struct DownloadLimits {
    std::size_t maxBytes = 20 * 1024 * 1024;
    std::chrono::milliseconds time{10000};  // for the whole download, redirects included
};

// Counts a download's bytes against the limit as they arrive.
class DownloadMeter {
public:
    explicit DownloadMeter(std::size_t maxBytes) : maxBytes_(maxBytes) {}
    // False when the announced length (Content-Length, a file's size) is
    // already too large: the download is refused before its body is read.
    bool AcceptsAnnounced(std::uint64_t announcedBytes) const { return announcedBytes <= maxBytes_; }
    // False once the bytes so far pass the limit.
    bool Add(std::size_t bytes) {
        total_ += bytes;
        return total_ <= maxBytes_;
    }
    std::uint64_t Total() const { return total_; }

private:
    std::size_t maxBytes_;
    std::uint64_t total_ = 0;
};

// The formats browsers show, told apart by their first bytes as browsers do
// (the server's content type is not trusted: a PNG served as text/plain is a
// PNG, an HTML error page served as image/jpeg is not a picture).
enum class PictureFormat : std::uint8_t { Unknown, Png, Jpeg, Gif, Bmp, Webp, Ico };

PictureFormat SniffPictureFormat(std::string_view bytes);

struct DecodeLimits {
    // Pixels kept per decoded picture: 32 MB at 4 bytes each, about a
    // 790 x 10,000 long description picture at full size.
    std::int64_t maxPixels = 8 * 1024 * 1024;
    int maxSide = 16384;
    // Pictures beyond this natural size are refused rather than decoded
    // (30,000 x 30,000 is still shown, scaled down).
    std::int64_t maxNaturalPixels = 1'200'000'000;
    // A picture past maxPixels or maxSide but within this many pixels, and
    // no wider than maxSide, keeps its natural size and is read as it is
    // drawn: a PNG from its file, any other from the system's decoder, which
    // holds it whole anyway. Zero: such pictures are scaled down to fit.
    std::int64_t maxReadAsDrawnPixels = 0;
};

struct PixelSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

// The size a picture of natural size `natural` is decoded to: the natural
// size when it fits, else scaled down keeping its proportions (each side at
// least 1). Nothing when the picture is empty or beyond maxNaturalPixels.
std::optional<PixelSize> FitDecodedSize(PixelSize natural, const DecodeLimits& limits);

// Whether a picture of that natural size is read as it is drawn at that
// size rather than decoded to fit (DecodeLimits::maxReadAsDrawnPixels).
bool ReadsAsDrawn(PixelSize natural, const DecodeLimits& limits);

}  // namespace mojian::html
