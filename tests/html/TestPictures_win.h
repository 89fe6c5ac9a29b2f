// Pictures for the loader's tests and benchmark: made with WIC's encoders,
// and one flat PNG written by hand so that even 30,000 x 30,000 pixels take
// under a megabyte. The caller has initialised COM.
#pragma once

#include <windows.h>
#include <wincodec.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Scoped_win.h"

namespace mojian::testing {

// `container` is GUID_ContainerFormatPng, Jpeg, Gif or Bmp; color(x, y) gives
// each pixel as 0xAARRGGBB, not premultiplied. Empty when WIC refuses.
inline std::string EncodePicture(const GUID& container, int width, int height,
                                 const std::function<std::uint32_t(int, int)>& color) {
    using mojian::ComPtr;
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(factory.put()))))
        return {};
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pixels[static_cast<std::size_t>(y) * width + x] = color(x, y);
    ComPtr<IWICBitmap> bitmap;
    ComPtr<IStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> properties;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    const UINT stride = static_cast<UINT>(width) * 4;
    if (FAILED(factory->CreateBitmapFromMemory(width, height, GUID_WICPixelFormat32bppBGRA, stride,
                                               stride * static_cast<UINT>(height),
                                               reinterpret_cast<BYTE*>(pixels.data()), bitmap.put())) ||
        FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put())) ||
        FAILED(factory->CreateEncoder(container, nullptr, encoder.put())) ||
        FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(frame.put(), properties.put())) || FAILED(frame->Initialize(properties.get())) ||
        FAILED(frame->SetSize(width, height)) || FAILED(frame->SetPixelFormat(&format)))
        return {};
    ComPtr<IWICBitmapSource> source = ComPtr<IWICBitmapSource>::Share(bitmap);
    if (format != GUID_WICPixelFormat32bppBGRA) {
        // The encoder wants its own format (24 bits for JPEG, a palette for GIF).
        ComPtr<IWICPalette> palette;
        ComPtr<IWICFormatConverter> converter;
        const bool indexed = format == GUID_WICPixelFormat8bppIndexed;
        if (indexed && (FAILED(factory->CreatePalette(palette.put())) ||
                        FAILED(palette->InitializePredefined(WICBitmapPaletteTypeFixedWebPalette, FALSE)) ||
                        FAILED(frame->SetPalette(palette.get()))))
            return {};
        if (FAILED(factory->CreateFormatConverter(converter.put())) ||
            FAILED(converter->Initialize(bitmap.get(), format, WICBitmapDitherTypeNone, palette.get(), 0.0,
                                         indexed ? WICBitmapPaletteTypeFixedWebPalette : WICBitmapPaletteTypeCustom)))
            return {};
        source = ComPtr<IWICBitmapSource>::Share(converter);
    }
    if (FAILED(frame->WriteSource(source.get(), nullptr)) || FAILED(frame->Commit()) || FAILED(encoder->Commit()))
        return {};
    STATSTG stat{};
    HGLOBAL global = nullptr;
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)) || FAILED(GetHGlobalFromStream(stream.get(), &global)))
        return {};
    const void* data = GlobalLock(global);
    std::string bytes(static_cast<const char*>(data), static_cast<std::size_t>(stat.cbSize.QuadPart));
    GlobalUnlock(global);
    return bytes;
}

inline std::string EncodePicture(const GUID& container, int width, int height, std::uint32_t color = 0xFF3366CC) {
    return EncodePicture(container, width, height, [color](int, int) { return color; });
}

// A black PNG of any size, one bit a pixel, compressed by hand: every byte
// of its pixel data is 0, so the deflate stream is one literal and then
// repeats of "258 bytes again" (13 bits each).
inline std::string FlatPng(std::uint32_t width, std::uint32_t height) {
    std::string zlib = "\x78\x01";
    std::uint32_t acc = 0;
    int count = 0;
    auto bits = [&](std::uint32_t value, int n) {  // least significant first
        for (int i = 0; i < n; ++i) {
            acc |= ((value >> i) & 1u) << count;
            if (++count == 8) {
                zlib += static_cast<char>(acc);
                acc = 0;
                count = 0;
            }
        }
    };
    auto code = [&](std::uint32_t value, int n) {  // Huffman codes go most significant first
        for (int i = n - 1; i >= 0; --i) bits((value >> i) & 1u, 1);
    };
    const std::uint64_t raw = std::uint64_t{height} * (1 + (width + 7) / 8);  // a filter byte per row
    bits(1, 1);                // the last block
    bits(1, 2);                // fixed codes
    code(0x30, 8);             // literal 0
    for (std::uint64_t i = 0; i < (raw - 1) / 258; ++i) {
        code(0xC5, 8);         // length 258
        code(0, 5);            // distance 1
    }
    for (std::uint64_t i = 0; i < (raw - 1) % 258; ++i) code(0x30, 8);
    code(0, 7);                // end of block
    if (count) bits(0, 8 - count);
    const std::uint32_t adler = static_cast<std::uint32_t>((raw % 65521) << 16 | 1);
    for (int shift = 24; shift >= 0; shift -= 8) zlib += static_cast<char>(adler >> shift);

    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::string png = "\x89PNG\r\n\x1a\n";
    auto chunk = [&](const char* type, const std::string& data) {
        const std::string body = type + data;
        for (int shift = 24; shift >= 0; shift -= 8) png += static_cast<char>(data.size() >> shift);
        std::uint32_t crc = 0xFFFFFFFFu;
        for (unsigned char c : body) crc = table[(crc ^ c) & 0xFF] ^ (crc >> 8);
        crc ^= 0xFFFFFFFFu;
        png += body;
        for (int shift = 24; shift >= 0; shift -= 8) png += static_cast<char>(crc >> shift);
    };
    std::string header;
    for (std::uint32_t v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) header += static_cast<char>(v >> shift);
    header += std::string("\x01\x00\x00\x00\x00", 5);  // 1 bit, grey, deflate, no filter, no interlace
    chunk("IHDR", header);
    chunk("IDAT", zlib);
    chunk("IEND", "");
    return png;
}

}  // namespace mojian::testing
