// differing_pixels A.ppm B.ppm [BAND]: the share of pixels that differ by
// more than 48 in some channel from every pixel within 2 px in the other
// picture, each way, over the rows and columns both pictures have.
// Prints "SHARE_AB SHARE_BA WIDTH HEIGHT WORST_TOP BAND": WORST_TOP is the
// first row of the BAND rows (400 unless given) holding the most such pixels,
// both ways counted, for cropping a side-by-side view of the worst place.
// Reads binary PPM (P6, maxval up to 65535), from files or /dev/fd/N pipes.
// Standard C++ only: compare_mobile.py builds it with g++ -O2 on first use.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kThreshold = 48;  // in a channel, of 255
constexpr int kReach = 2;       // pixels around

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // 8 bits a channel, rows top down
};

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "differing_pixels: %s\n", what.c_str());
    std::exit(2);
}

// A header number, past white space and comments.
int HeaderNumber(std::FILE* f, const char* path) {
    int c = std::fgetc(f);
    while (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '#') {
        if (c == '#')
            while (c != '\n' && c != EOF) c = std::fgetc(f);
        c = std::fgetc(f);
    }
    long value = 0;
    bool any = false;
    while (c >= '0' && c <= '9') {
        value = value * 10 + (c - '0');
        if (value > 1000000) Fail(std::string(path) + ": a header number is out of range");
        any = true;
        c = std::fgetc(f);
    }
    if (!any) Fail(std::string(path) + ": not a binary PPM (P6) header");
    // Exactly one white-space character ends the header's last number.
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') Fail(std::string(path) + ": a header number runs into data");
    return static_cast<int>(value);
}

Picture Read(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) Fail(std::string(path) + ": cannot be opened");
    if (std::fgetc(f) != 'P' || std::fgetc(f) != '6') Fail(std::string(path) + ": not a binary PPM (P6)");
    Picture p;
    p.width = HeaderNumber(f, path);
    p.height = HeaderNumber(f, path);
    const int maxval = HeaderNumber(f, path);
    if (p.width < 1 || p.height < 1 || maxval < 1 || maxval > 65535) Fail(std::string(path) + ": bad size or maxval");
    const std::size_t samples = static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height) * 3;
    p.rgb.resize(samples);
    if (maxval < 256) {
        if (std::fread(p.rgb.data(), 1, samples, f) != samples) Fail(std::string(path) + ": data ends early");
        if (maxval != 255)
            for (std::uint8_t& v : p.rgb) v = static_cast<std::uint8_t>((v * 255 + maxval / 2) / maxval);
    } else {
        std::vector<std::uint8_t> wide(samples * 2);
        if (std::fread(wide.data(), 1, wide.size(), f) != wide.size()) Fail(std::string(path) + ": data ends early");
        for (std::size_t i = 0; i < samples; ++i) {
            const long v = (long(wide[2 * i]) << 8) | wide[2 * i + 1];
            p.rgb[i] = static_cast<std::uint8_t>((v * 255 + maxval / 2) / maxval);
        }
    }
    std::fclose(f);
    return p;
}

bool Close(const std::uint8_t* a, const std::uint8_t* b) {
    return std::abs(a[0] - b[0]) <= kThreshold && std::abs(a[1] - b[1]) <= kThreshold &&
           std::abs(a[2] - b[2]) <= kThreshold;
}

// Counts, row by row over the common w x h, a's pixels with no close pixel
// within reach in b. The same place is tried first: most pixels stop there.
std::vector<long> OneWay(const Picture& a, const Picture& b, int w, int h) {
    std::vector<long> rows(static_cast<std::size_t>(h), 0);
    const auto at = [](const Picture& p, int x, int y) {
        return p.rgb.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(p.width) + static_cast<std::size_t>(x)) * 3;
    };
    for (int y = 0; y < h; ++y) {
        const int y0 = std::max(0, y - kReach), y1 = std::min(h - 1, y + kReach);
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* pa = at(a, x, y);
            if (Close(pa, at(b, x, y))) continue;
            const int x0 = std::max(0, x - kReach), x1 = std::min(w - 1, x + kReach);
            bool found = false;
            for (int yy = y0; yy <= y1 && !found; ++yy)
                for (int xx = x0; xx <= x1 && !found; ++xx) found = Close(pa, at(b, xx, yy));
            if (!found) ++rows[static_cast<std::size_t>(y)];
        }
    }
    return rows;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: differing_pixels A.ppm B.ppm [BAND]\n");
        return 2;
    }
    const Picture a = Read(argv[1]);
    const Picture b = Read(argv[2]);
    const int band = argc == 4 ? std::atoi(argv[3]) : 400;
    if (band < 1) Fail("the band must be a positive number of rows");
    const int w = std::min(a.width, b.width), h = std::min(a.height, b.height);
    const std::vector<long> ab = OneWay(a, b, w, h), ba = OneWay(b, a, w, h);
    long totalAb = 0, totalBa = 0;
    for (int y = 0; y < h; ++y) {
        totalAb += ab[static_cast<std::size_t>(y)];
        totalBa += ba[static_cast<std::size_t>(y)];
    }
    // The band with the most differing pixels, by a running sum.
    const int span = std::min(band, h);
    long sum = 0, best = -1;
    int worst = 0;
    for (int y = 0; y < h; ++y) {
        sum += ab[static_cast<std::size_t>(y)] + ba[static_cast<std::size_t>(y)];
        if (y >= span) sum -= ab[static_cast<std::size_t>(y - span)] + ba[static_cast<std::size_t>(y - span)];
        if (y >= span - 1 && sum > best) {
            best = sum;
            worst = y - span + 1;
        }
    }
    const double area = double(w) * double(h);
    std::printf("%.6f %.6f %d %d %d %d\n", double(totalAb) / area, double(totalBa) / area, w, h, worst, span);
    return 0;
}
