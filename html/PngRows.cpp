#include "html/PngRows.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace mojian::html {

namespace {

constexpr std::string_view kSignature("\x89PNG\r\n\x1a\n", 8);

std::uint32_t BigEndian32(const unsigned char* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

int Channels(int colour) {
    switch (colour) {
        case 0: return 1;
        case 2: return 3;
        case 3: return 1;
        case 4: return 2;
        case 6: return 4;
        default: return 0;
    }
}

bool DepthAllowed(int colour, int depth) {
    switch (colour) {
        case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
        case 2:
        case 4:
        case 6: return depth == 8 || depth == 16;
        default: return false;
    }
}

// The chunks as the file has them: each one's type and its data.
struct Chunk {
    std::uint32_t type = 0;
    std::string_view data;
};

constexpr std::uint32_t Type(const char (&name)[5]) {
    return std::uint32_t(static_cast<unsigned char>(name[0])) << 24 | std::uint32_t(static_cast<unsigned char>(name[1])) << 16 |
           std::uint32_t(static_cast<unsigned char>(name[2])) << 8 | static_cast<unsigned char>(name[3]);
}

// Walks the chunks after the signature up to IEND. False when the file is
// cut short or a chunk's CRC does not match: a damaged file is left to the
// system's decoder, which says what is wrong with it.
template <class F>
bool ForEachChunk(std::string_view bytes, F each) {
    std::size_t at = kSignature.size();
    while (at + 12 <= bytes.size()) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
        const std::uint32_t length = BigEndian32(p);
        if (length > bytes.size() - at - 12) return false;
        const uLong crc = crc32(0, p + 4, static_cast<uInt>(length) + 4);
        if (crc != BigEndian32(p + 8 + length)) return false;
        const Chunk c{BigEndian32(p + 4), bytes.substr(at + 8, length)};
        if (!each(c)) return true;
        at += 12 + static_cast<std::size_t>(length);
    }
    return false;
}

// Premultiplied as WIC premultiplies straight alpha, rounding to nearest.
std::uint32_t Pixel(unsigned r, unsigned g, unsigned b, unsigned a) {
    if (a != 255) {
        r = (r * a + 127) / 255;
        g = (g * a + 127) / 255;
        b = (b * a + 127) / 255;
    }
    return a << 24 | r << 16 | g << 8 | b;
}

class PngRows final : public PictureRows {
public:
    PngRows(std::string bytes, const PngHeader& h) : bytes_(std::move(bytes)), h_(h) {
        const int channels = Channels(h.colour);
        pixelBytes_ = std::max(1, channels * h.depth / 8);
        rowBytes_ = (static_cast<std::size_t>(h.width) * static_cast<std::size_t>(channels) *
                         static_cast<std::size_t>(h.depth) + 7) / 8;
        std::fill(palette_.begin(), palette_.end(), 0xFF000000u);
    }
    ~PngRows() override {
        if (zReady_) inflateEnd(&z_);
    }
    PngRows(const PngRows&) = delete;
    PngRows& operator=(const PngRows&) = delete;

    bool Open() {
        bool ended = false;
        std::string_view plte, trns;
        const bool whole = ForEachChunk(bytes_, [&](const Chunk& c) {
            if (c.type == Type("PLTE")) plte = c.data;
            else if (c.type == Type("tRNS")) trns = c.data;
            else if (c.type == Type("IDAT")) idat_.push_back(c.data);
            else if (c.type == Type("IEND")) ended = true;
            return !ended;
        });
        if (!whole || !ended || idat_.empty() || plte.size() % 3 != 0 || plte.size() > 3 * 256 ||
            (h_.colour == 3 && plte.empty()))
            return false;
        auto u8 = [](std::string_view v, std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(v[i])); };
        // Indices past the palette stay opaque black; entries past tRNS's alphas are opaque.
        for (std::size_t i = 0; i < plte.size() / 3; ++i)
            palette_[i] = Pixel(u8(plte, 3 * i), u8(plte, 3 * i + 1), u8(plte, 3 * i + 2), i < trns.size() ? u8(trns, i) : 255u);
        // For grey and RGB, tRNS is the one colour that is transparent.
        const std::size_t keySamples = h_.colour == 0 ? 1 : h_.colour == 2 ? 3 : 0;
        if (keySamples > 0 && trns.size() >= 2 * keySamples) {
            keyed_ = true;
            for (std::size_t i = 0; i < keySamples; ++i) key_[i] = u8(trns, 2 * i) << 8 | u8(trns, 2 * i + 1);
        }
        // A band drawn reads again the last rows of the band above it, and
        // the rows scaled with them: these are kept, not decoded again from the top.
        // (A very wide picture keeps fewer and may start over for each band.)
        constexpr std::size_t kKeptBytes = 1u << 20;
        const std::size_t rowPixels = static_cast<std::size_t>(h_.width);
        keptRows_ = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(h_.height),
                                                           std::max<std::size_t>(64, kKeptBytes / 4 / rowPixels)));
        kept_.assign(static_cast<std::size_t>(keptRows_) * rowPixels, 0);
        const std::lock_guard<std::mutex> lock(mutex_);
        return Restart() && DecodeRow();
    }

    bool Read(int top, int count, std::uint32_t* out) const override {
        if (top < 0 || count <= 0 || count > h_.height - top) return false;
        const std::lock_guard<std::mutex> lock(mutex_);
        if (top < next_ - keptRows_ && !Restart()) return false;
        const auto width = static_cast<std::size_t>(h_.width);
        for (int y = top; y < top + count; ++y) {
            while (next_ <= y)
                if (!DecodeRow()) return false;
            const auto* row = kept_.data() + static_cast<std::size_t>(y % keptRows_) * width;
            std::copy_n(row, width, out + static_cast<std::size_t>(y - top) * width);
        }
        return true;
    }

    std::size_t Bytes() const override {
        return bytes_.size() + kept_.size() * sizeof(std::uint32_t) + 2 * rowBytes_ + sizeof(z_stream) + (32u << 10);
    }

private:
    bool Restart() const {
        if (zReady_) inflateEnd(&z_);
        z_ = z_stream{};
        zReady_ = inflateInit(&z_) == Z_OK;
        nextIdat_ = 0;
        next_ = 0;
        ended_ = false;
        previous_.assign(rowBytes_, 0);
        current_.assign(rowBytes_ + 1, 0);
        return zReady_;
    }

    // The next row of the file into kept_: inflated, unfiltered, converted.
    bool DecodeRow() const {
        if (next_ >= h_.height || ended_ || !zReady_) return false;
        z_.next_out = current_.data();
        z_.avail_out = static_cast<uInt>(current_.size());
        while (z_.avail_out > 0) {
            if (z_.avail_in == 0) {
                if (nextIdat_ >= idat_.size()) return false;  // the file ends inside the picture
                const std::string_view d = idat_[nextIdat_++];
                z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(d.data()));
                z_.avail_in = static_cast<uInt>(d.size());
                continue;
            }
            const int r = inflate(&z_, Z_NO_FLUSH);
            if (r == Z_STREAM_END) {
                ended_ = true;
                if (z_.avail_out > 0) return false;
                break;
            }
            if (r != Z_OK) return false;
        }
        if (!Unfilter()) return false;
        Convert(kept_.data() + static_cast<std::size_t>(next_ % keptRows_) * static_cast<std::size_t>(h_.width));
        previous_.assign(current_.begin() + 1, current_.end());
        ++next_;
        return true;
    }

    bool Unfilter() const {
        std::uint8_t* row = current_.data() + 1;
        const std::uint8_t* up = previous_.data();
        const std::size_t n = rowBytes_, bpp = pixelBytes_;
        switch (current_[0]) {
            case 0: break;
            case 1:
                for (std::size_t i = bpp; i < n; ++i) row[i] = static_cast<std::uint8_t>(row[i] + row[i - bpp]);
                break;
            case 2:
                for (std::size_t i = 0; i < n; ++i) row[i] = static_cast<std::uint8_t>(row[i] + up[i]);
                break;
            case 3:
                for (std::size_t i = 0; i < n; ++i) {
                    const unsigned left = i >= bpp ? row[i - bpp] : 0u;
                    row[i] = static_cast<std::uint8_t>(row[i] + (left + up[i]) / 2);
                }
                break;
            case 4:
                for (std::size_t i = 0; i < n; ++i) {
                    const int a = i >= bpp ? row[i - bpp] : 0, b = up[i], c = i >= bpp ? up[i - bpp] : 0;
                    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                    const int pred = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
                    row[i] = static_cast<std::uint8_t>(row[i] + pred);
                }
                break;
            default: return false;
        }
        return true;
    }

    // Sample i of a row, of the picture's depth (1, 2, 4, 8 or 16 bits).
    unsigned Sample(const std::uint8_t* row, std::size_t i) const {
        switch (h_.depth) {
            case 16: return static_cast<unsigned>(row[2 * i]) << 8 | row[2 * i + 1];
            case 8: return row[i];
            default: {
                const std::size_t bit = i * static_cast<std::size_t>(h_.depth);
                const unsigned shift = 8 - static_cast<unsigned>(h_.depth) - static_cast<unsigned>(bit % 8);
                return (row[bit / 8] >> shift) & ((1u << h_.depth) - 1);
            }
        }
    }
    // A sample to 8 bits: 16-bit ones keep their high byte, as WIC's do;
    // fewer bits are spread over 0 to 255.
    unsigned Eight(unsigned s) const {
        if (h_.depth == 16) return s >> 8;
        if (h_.depth == 8) return s;
        return s * 255 / ((1u << h_.depth) - 1);
    }
    void Convert(std::uint32_t* out) const {
        const std::uint8_t* row = current_.data() + 1;
        const auto w = static_cast<std::size_t>(h_.width);
        for (std::size_t x = 0; x < w; ++x) {
            switch (h_.colour) {
                case 0: {
                    const unsigned s = Sample(row, x), v = Eight(s);
                    out[x] = keyed_ && s == key_[0] ? 0u : Pixel(v, v, v, 255);
                    break;
                }
                case 2: {
                    const unsigned r = Sample(row, 3 * x), g = Sample(row, 3 * x + 1), b = Sample(row, 3 * x + 2);
                    out[x] = keyed_ && r == key_[0] && g == key_[1] && b == key_[2] ? 0u
                                                                                   : Pixel(Eight(r), Eight(g), Eight(b), 255);
                    break;
                }
                case 3: out[x] = palette_[Sample(row, x)]; break;
                case 4: {
                    const unsigned v = Eight(Sample(row, 2 * x));
                    out[x] = Pixel(v, v, v, Eight(Sample(row, 2 * x + 1)));
                    break;
                }
                default:
                    out[x] = Pixel(Eight(Sample(row, 4 * x)), Eight(Sample(row, 4 * x + 1)), Eight(Sample(row, 4 * x + 2)),
                                   Eight(Sample(row, 4 * x + 3)));
                    break;
            }
        }
    }

    const std::string bytes_;
    const PngHeader h_;
    std::size_t pixelBytes_ = 1;  // the unfilter's distance back
    std::size_t rowBytes_ = 0;    // without the filter byte
    std::vector<std::string_view> idat_;
    std::array<std::uint32_t, 256> palette_{};  // premultiplied, with tRNS's alphas
    bool keyed_ = false;                         // grey or RGB: tRNS's one transparent colour
    std::array<unsigned, 3> key_{};

    mutable std::mutex mutex_;  // rows are read from any thread, one at a time
    mutable z_stream z_{};
    mutable bool zReady_ = false;
    mutable std::size_t nextIdat_ = 0;
    mutable bool ended_ = false;
    mutable int next_ = 0;  // the next row the file gives
    mutable std::vector<std::uint8_t> previous_, current_;
    int keptRows_ = 1;
    mutable std::vector<std::uint32_t> kept_;  // the last keptRows_ rows, row y at y % keptRows_
};

}  // namespace

std::optional<PngHeader> ReadPngHeader(std::string_view bytes) {
    if (bytes.size() < 33 || bytes.substr(0, 8) != kSignature) return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + 8;
    if (BigEndian32(p) != 13 || BigEndian32(p + 4) != Type("IHDR")) return std::nullopt;
    const std::uint32_t w = BigEndian32(p + 8), h = BigEndian32(p + 12);
    PngHeader header{static_cast<int>(w), static_cast<int>(h), p[16], p[17], p[20] == 1};
    if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF || !DepthAllowed(header.colour, header.depth) ||
        p[18] != 0 || p[19] != 0 || p[20] > 1)
        return std::nullopt;
    return header;
}

std::shared_ptr<const PictureRows> OpenPngRows(std::string bytes) {
    const auto header = ReadPngHeader(bytes);
    // Its rows are held a few at a time: never rows of a size no long picture has.
    constexpr int kWidestPx = 65536;
    if (!header || header->interlaced || header->width > kWidestPx) return nullptr;
    auto rows = std::make_shared<PngRows>(std::move(bytes), *header);
    if (!rows->Open()) return nullptr;
    return rows;
}

}  // namespace mojian::html
