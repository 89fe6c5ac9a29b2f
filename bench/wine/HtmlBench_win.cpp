// The HTML view's speed under Wine: parsing, layout and painting with GDI's
// measurements for the largest block, a page of 100 blocks and each real
// page in a folder (tests/html/realpages), each the median of 7 runs with
// fonts and caches warm, as in a running program.
//
//   html_bench --out rows.tsv [--pages DIR]
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/File.h"
#include "base/Scoped_win.h"
#include "bench/wine/BenchRows_win.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "html/GdiFonts_win.h"
#include "html/GdiPaint_win.h"
#include "html/Layout.h"
#include "html/Parser.h"

namespace mojian::bench {
namespace {

using namespace mojian::html;

constexpr int kViewWidth = 766;  // the preview's client width: a 750-pixel page and its margins

// Median time to parse, lay out and paint `source` into a view-sized bitmap.
double TimeOnce(const std::string& source, GdiFonts& fonts) {
    OwnedDc dc = CreateMemoryDc();
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = kViewWidth;
    bi.bmiHeader.biHeight = -700;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const Bitmap bitmap(CreateDIBSection(dc.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    const Selection select(dc.get(), bitmap.get());
    std::vector<double> runs;
    for (int i = 0; i < 7; ++i) {
        const double start = NowMs();
        const Document document = ParseHtml(source);
        const PageLayout page = LayoutDocument(document, LayoutOptions{kViewWidth, 8}, fonts);
        const RECT view{0, 0, kViewWidth, 700};
        FillRect(dc.get(), &view, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        NoPictures pictures;
        PaintLayout(dc.get(), page, fonts, pictures, 0, 0, view);
        GdiFlush();
        runs.push_back(NowMs() - start);
    }
    return Median(runs);
}

void MeasureBlocks(Rows& rows, GdiFonts& fonts) {
    std::vector<std::pair<int, int>> all;
    int bigKind = 0, bigStyle = 0;
    for (int k = 0; k < kKindCount; ++k)
        for (int s = 0; s < kStyleCounts[static_cast<std::size_t>(k)]; ++s) {
            all.emplace_back(k, s);
            if (BuiltInLibrary().Get(k, s).size() > BuiltInLibrary().Get(bigKind, bigStyle).size()) {
                bigKind = k;
                bigStyle = s;
            }
        }
    std::string page;
    for (std::size_t i = 0; i < 100; ++i) page += BuiltInLibrary().Get(all[i % all.size()].first, all[i % all.size()].second);
    TimeOnce(BuiltInLibrary().Get(0, 0), fonts);  // fonts and caches warm, as in a running program
    const double big = TimeOnce(BuiltInLibrary().Get(bigKind, bigStyle), fonts);
    rows.Add({"largest block (" + std::to_string(BuiltInLibrary().Get(bigKind, bigStyle).size()) +
                  " bytes) parsed, laid out and painted (median of 7)",
              Fixed(big, 2) + " ms", "-", "-", "-", true});
    const double whole = TimeOnce(page, fonts);
    rows.Add({"page of 100 blocks (" + std::to_string(page.size() / 1024) +
                  " KB) parsed, laid out and painted (median of 7)",
              Fixed(whole, 2) + " ms", "100 ms", Fixed(whole / 100, 2), "< 1", whole < 100});
}

void MeasurePages(Rows& rows, GdiFonts& fonts, const std::wstring& folder) {
    std::vector<double> times;
    std::string slowest;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(folder), ec)) {
        if (entry.path().extension() != ".html") continue;
        const std::u8string name = entry.path().u8string();
        const auto source = ReadWholeFile(std::string(name.begin(), name.end()));
        if (!source) continue;
        const double ms = TimeOnce(*source, fonts);
        if (times.empty() || ms > Max(times)) {
            const std::u8string file = entry.path().filename().u8string();
            slowest.assign(file.begin(), file.end());
        }
        times.push_back(ms);
    }
    if (times.empty()) return rows.Failure("real pages", "no pages in the folder");
    rows.Add({std::to_string(times.size()) + " real pages parsed, laid out and painted (median of 7 each; median " +
                  Fixed(Median(times), 2) + " ms), the slowest (" + slowest + ")",
              Fixed(Max(times), 2) + " ms", "10 ms", Fixed(Max(times) / 10, 2), "< 1", Max(times) < 10});
}

}  // namespace
}  // namespace mojian::bench

int wmain(int argc, wchar_t** argv) {
    using namespace mojian::bench;
    const auto out = Option(argc, argv, L"--out");
    if (!out) {
        std::fprintf(stderr, "usage: html_bench --out rows.tsv [--pages DIR]\n");
        return 2;
    }
    Rows rows;
    mojian::html::GdiFonts fonts;
    MeasureBlocks(rows, fonts);
    if (const auto pages = Option(argc, argv, L"--pages")) MeasurePages(rows, fonts, *pages);
    return rows.Write(*out) ? 0 : 1;
}
