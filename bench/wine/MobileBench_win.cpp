// The mobile description's painting and encoding under Wine: the ninety
// blocks one after the other (repeated until the page is long enough), laid
// out at 750 pixels and painted at 750 and at 1,242 pixels, 20,000 output
// rows in bands of 1,546 (a piece's most), each band encoded as JPEG and as
// PNG. Every picture is a 750 x 420 photograph-like picture, loaded. Prints
// the times; nothing is asserted.
//
//   mobile_bench [folder]   (the folder gets the first pieces and a contact sheet)
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/File.h"
#include "base/Utf_win.h"
#include "bench/wine/BenchRows_win.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "html/GdiFonts_win.h"
#include "html/Layout.h"
#include "html/Parser.h"
#include "mobile/ContactSheet.h"
#include "mobile/Pack.h"
#include "mobile/GdiPagePainter_win.h"
#include "mobile/WicEncoder_win.h"

namespace mojian::bench {
namespace {

using namespace mojian::mobile;

constexpr int kRows = 20000, kPieceRows = 1546, kColumn = 750;

class PhotoPictures final : public html::PictureSource {
public:
    PhotoPictures() : photo_(std::make_shared<html::Picture>()) {
        photo_->width = 750;
        photo_->height = 420;
        unsigned seed = 1;
        for (int y = 0; y < 420; ++y)
            for (int x = 0; x < 750; ++x) {
                seed = seed * 1103515245u + 12345u;
                const unsigned noise = (seed >> 16) & 15;
                const unsigned r = (x * 255 / 750 + noise) & 0xff, g = (y * 255 / 420 + noise) & 0xff,
                               b = ((x + y) / 5 + noise) & 0xff;
                photo_->pixels.push_back(0xFF000000u | r << 16 | g << 8 | b);
            }
    }
    html::PictureInfo Query(std::string_view) override { return {html::PictureInfo::State::Ready, 750, 420}; }
    std::shared_ptr<const html::Picture> Pixels(std::string_view) override { return photo_; }

private:
    std::shared_ptr<html::Picture> photo_;
};

struct Figures {
    double paint = 0, spread = 0, jpeg = 0, png = 0;
    std::size_t jpegBytes = 0, pngBytes = 0;
    int bands = 0;
};

Figures Run(const html::PageLayout& page, int width, html::GdiFonts& fonts, html::PictureSource& pictures,
            const std::string& folder) {
    Figures f;
    GdiPagePainter painter(page, width, fonts, pictures);
    WicEncoder encoder;
    const int rows = std::min(kRows, painter.Height());
    std::vector<int> heights;
    for (int top = 0; top < rows; top += kPieceRows) heights.push_back(std::min(kPieceRows, rows - top));
    ContactSheet sheet(width, heights);
    for (std::size_t i = 0; i < heights.size(); ++i) {
        Raster band{width, heights[i], {}};
        double t = NowMs();
        if (!painter.Paint(static_cast<int>(i) * kPieceRows, band)) std::printf("band %zu not painted\n", i);
        f.paint += NowMs() - t;
        t = NowMs();
        (void)RowUniformity(band);
        f.spread += NowMs() - t;
        t = NowMs();
        const auto jpeg = encoder.Encode(band, Format::Jpeg, 90);
        f.jpeg += NowMs() - t;
        t = NowMs();
        const auto png = encoder.Encode(band, Format::Png, 0);
        f.png += NowMs() - t;
        f.jpegBytes += jpeg ? jpeg->size() : 0;
        f.pngBytes += png ? png->size() : 0;
        ++f.bands;
        if (!folder.empty()) {
            sheet.Add(i, band);
            if (i < 2 && jpeg) WriteWholeFile(folder + "/" + std::to_string(width) + "-" + std::to_string(i + 1) + ".jpg", *jpeg);
        }
    }
    if (!folder.empty())
        if (const auto png = encoder.Encode(sheet.Finish(), Format::Png, 0))
            WriteWholeFile(folder + "/" + std::to_string(width) + "-sheet.png", *png);
    return f;
}

}  // namespace
}  // namespace mojian::bench

int wmain(int argc, wchar_t** argv) {
    using namespace mojian;
    using namespace mojian::bench;
    const std::string folder = argc > 1 ? Narrow(argv[1]) : std::string();
    std::string blocks;
    for (int k = 0; k < kKindCount; ++k)
        for (int s = 0; s < kStyleCounts[static_cast<std::size_t>(k)]; ++s) blocks += BuiltInLibrary().Get(k, s);
    html::GdiFonts fonts;
    PhotoPictures pictures;
    std::string source;
    html::PageLayout page;
    double layout = 0;
    int copies = 0;
    // The ninety blocks, again until the page is long enough at the larger scale too.
    while (page.height * 1242.0f / kColumn < kRows) {
        source += blocks;
        ++copies;
        const double t = NowMs();
        page = html::LayoutDocument(html::ParseHtml(source), html::LayoutOptions{kColumn, 0}, fonts, pictures);
        layout = NowMs() - t;
    }
    std::printf("page: the 90 blocks x %d, %.0f rows at %d, parsed and laid out in %.0f ms\n", copies, page.height,
                kColumn, layout);
    for (int width : {750, 1242}) {
        const double t = NowMs();
        html::LayoutOptions options{static_cast<float>(width), 0};
        options.zoom = static_cast<float>(width) / kColumn;
        const html::PageLayout scaled = html::LayoutDocument(html::ParseHtml(source), options, fonts, pictures);
        const double layingOut = NowMs() - t;
        const Figures f = Run(scaled, width, fonts, pictures, folder);
        const double total = f.paint + f.jpeg;
        std::printf("%d x %d in %d bands: laid out in %.0f ms, painting %.0f ms, row measure %.0f ms, JPEG q90 %.0f ms "
                    "(%.1f MB), PNG %.0f ms (%.1f MB); painting + JPEG %.0f ms = %.0f rows/s, %.1f Mpixel/s\n",
                    width, std::min(kRows, static_cast<int>(scaled.height)), f.bands, layingOut, f.paint, f.spread, f.jpeg,
                    f.jpegBytes / 1048576.0, f.png, f.pngBytes / 1048576.0, total, kRows * 1000.0 / total,
                    static_cast<double>(width) * kRows / total / 1000.0);
    }
    return 0;
}
