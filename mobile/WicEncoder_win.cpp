#include "mobile/WicEncoder_win.h"

#include <objidl.h>

#include <algorithm>
#include <vector>

namespace mojian::mobile {

namespace {

// Premultiplied BGRA over white, as 24-bit BGR rows padded to four bytes.
void Flatten(const Raster& piece, int top, int rows, UINT stride, std::vector<BYTE>& out) {
    out.assign(static_cast<std::size_t>(stride) * static_cast<std::size_t>(rows), 0);
    for (int y = 0; y < rows; ++y) {
        const std::uint32_t* in = piece.pixels.data() + static_cast<std::size_t>(top + y) * piece.width;
        BYTE* o = out.data() + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < piece.width; ++x) {
            const std::uint32_t p = in[x];
            const unsigned back = 255 - (p >> 24);  // the white showing through
            for (int ch = 0; ch < 3; ++ch)
                *o++ = static_cast<BYTE>(std::min(255u, ((p >> (8 * ch)) & 0xff) + back));
        }
    }
}

}  // namespace

WicEncoder::WicEncoder() {
    // A thread already in COM (either model) is fine; only what we joined is left.
    const HRESULT joined = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    comJoined_ = SUCCEEDED(joined);
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(factory_.put()))))
        factory_.reset();
}

WicEncoder::~WicEncoder() {
    factory_.reset();  // before COM goes
    if (comJoined_) CoUninitialize();
}

std::optional<std::string> WicEncoder::Encode(const Raster& piece, Format format, int quality) {
    if (!factory_ || piece.width <= 0 || piece.height <= 0 ||
        piece.pixels.size() != static_cast<std::size_t>(piece.width) * static_cast<std::size_t>(piece.height))
        return std::nullopt;
    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()))) return std::nullopt;
    ComPtr<IWICBitmapEncoder> encoder;
    const GUID& container = format == Format::Jpeg ? GUID_ContainerFormatJpeg : GUID_ContainerFormatPng;
    if (FAILED(factory_->CreateEncoder(container, nullptr, encoder.put())) ||
        FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)))
        return std::nullopt;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    if (FAILED(encoder->CreateNewFrame(frame.put(), options.put()))) return std::nullopt;
    if (format == Format::Jpeg && options) {
        PROPBAG2 name{};
        name.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_R4;
        value.fltVal = static_cast<float>(std::clamp(quality, 1, 100)) / 100.0f;
        if (FAILED(options->Write(1, &name, &value))) return std::nullopt;  // a quality we cannot set would lie about sizes
    }
    if (FAILED(frame->Initialize(options.get())) ||
        FAILED(frame->SetSize(static_cast<UINT>(piece.width), static_cast<UINT>(piece.height))))
        return std::nullopt;
    WICPixelFormatGUID pixelFormat = GUID_WICPixelFormat24bppBGR;
    if (FAILED(frame->SetPixelFormat(&pixelFormat)) || pixelFormat != GUID_WICPixelFormat24bppBGR) return std::nullopt;
    // In bands of rows: a whole piece converted at once would double its memory for nothing.
    const UINT stride = (static_cast<UINT>(piece.width) * 3 + 3) & ~3u;
    constexpr int kBandRows = 64;
    std::vector<BYTE> rows;
    for (int y = 0; y < piece.height; y += kBandRows) {
        const int n = std::min(kBandRows, piece.height - y);
        Flatten(piece, y, n, stride, rows);
        if (FAILED(frame->WritePixels(static_cast<UINT>(n), stride, static_cast<UINT>(rows.size()), rows.data())))
            return std::nullopt;
    }
    if (FAILED(frame->Commit()) || FAILED(encoder->Commit())) return std::nullopt;
    STATSTG stat{};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)) || stat.cbSize.QuadPart == 0 ||
        stat.cbSize.QuadPart > 0x7FFFFFFF)
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(stat.cbSize.QuadPart), '\0');
    const LARGE_INTEGER start{};
    ULONG read = 0;
    if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) ||
        FAILED(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read)) || read != bytes.size())
        return std::nullopt;
    return bytes;
}

}  // namespace mojian::mobile
