#include "html/PictureLimits.h"

#include <gtest/gtest.h>

#include <string>

#include "html/PictureOrientation.h"

namespace mojian::html {
namespace {

using namespace std::string_literals;

TEST(PictureLimits, FormatsAreToldByTheirFirstBytes) {
    const struct {
        std::string bytes;
        PictureFormat format;
    } cases[] = {
        {"\x89PNG\r\n\x1a\n\0\0\0\rIHDR"s, PictureFormat::Png},
        {"\xff\xd8\xff\xe0\0\x10JFIF"s, PictureFormat::Jpeg},
        {"GIF87a\x01\0"s, PictureFormat::Gif},
        {"GIF89a\x01\0"s, PictureFormat::Gif},
        {"BM\x46\0\0\0"s, PictureFormat::Bmp},
        {"RIFF\x24\0\0\0WEBPVP8 "s, PictureFormat::Webp},
        {"\0\0\1\0\1\0"s, PictureFormat::Ico},
        // What servers send where a picture was expected.
        {"<!DOCTYPE html><html><body>404</body></html>"s, PictureFormat::Unknown},
        {"Not Found"s, PictureFormat::Unknown},
        {""s, PictureFormat::Unknown},
        {"\x89PNG\r\n"s, PictureFormat::Unknown},  // cut inside the signature
        {"GIF88a"s, PictureFormat::Unknown},
        {"RIFF\x24\0\0\0WAVEfmt "s, PictureFormat::Unknown},
        {" \x89PNG\r\n\x1a\n"s, PictureFormat::Unknown},
    };
    for (const auto& c : cases) EXPECT_EQ(SniffPictureFormat(c.bytes), c.format) << c.bytes;
}

TEST(PictureLimits, DownloadsStopAtTheByteLimit) {
    DownloadMeter meter(100);
    EXPECT_TRUE(meter.AcceptsAnnounced(100));
    EXPECT_FALSE(meter.AcceptsAnnounced(101));
    EXPECT_FALSE(meter.AcceptsAnnounced(std::uint64_t{1} << 40));
    EXPECT_TRUE(meter.Add(60));
    EXPECT_TRUE(meter.Add(40));
    EXPECT_FALSE(meter.Add(1));
    EXPECT_EQ(meter.Total(), 101u);
    EXPECT_EQ(DownloadLimits().maxBytes, 20u * 1024 * 1024);
}

TEST(PictureLimits, HugePicturesAreKeptScaledDown) {
    const DecodeLimits limits;  // 8 M pixels, 16384 a side
    // What fits stays as it is, however long.
    EXPECT_EQ(FitDecodedSize({750, 10000}, limits), (PixelSize{750, 10000}));
    EXPECT_EQ(FitDecodedSize({1, 1}, limits), (PixelSize{1, 1}));

    const auto huge = FitDecodedSize({30000, 30000}, limits);
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->width, huge->height);
    EXPECT_LE(std::int64_t{huge->width} * huge->height, limits.maxPixels);
    EXPECT_GT(std::int64_t{huge->width + 1} * (huge->height + 1), limits.maxPixels) << "no smaller than it must be";

    const auto photo = FitDecodedSize({6000, 4000}, limits);
    ASSERT_TRUE(photo);
    EXPECT_LE(std::int64_t{photo->width} * photo->height, limits.maxPixels);
    EXPECT_NEAR(static_cast<double>(photo->width) / photo->height, 1.5, 0.01);

    EXPECT_EQ(FitDecodedSize({1, 100000}, limits), (PixelSize{1, 16384}));
    EXPECT_EQ(FitDecodedSize({100000, 3}, limits), (PixelSize{16384, 1}));

    DecodeLimits tiny;
    tiny.maxPixels = 100;
    EXPECT_EQ(FitDecodedSize({1, 1000}, tiny), (PixelSize{1, 100}));
    EXPECT_EQ(FitDecodedSize({1000, 2}, tiny), (PixelSize{100, 1}));

    EXPECT_FALSE(FitDecodedSize({0, 10}, limits));
    EXPECT_FALSE(FitDecodedSize({10, -1}, limits));
    EXPECT_FALSE(FitDecodedSize({60000, 60000}, limits)) << "beyond anything worth decoding";
}

// A JPEG's start with an EXIF block holding one orientation entry.
std::string JpegWithOrientation(int orientation, bool bigEndian, bool withJfif = false) {
    std::string tiff = bigEndian ? "MM\0\x2a\0\0\0\x08"s : "II\x2a\0\x08\0\0\0"s;
    auto u16 = [&](int v) {
        const char hi = static_cast<char>(v >> 8), lo = static_cast<char>(v & 0xFF);
        tiff += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    };
    u16(2);  // entries
    u16(0x010F), u16(2), u16(0), u16(0), u16(0), u16(0);  // Make, not ours to read
    u16(0x0112), u16(3);
    if (bigEndian) tiff += "\0\0\0\x01"s;
    else tiff += "\x01\0\0\0"s;
    u16(orientation), u16(0);
    tiff += "\0\0\0\0"s;
    const std::string exif = "Exif\0\0"s + tiff;
    const std::size_t length = exif.size() + 2;
    std::string jpeg = "\xff\xd8"s;
    if (withJfif) jpeg += "\xff\xe0\0\x10JFIF\0\x01\x01\0\0\x01\0\x01\0\0"s;
    jpeg += "\xff\xe1"s + static_cast<char>(length >> 8) + static_cast<char>(length & 0xFF) + exif;
    jpeg += "\xff\xda\0\x08........"s;
    return jpeg;
}

TEST(PictureOrientation, ReadsTheExifOrientationOfJpegs) {
    for (int o = 1; o <= 8; ++o) {
        EXPECT_EQ(JpegOrientation(JpegWithOrientation(o, false)), o);
        EXPECT_EQ(JpegOrientation(JpegWithOrientation(o, true, true)), o);
    }
    EXPECT_EQ(JpegOrientation(JpegWithOrientation(9, false)), 1);
    EXPECT_EQ(JpegOrientation(JpegWithOrientation(0, true)), 1);
    EXPECT_EQ(JpegOrientation("\xff\xd8\xff\xe0\0\x10JFIF\0\x01\x01\0\0\x01\0\x01\0\0\xff\xda"s), 1);
    EXPECT_EQ(JpegOrientation("\x89PNG\r\n\x1a\n"s), 1);
    EXPECT_EQ(JpegOrientation(""), 1);
    // Cut anywhere, the reader never reads past the end.
    const std::string whole = JpegWithOrientation(6, false);
    const std::size_t exifEnd = whole.find("\xff\xda");
    for (std::size_t n = 0; n < exifEnd; ++n) EXPECT_EQ(JpegOrientation(whole.substr(0, n)), 1) << n;
    EXPECT_EQ(JpegOrientation(whole.substr(0, exifEnd)), 6);
    // An EXIF block after the picture data starts is not the picture's.
    EXPECT_EQ(JpegOrientation("\xff\xd8\xff\xda\0\x02"s + JpegWithOrientation(6, false).substr(2)), 1);

    // The size, from the frame header after the EXIF block (baseline or progressive), not a table's.
    std::string sized = whole.substr(0, exifEnd) + "\xff\xc4\0\x05\x01\x02\x03"s;
    EXPECT_FALSE(JpegSize(sized + "\xff\xda"s)) << "no frame header";
    sized += "\xff\xc2\0\x0b\x08\x75\x30\x02\xee\x01\x01\x11\x00"s;  // 750 x 30,000
    EXPECT_EQ(JpegSize(sized), (PixelSize{750, 30000}));
    EXPECT_FALSE(JpegSize(sized.substr(0, sized.size() - 9))) << "cut in its header";
}

TEST(PictureLimits, OnlyLongPicturesPastTheLimitsAreReadAsDrawn) {
    DecodeLimits limits;
    EXPECT_FALSE(ReadsAsDrawn({750, 30000}, limits)) << "not asked for";
    limits.maxReadAsDrawnPixels = 24'000'000;
    EXPECT_TRUE(ReadsAsDrawn({750, 30000}, limits));
    EXPECT_TRUE(ReadsAsDrawn({790, 12000}, limits)) << "past 8 million pixels";
    EXPECT_FALSE(ReadsAsDrawn({750, 10000}, limits)) << "kept whole";
    EXPECT_FALSE(ReadsAsDrawn({1242, 30000}, limits)) << "past 24 million: scaled down";
    EXPECT_FALSE(ReadsAsDrawn({20000, 800}, limits)) << "wider than the limit";
}

TEST(PictureOrientation, TurnsPixelsAsTheyAreShown) {
    // Stored:  A B C
    //          D E F
    enum : std::uint32_t { A = 1, B, C, D, E, F };
    const Picture stored{3, 2, {A, B, C, D, E, F}};
    const struct {
        int orientation;
        int width, height;
        std::vector<std::uint32_t> shown;
    } cases[] = {
        {1, 3, 2, {A, B, C, D, E, F}},
        {2, 3, 2, {C, B, A, F, E, D}},
        {3, 3, 2, {F, E, D, C, B, A}},
        {4, 3, 2, {D, E, F, A, B, C}},
        {5, 2, 3, {A, D, B, E, C, F}},
        {6, 2, 3, {D, A, E, B, F, C}},
        {7, 2, 3, {F, C, E, B, D, A}},
        {8, 2, 3, {C, F, B, E, A, D}},
    };
    for (const auto& c : cases) {
        const Picture p = Oriented(stored, c.orientation);
        EXPECT_EQ(p.width, c.width) << c.orientation;
        EXPECT_EQ(p.height, c.height) << c.orientation;
        EXPECT_EQ(p.pixels, c.shown) << c.orientation;
        EXPECT_EQ(OrientedSize({3, 2}, c.orientation), (PixelSize{c.width, c.height}));
    }
}

}  // namespace
}  // namespace mojian::html
