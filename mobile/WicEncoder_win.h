// Pieces encoded with Windows' imaging component: JPEG at a quality, or PNG.
#pragma once

#include <wincodec.h>

#include "base/Scoped_win.h"
#include "mobile/Seams.h"

namespace mojian::mobile {

class WicEncoder final : public PieceEncoder {
public:
    // Joins COM on the calling thread (or uses what the thread has);
    // Encode must be called on the same thread.
    WicEncoder();
    ~WicEncoder() override;
    WicEncoder(const WicEncoder&) = delete;
    WicEncoder& operator=(const WicEncoder&) = delete;

    // The piece flattened onto white as 24-bit colour: a JPEG (quality
    // 1-100, clamped) or a PNG file's bytes.
    std::optional<std::string> Encode(const Raster& piece, Format format, int quality) override;

private:
    bool comJoined_ = false;
    ComPtr<IWICImagingFactory> factory_;
};

}  // namespace mojian::mobile
