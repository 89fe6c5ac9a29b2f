#include "html/PictureLimits.h"

#include <algorithm>
#include <cmath>

namespace mojian::html {

const char* PictureFailureName(PictureFailure failure) {
    switch (failure) {
        case PictureFailure::None: return "none";
        case PictureFailure::BadAddress: return "bad address";
        case PictureFailure::HttpStatus: return "http status";
        case PictureFailure::Missing: return "missing";
        case PictureFailure::Network: return "network";
        case PictureFailure::TimedOut: return "timed out";
        case PictureFailure::TooLarge: return "too large";
        case PictureFailure::NotAPicture: return "not a picture";
        case PictureFailure::Undecodable: return "undecodable";
        case PictureFailure::NoDecoder: return "no decoder";
        case PictureFailure::TooManyPixels: return "too many pixels";
        case PictureFailure::Stopped: return "stopped";
    }
    return "?";
}

PictureFormat SniffPictureFormat(std::string_view b) {
    auto starts = [&](std::string_view magic, std::size_t at = 0) {
        return b.size() >= at + magic.size() && b.substr(at, magic.size()) == magic;
    };
    using namespace std::string_view_literals;
    if (starts("\x89PNG\r\n\x1a\n"sv)) return PictureFormat::Png;
    if (starts("\xff\xd8\xff"sv)) return PictureFormat::Jpeg;
    if (starts("GIF87a"sv) || starts("GIF89a"sv)) return PictureFormat::Gif;
    if (starts("BM"sv)) return PictureFormat::Bmp;
    if (starts("RIFF"sv) && starts("WEBPVP"sv, 8)) return PictureFormat::Webp;
    if (starts("\0\0\1\0"sv) || starts("\0\0\2\0"sv)) return PictureFormat::Ico;
    return PictureFormat::Unknown;
}

std::optional<PixelSize> FitDecodedSize(PixelSize natural, const DecodeLimits& limits) {
    if (natural.width <= 0 || natural.height <= 0) return std::nullopt;
    const std::int64_t pixels = std::int64_t{natural.width} * natural.height;
    if (pixels > limits.maxNaturalPixels) return std::nullopt;
    if (pixels <= limits.maxPixels && natural.width <= limits.maxSide && natural.height <= limits.maxSide)
        return natural;
    double scale = std::sqrt(static_cast<double>(limits.maxPixels) / static_cast<double>(pixels));
    scale = std::min({scale, static_cast<double>(limits.maxSide) / natural.width,
                      static_cast<double>(limits.maxSide) / natural.height});
    PixelSize fitted{std::max(1, static_cast<int>(natural.width * scale)),
                     std::max(1, static_cast<int>(natural.height * scale))};
    // Rounding down keeps within the pixel count, except where a side was
    // raised to 1: trim the other side then.
    fitted.width = std::min(fitted.width, limits.maxSide);
    fitted.height = std::min(fitted.height, limits.maxSide);
    if (std::int64_t{fitted.width} * fitted.height > limits.maxPixels) {
        if (fitted.width == 1) fitted.height = static_cast<int>(std::min<std::int64_t>(limits.maxPixels, fitted.height));
        else fitted.width = static_cast<int>(std::min<std::int64_t>(limits.maxPixels, fitted.width));
    }
    return fitted;
}

bool ReadsAsDrawn(PixelSize natural, const DecodeLimits& limits) {
    // Long, not wide: a row is read whole.
    const auto fitted = FitDecodedSize(natural, limits);
    return fitted && !(*fitted == natural) && natural.width <= limits.maxSide &&
           std::int64_t{natural.width} * natural.height <= limits.maxReadAsDrawnPixels;
}

}  // namespace mojian::html
