#include "html/PictureOrientation.h"

#include <cstddef>
#include <cstdint>

namespace mojian::html {

namespace {

// Reads unsigned integers from a TIFF block in its own byte order, refusing
// anything outside the block.
class TiffReader {
public:
    explicit TiffReader(std::string_view block) : block_(block) {}

    bool Start() {
        if (block_.size() < 8) return false;
        if (block_.substr(0, 2) == "II") little_ = true;
        else if (block_.substr(0, 2) == "MM") little_ = false;
        else return false;
        std::uint32_t magic = 0;
        return U16(2, magic) && magic == 42;
    }
    bool U16(std::size_t at, std::uint32_t& out) const { return Read(at, 2, out); }
    bool U32(std::size_t at, std::uint32_t& out) const { return Read(at, 4, out); }

private:
    bool Read(std::size_t at, std::size_t n, std::uint32_t& out) const {
        if (at > block_.size() || block_.size() - at < n) return false;
        out = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const auto byte = static_cast<std::uint8_t>(block_[at + (little_ ? n - 1 - i : i)]);
            out = (out << 8) | byte;
        }
        return true;
    }

    std::string_view block_;
    bool little_ = true;
};

int OrientationInExif(std::string_view tiff) {
    TiffReader r(tiff);
    std::uint32_t ifd = 0, count = 0;
    if (!r.Start() || !r.U32(4, ifd) || !r.U16(ifd, count)) return 1;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t entry = ifd + 2 + std::size_t{i} * 12;
        std::uint32_t tag = 0, type = 0, value = 0;
        if (!r.U16(entry, tag) || !r.U16(entry + 2, type)) return 1;
        if (tag != 0x0112) continue;
        if (type != 3 || !r.U16(entry + 8, value) || value < 1 || value > 8) return 1;
        return static_cast<int>(value);
    }
    return 1;
}

}  // namespace

namespace {

// Calls f(marker, segment) for each segment before the picture data; stops
// early when f gives false or the markers stop making sense.
template <class F>
void ForEachJpegSegment(std::string_view jpeg, F f) {
    auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(jpeg[i]); };
    if (jpeg.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8) return;
    std::size_t pos = 2;
    while (pos + 4 <= jpeg.size()) {
        if (byte(pos) != 0xFF) return;
        const std::uint8_t marker = byte(pos + 1);
        if (marker == 0xFF) {  // fill byte
            ++pos;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // markers without a length
            pos += 2;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) return;  // the picture data starts
        const std::size_t length = std::size_t{byte(pos + 2)} << 8 | byte(pos + 3);
        if (length < 2 || pos + 2 + length > jpeg.size()) return;
        if (!f(marker, jpeg.substr(pos + 4, length - 2))) return;
        pos += 2 + length;
    }
}

}  // namespace

int JpegOrientation(std::string_view jpeg) {
    int orientation = 1;  // no EXIF before the picture data
    ForEachJpegSegment(jpeg, [&](std::uint8_t marker, std::string_view segment) {
        using namespace std::string_view_literals;
        if (marker != 0xE1 || segment.substr(0, 6) != "Exif\0\0"sv) return true;
        orientation = OrientationInExif(segment.substr(6));
        return false;
    });
    return orientation;
}

std::optional<PixelSize> JpegSize(std::string_view jpeg) {
    std::optional<PixelSize> size;
    ForEachJpegSegment(jpeg, [&](std::uint8_t marker, std::string_view frame) {
        // The start of frame: every SOFn but DHT (C4), JPG (C8) and DAC (CC).
        if (marker < 0xC0 || marker > 0xCF || marker == 0xC4 || marker == 0xC8 || marker == 0xCC) return true;
        if (frame.size() >= 5) {
            auto u16 = [&](std::size_t i) { return static_cast<std::uint8_t>(frame[i]) << 8 | static_cast<std::uint8_t>(frame[i + 1]); };
            if (u16(1) > 0 && u16(3) > 0) size = PixelSize{u16(3), u16(1)};
        }
        return false;
    });
    return size;
}

PixelSize OrientedSize(PixelSize stored, int orientation) {
    if (orientation >= 5 && orientation <= 8) return {stored.height, stored.width};
    return stored;
}

Picture Oriented(const Picture& stored, int orientation) {
    if (orientation < 2 || orientation > 8) return stored;
    const int w = stored.width, h = stored.height;
    const PixelSize shown = OrientedSize({w, h}, orientation);
    Picture out;
    out.width = shown.width;
    out.height = shown.height;
    out.pixels.resize(stored.pixels.size());
    for (int y = 0; y < shown.height; ++y) {
        for (int x = 0; x < shown.width; ++x) {
            int sx = x, sy = y;
            switch (orientation) {
                case 2: sx = w - 1 - x; break;                          // mirrored
                case 3: sx = w - 1 - x; sy = h - 1 - y; break;          // upside down
                case 4: sy = h - 1 - y; break;                          // mirrored upside down
                case 5: sx = y; sy = x; break;                          // mirrored, turned
                case 6: sx = y; sy = h - 1 - x; break;                  // to be turned clockwise
                case 7: sx = w - 1 - y; sy = h - 1 - x; break;          // mirrored, turned
                case 8: sx = w - 1 - y; sy = x; break;                  // to be turned anticlockwise
                default: break;
            }
            out.pixels[static_cast<std::size_t>(y) * shown.width + x] =
                stored.pixels[static_cast<std::size_t>(sy) * w + sx];
        }
    }
    return out;
}

}  // namespace mojian::html
