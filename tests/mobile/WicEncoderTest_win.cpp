#include "mobile/WicEncoder_win.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace mojian::mobile {
namespace {

// Bands of the page's colours, a fine pattern in every other one, so that a
// JPEG's size depends on its quality; `w` odd so that rows need padding.
Raster Striped(int w, int h) {
    Raster r{w, h, {}};
    const std::uint32_t bands[] = {0xFFC03020, 0xFFFFFFFF, 0xFF2050A0, 0xFF000000};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            r.pixels.push_back(bands[(y / 25) % 4] ^ ((y / 25) % 2 == 0 && (x * 7 + y * 3) % 11 < 4 ? 0x303030 : 0));
    return r;
}

// The file decoded again with WIC, as straight BGRA.
Raster Decode(const std::string& bytes) {
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    UINT w = 0, h = 0;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(factory.put()))) ||
        FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())),
                                            static_cast<DWORD>(bytes.size()))) ||
        FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.put())) ||
        FAILED(decoder->GetFrame(0, frame.put())) || FAILED(frame->GetSize(&w, &h)) ||
        FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return {};
    Raster out{static_cast<int>(w), static_cast<int>(h), std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h)};
    if (FAILED(converter->CopyPixels(nullptr, w * 4, w * h * 4, reinterpret_cast<BYTE*>(out.pixels.data())))) return {};
    return out;
}

// The mean difference of the colour channels.
double MeanDifference(const Raster& a, const Raster& b) {
    double total = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i)
        for (int shift : {0, 8, 16})
            total += std::abs(static_cast<int>((a.pixels[i] >> shift) & 0xff) - static_cast<int>((b.pixels[i] >> shift) & 0xff));
    return total / (3.0 * static_cast<double>(a.pixels.size()));
}

// Wine's JPEG encoder takes the quality option and ignores it (always its
// library's default, 75): there the sizes cannot rise, on Windows they must.
bool OnWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

TEST(WicEncoder, JpegGrowsWithQualityAndComesBackClose) {
    WicEncoder encoder;
    const Raster piece = Striped(301, 200);
    std::vector<std::size_t> sizes;
    for (int quality : {10, 40, 70, 90, 100}) {
        const auto jpeg = encoder.Encode(piece, Format::Jpeg, quality);
        ASSERT_TRUE(jpeg);
        sizes.push_back(jpeg->size());
        const Raster back = Decode(*jpeg);
        ASSERT_EQ(back.pixels.size(), piece.pixels.size());
        ASSERT_EQ(back.width, 301);
        if (quality == 100) {
            EXPECT_LT(MeanDifference(piece, back), OnWine() ? 10.0 : 3.0);
        }
    }
    if (OnWine()) {
        std::printf("Wine ignores the JPEG quality: %zu bytes at every quality\n", sizes.front());
        return;
    }
    for (std::size_t i = 1; i < sizes.size(); ++i) EXPECT_GT(sizes[i], sizes[i - 1]) << i;
}

TEST(WicEncoder, PngComesBackExactlyWithTranslucencyOnWhiteAndFalseRastersAreRefused) {
    WicEncoder encoder;
    Raster piece = Striped(123, 77);
    piece.pixels[0] = 0x80000000;  // half-transparent black, premultiplied: mid grey on white
    piece.pixels[1] = 0x00000000;  // transparent: white
    const auto png = encoder.Encode(piece, Format::Png, 1);
    ASSERT_TRUE(png);
    const Raster back = Decode(*png);
    ASSERT_EQ(back.width, 123);
    ASSERT_EQ(back.height, 77);
    piece.pixels[0] = 0xFF7F7F7F;
    piece.pixels[1] = 0xFFFFFFFF;
    EXPECT_EQ(back.pixels, piece.pixels);
    EXPECT_FALSE(encoder.Encode(Raster{}, Format::Png, 90));
    EXPECT_FALSE(encoder.Encode(Raster{10, 10, std::vector<std::uint32_t>(99)}, Format::Jpeg, 90));
    EXPECT_TRUE(encoder.Encode(Raster{1, 1, {0xFFFFFFFF}}, Format::Jpeg, 500));  // quality clamped
}

}  // namespace
}  // namespace mojian::mobile
