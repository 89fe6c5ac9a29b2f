// PNG files made by hand for the tests: any colour type and depth, each
// row with the next of the five filters, the data in IDAT chunks of a
// chosen size. Samples come from a function of (x, y, channel).
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace mojian::testing {

struct TestPng {
    int width = 1, height = 1;
    int depth = 8;
    int colour = 6;  // 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA
    std::function<unsigned(int x, int y, int channel)> sample;
    std::string palette;       // PLTE's data
    std::string transparency;  // tRNS's data
    std::size_t idatBytes = 1000;
    bool interlaced = false;  // only the header says so
    std::size_t cutData = 0;  // compressed bytes left off the end, in chunks whose CRCs hold
};

inline void PutChunk(std::string& out, const char* type, const std::string& data) {
    auto be32 = [&](std::uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) out += static_cast<char>(v >> s);
    };
    const std::string body = std::string(type, 4) + data;
    be32(static_cast<std::uint32_t>(data.size()));
    out += body;
    be32(static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

inline std::string MakePng(const TestPng& p) {
    const int channels = p.colour == 2 ? 3 : p.colour == 4 ? 2 : p.colour == 6 ? 4 : 1;
    const std::size_t rowBytes = (static_cast<std::size_t>(p.width) * channels * p.depth + 7) / 8;
    const std::size_t bpp = std::max(1, channels * p.depth / 8);
    std::vector<std::uint8_t> previous(rowBytes, 0), raw;
    for (int y = 0; y < p.height; ++y) {
        std::vector<std::uint8_t> row(rowBytes, 0);
        for (int x = 0; x < p.width; ++x)
            for (int c = 0; c < channels; ++c) {
                const unsigned s = p.sample(x, y, c);
                const std::size_t i = static_cast<std::size_t>(x) * channels + c;
                if (p.depth == 16) {
                    row[2 * i] = static_cast<std::uint8_t>(s >> 8);
                    row[2 * i + 1] = static_cast<std::uint8_t>(s);
                } else if (p.depth == 8) {
                    row[i] = static_cast<std::uint8_t>(s);
                } else {
                    const std::size_t bit = i * p.depth;
                    row[bit / 8] |= static_cast<std::uint8_t>(s << (8 - p.depth - bit % 8));
                }
            }
        const int filter = y % 5;
        raw.push_back(static_cast<std::uint8_t>(filter));
        for (std::size_t i = 0; i < rowBytes; ++i) {
            const int a = i >= bpp ? row[i - bpp] : 0, b = previous[i], c = i >= bpp ? previous[i - bpp] : 0;
            int pred = 0;
            if (filter == 1) pred = a;
            if (filter == 2) pred = b;
            if (filter == 3) pred = (a + b) / 2;
            if (filter == 4) {
                const int q = a + b - c, pa = std::abs(q - a), pb = std::abs(q - b), pc = std::abs(q - c);
                pred = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            }
            raw.push_back(static_cast<std::uint8_t>(row[i] - pred));
        }
        previous = row;
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string zdata(size, '\0');
    compress(reinterpret_cast<Bytef*>(zdata.data()), &size, raw.data(), static_cast<uLong>(raw.size()));
    zdata.resize(size - std::min<std::size_t>(size, p.cutData));

    std::string out("\x89PNG\r\n\x1a\n", 8);
    std::string ihdr;
    for (int v : {p.width, p.height})
        for (int s = 24; s >= 0; s -= 8) ihdr += static_cast<char>(static_cast<std::uint32_t>(v) >> s);
    ihdr += {static_cast<char>(p.depth), static_cast<char>(p.colour), 0, 0, static_cast<char>(p.interlaced ? 1 : 0)};
    PutChunk(out, "IHDR", ihdr);
    if (!p.palette.empty()) PutChunk(out, "PLTE", p.palette);
    if (!p.transparency.empty()) PutChunk(out, "tRNS", p.transparency);
    for (std::size_t at = 0; at < zdata.size(); at += p.idatBytes) PutChunk(out, "IDAT", zdata.substr(at, p.idatBytes));
    PutChunk(out, "IEND", "");
    return out;
}

}  // namespace mojian::testing
