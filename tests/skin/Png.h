// A small PNG writer for looking at pictures the tests make: RGB, 8 bits,
// stored (uncompressed) deflate blocks, so it needs no zlib.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace mojian::testing {

class Png {
public:
    Png(int w, int h, std::uint32_t fill = 0xFFFFFF) : w_(w), h_(h), px_(static_cast<std::size_t>(w * h), fill) {}
    void Set(int x, int y, std::uint32_t rrggbb) {
        if (x >= 0 && y >= 0 && x < w_ && y < h_) px_[static_cast<std::size_t>(y * w_ + x)] = rrggbb;
    }
    void Block(int x, int y, int size, std::uint32_t rrggbb) {
        for (int j = 0; j < size; ++j)
            for (int i = 0; i < size; ++i) Set(x + i, y + j, rrggbb);
    }

    bool Write(const std::string& path) const {
        std::vector<std::uint8_t> raw;
        for (int y = 0; y < h_; ++y) {
            raw.push_back(0);  // no filter
            for (int x = 0; x < w_; ++x) {
                const std::uint32_t p = px_[static_cast<std::size_t>(y * w_ + x)];
                raw.push_back(static_cast<std::uint8_t>(p >> 16));
                raw.push_back(static_cast<std::uint8_t>(p >> 8));
                raw.push_back(static_cast<std::uint8_t>(p));
            }
        }
        std::vector<std::uint8_t> z{0x78, 0x01};
        for (std::size_t pos = 0; pos < raw.size() || pos == 0;) {
            const std::size_t n = std::min<std::size_t>(65535, raw.size() - pos);
            const bool last = pos + n == raw.size();
            z.push_back(last ? 1 : 0);
            z.push_back(static_cast<std::uint8_t>(n));
            z.push_back(static_cast<std::uint8_t>(n >> 8));
            z.push_back(static_cast<std::uint8_t>(~n));
            z.push_back(static_cast<std::uint8_t>(~n >> 8));
            z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(pos),
                     raw.begin() + static_cast<std::ptrdiff_t>(pos + n));
            pos += n;
            if (last) break;
        }
        std::uint32_t a = 1, b = 0;
        for (std::uint8_t c : raw) a = (a + c) % 65521, b = (b + a) % 65521;
        Put32(z, (b << 16) | a);

        std::vector<std::uint8_t> out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        std::vector<std::uint8_t> ihdr;
        Put32(ihdr, static_cast<std::uint32_t>(w_));
        Put32(ihdr, static_cast<std::uint32_t>(h_));
        ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
        Chunk(out, "IHDR", ihdr);
        Chunk(out, "IDAT", z);
        Chunk(out, "IEND", {});
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
        return static_cast<bool>(f);
    }

private:
    static void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
        for (int s = 24; s >= 0; s -= 8) v.push_back(static_cast<std::uint8_t>(x >> s));
    }
    static void Chunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data) {
        Put32(out, static_cast<std::uint32_t>(data.size()));
        std::vector<std::uint8_t> body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        std::uint32_t crc = 0xFFFFFFFFu;
        for (std::uint8_t c : body) {
            crc ^= c;
            for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        out.insert(out.end(), body.begin(), body.end());
        Put32(out, ~crc);
    }

    int w_, h_;
    std::vector<std::uint32_t> px_;
};

}  // namespace mojian::testing
