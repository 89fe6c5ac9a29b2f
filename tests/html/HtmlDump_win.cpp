// Lays out HTML files with GDI's measurements and writes their boxes as JSON
// (one object per file), optionally a 24-bit BMP of each.
//   html_dump --width 750 --json out.json [--document] [--pictures none|load]
//             [--bmp-dir DIR] files...
// --document lays each file out as a page of its own (the body's margins);
// without it each is a block (no margin). --pictures load fetches every
// picture with the real loader and waits for all of them before the boxes
// are taken; none (the default) lays out as if no picture could be loaded.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "base/Utf_win.h"
#include "html/GdiFonts_win.h"
#include "html/GdiPaint_win.h"
#include "html/Layout.h"
#include "html/Parser.h"
#include "html/PictureLoader_win.h"

namespace {

using namespace mojian;
using namespace mojian::html;

std::string ReadFile(const std::wstring& path) {
    std::string out;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return out;
    char buf[65536];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return out;
}

std::string BaseName(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    return Narrow(name);
}

// The loader, noting every address layout asks about, so the dump can wait
// until none is loading any more.
class WaitingPictures : public PictureSource {
public:
    explicit WaitingPictures(PictureLoader& loader) : loader_(loader) {}
    PictureInfo Query(std::string_view url) override {
        asked_.emplace_back(url);
        return loader_.Query(url);
    }
    std::shared_ptr<const Picture> Pixels(std::string_view url) override { return loader_.Pixels(url); }
    bool AnyLoading() {
        for (const auto& url : asked_)
            if (loader_.Query(url).state == PictureInfo::State::Loading) return true;
        return false;
    }
    void Forget() { asked_.clear(); }

private:
    PictureLoader& loader_;
    std::vector<std::string> asked_;
};

// Lays the document out, and with a loader again until every picture it
// shows has arrived or failed (20 s at most).
PageLayout LayOut(const Document& doc, const LayoutOptions& options, GdiFonts& fonts, WaitingPictures* waiting) {
    if (!waiting) return LayoutDocument(doc, options, fonts);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        waiting->Forget();
        PageLayout page = LayoutDocument(doc, options, fonts, *waiting);
        if (!waiting->AnyLoading()) return page;
        while (waiting->AnyLoading() && std::chrono::steady_clock::now() < deadline) Sleep(10);
        if (std::chrono::steady_clock::now() >= deadline) return LayoutDocument(doc, options, fonts, *waiting);
    }
}

bool WriteBmp(const std::wstring& path, const PageLayout& page, GdiFonts& fonts, PictureSource& pictures, int width) {
    const int height = std::clamp(static_cast<int>(std::ceil(page.height)), 1, 20000);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    OwnedDc dc = CreateMemoryDc();
    Bitmap bmp(CreateDIBSection(dc.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dc.get() || !bmp.get()) return false;
    Selection select(dc.get(), bmp.get());
    const RECT all{0, 0, width, height};
    FillRect(dc.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    PaintLayout(dc.get(), page, fonts, pictures, 0, 0, all);
    GdiFlush();
    const int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
    fh.bfSize = fh.bfOffBits + static_cast<DWORD>(stride * height);
    bool ok = false;
    if (FILE* f = _wfopen(path.c_str(), L"wb")) {
        ok = fwrite(&fh, sizeof fh, 1, f) == 1 && fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f) == 1 &&
             fwrite(bits, static_cast<std::size_t>(stride) * static_cast<std::size_t>(height), 1, f) == 1;
        fclose(f);
    }
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int width = 750;
    std::wstring json, bmpDir;
    bool document = false, load = false;
    std::vector<std::wstring> files;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--width" && i + 1 < argc) width = std::max(1, _wtoi(argv[++i]));
        else if (a == L"--json" && i + 1 < argc) json = argv[++i];
        else if (a == L"--bmp-dir" && i + 1 < argc) bmpDir = argv[++i];
        else if (a == L"--document") document = true;
        else if (a == L"--pictures" && i + 1 < argc) load = std::wstring(argv[++i]) == L"load";
        else files.push_back(a);
    }
    if (files.empty()) return 2;
    GdiFonts fonts;
    std::unique_ptr<PictureLoader> loader;
    std::unique_ptr<WaitingPictures> waiting;
    NoPictures none;
    if (load) {
        loader = std::make_unique<PictureLoader>(PictureLoaderOptions{}, std::make_shared<WinPictureBackend>(), nullptr);
        waiting = std::make_unique<WaitingPictures>(*loader);
    }
    PictureSource& pictures = waiting ? static_cast<PictureSource&>(*waiting) : none;
    std::string out = "{\n";
    bool first = true;
    for (const auto& file : files) {
        const std::string html = ReadFile(file);
        const Document root = ParseHtml(html);
        LayoutOptions options{static_cast<float>(width), document ? 8.0f : 0.0f};
        if (document) options.compat.reset();  // as the doctype says, as a browser would
        const PageLayout page = LayOut(root, options, fonts, waiting.get());
        char buf[400];
        std::snprintf(buf, sizeof buf, "%s\"%s\": {\"height\": %.1f, \"boxes\": [", first ? "" : ",\n",
                      BaseName(file).c_str(), page.height);
        out += buf;
        first = false;
        for (std::size_t i = 0; i < page.boxes.size(); ++i) {
            const auto& b = page.boxes[i];
            std::snprintf(buf, sizeof buf, "%s[\"%s\", %.1f, %.1f, %.1f, %.1f]", i ? ", " : "", b.tag.c_str(),
                          b.rect.x, b.rect.y, b.rect.w, b.rect.h);
            out += buf;
        }
        out += "]}";
        if (!bmpDir.empty()) {
            std::wstring name = file.substr(file.find_last_of(L"\\/") + 1);
            WriteBmp(bmpDir + L"\\" + name + L".bmp", page, fonts, pictures, width);
        }
    }
    out += "\n}\n";
    if (json.empty()) {
        std::fwrite(out.data(), 1, out.size(), stdout);
    } else if (FILE* f = _wfopen(json.c_str(), L"wb")) {
        std::fwrite(out.data(), 1, out.size(), f);
        fclose(f);
    } else {
        return 1;
    }
    return 0;
}
