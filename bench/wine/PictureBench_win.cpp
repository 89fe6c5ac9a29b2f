// Picture loading as the GUI thread feels it, under Wine: the real HTML
// view shows a page of 50 pictures without sizes while they load from a slow
// server on this machine, so every arrival lays the page out again; the GUI
// thread posts itself a message every few milliseconds and times how long
// each waits to be handled. Also the most decoded memory the loader held
// against its bound, and destroying the loader while downloads hang.
//
//   picture_bench --out rows.tsv
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/File.h"
#include "base/WindowClass_win.h"
#include "bench/wine/BenchRows_win.h"
#include "html/HtmlView_win.h"
#include "html/PictureLoader_win.h"
#include "tests/html/TestPictures_win.h"
#include "tests/service/FakeHttpServer_win.h"

namespace mojian::bench {
namespace {

using html::PictureInfo;
using html::PictureLoader;

constexpr UINT kProbe = WM_APP + 15;
constexpr int kPictures = 50;

struct Probe {
    double sentMs = 0;
    bool handled = false;
    std::vector<double> waitsMs;
};

LRESULT CALLBACK ProbeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* probe = reinterpret_cast<Probe*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (probe && msg == kProbe) {
        probe->waitsMs.push_back(NowMs() - probe->sentMs);
        probe->handled = true;
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void MeasureSlowServer(Rows& rows) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    testing::FakeHttpServer server;
    std::vector<std::string> urls;
    double totalBytes = 0;
    std::string page;
    for (int i = 0; i < kPictures; ++i) {
        // Description pictures: 750 wide, a photo's worth of detail for JPEG to keep.
        testing::Reply reply;
        reply.contentType = "image/jpeg";
        reply.body = testing::EncodePicture(GUID_ContainerFormatJpeg, 750, 400 + 8 * i, [i](int x, int y) {
            const auto v = static_cast<std::uint32_t>((x * 7 + y * 13 + i * 29 + (x * y) % 97) & 0xFF);
            return 0xFF000000u | v << 16 | ((v * 3) & 0xFF) << 8 | (255 - v);
        });
        reply.way = testing::Reply::Way::Trickle;
        reply.delayMs = 150;
        reply.trickleBytes = 8192;
        reply.trickleMs = 25;
        totalBytes += static_cast<double>(reply.body.size());
        const std::string path = "/slow/" + std::to_string(i) + ".jpg";
        server.Route(path, reply);
        urls.push_back(server.Url(path));
        // No sizes in the page: each arrival changes the layout.
        page += "<p style=\"font-size:14px\">第" + std::to_string(i + 1) + "张图 picture " + std::to_string(i + 1) +
                "</p><img src=\"" + urls.back() + "\" style=\"display:block;max-width:100%\">";
    }

    const HINSTANCE instance = GetModuleHandleW(nullptr);
    EnsureWindowClass(instance, L"MojianPictureBench", &ProbeProc);
    const HWND frame = CreateWindowExW(0, L"MojianPictureBench", L"picture bench", WS_OVERLAPPEDWINDOW, 0, 0, 820, 720,
                                       nullptr, nullptr, instance, nullptr);
    const HWND view = frame ? html::CreateHtmlView(frame, 1, 0, 0, 800, 680) : nullptr;
    if (!view) {
        rows.Failure("picture loading", "no window");
        CoUninitialize();
        return;
    }
    Probe probe;
    SetWindowLongPtrW(frame, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&probe));
    ShowWindow(frame, SW_SHOW);

    // A disk cache of its own, empty, so that every picture comes from the server.
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("mojian-picture-bench-" + std::to_string(GetCurrentProcessId()));
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    html::PictureLoaderOptions options;
    options.memory.decodedBytes = 32u * 1024 * 1024;  // less than the 50 pictures need, so the bound is exercised
    const std::u8string utf8 = folder.u8string();
    auto backend = std::make_shared<html::WinPictureBackend>();
    auto loader = std::make_shared<PictureLoader>(options, backend,
                                                  html::OpenPictureFolder(std::string(utf8.begin(), utf8.end())));
    html::HtmlViewUsePictureLoader(view, loader, backend);
    const int layoutsBefore = html::HtmlViewLayoutCount(view);
    html::HtmlViewSetHtml(view, page);
    UpdateWindow(view);

    const double start = NowMs();
    std::size_t mostDecoded = 0;
    auto settled = [&] {
        return std::all_of(urls.begin(), urls.end(),
                           [&](const std::string& u) { return loader->Query(u).state != PictureInfo::State::Loading; });
    };
    while (!settled() && NowMs() - start < 120000) {
        probe.sentMs = NowMs();
        probe.handled = false;
        PostMessageW(frame, kProbe, 0, 0);
        while (!probe.handled) {
            Pump();
            if (!probe.handled) MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
        }
        mostDecoded = std::max(mostDecoded, loader->Stats().cache.decodedBytes);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 4, QS_ALLINPUT);  // the user pauses between actions
        Pump();
    }
    const double loadedMs = NowMs() - start;
    Pump();
    int ready = 0;
    for (const auto& url : urls) ready += loader->Query(url).state == PictureInfo::State::Ready;
    const int layouts = html::HtmlViewLayoutCount(view) - layoutsBefore;
    std::vector<double> relayouts;
    for (int i = 0; i < 7; ++i) {
        const double t = NowMs();
        html::HtmlViewRelayout(view);
        UpdateWindow(view);
        relayouts.push_back(NowMs() - t);
    }
    rows.Add({"50 pictures without sizes from a slow server (150 ms to answer, 8 KB per 25 ms, " +
                  Fixed(totalBytes / kPictures / 1024, 0) + " KB each) into the view: " + std::to_string(ready) +
                  " shown, in",
              Fixed(loadedMs / 1000, 2) + " s", "-", "-", "-", ready == kPictures});
    rows.Add({"  GUI thread's wait for a posted message meanwhile (" + std::to_string(probe.waitsMs.size()) +
                  " messages, median " + Fixed(Median(probe.waitsMs), 2) + " ms; " + std::to_string(layouts) +
                  " layouts of the page), worst",
              Fixed(Max(probe.waitsMs), 2) + " ms", "16 ms", Fixed(Max(probe.waitsMs) / 16, 2), "< 1",
              Max(probe.waitsMs) < 16});
    rows.Add({"  laying out and painting the page with its 50 pictures again (median of 7)",
              Fixed(Median(relayouts), 2) + " ms", "-", "-", "-", true});
    const double mostMb = static_cast<double>(mostDecoded) / (1024 * 1024);
    const double boundMb = static_cast<double>(options.memory.decodedBytes) / (1024 * 1024);
    rows.Add({"  decoded pixels held, at most (50 pictures need " +
                  Fixed(50.0 * 750 * (400 + 8 * 24.5) * 4 / (1024 * 1024), 0) + " MB)",
              Fixed(mostMb, 1) + " MB", Fixed(boundMb, 0) + " MB", Fixed(mostMb / boundMb, 2), "<= 1",
              mostMb <= boundMb});
    DestroyWindow(frame);  // the view lets its loader go with it
    loader.reset();
    std::filesystem::remove_all(folder, ec);
    CoUninitialize();
}

// Destroying the loader while every download hangs: how long the view's
// owner waits (the loader gives up on stuck workers after stopWait).
void MeasureShutdown(Rows& rows) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    testing::FakeHttpServer server;
    testing::Reply silent;
    silent.way = testing::Reply::Way::Silent;
    html::PictureLoaderOptions options;
    auto backend = std::make_shared<html::WinPictureBackend>();
    auto loader = std::make_unique<PictureLoader>(options, backend, nullptr);
    for (int i = 0; i < 8; ++i) {
        server.Route("/hang/" + std::to_string(i), silent);
        loader->Query(server.Url("/hang/" + std::to_string(i)));
    }
    const double waitStart = NowMs();
    while (server.Requests().size() < 4 && NowMs() - waitStart < 30000) Sleep(5);
    const double start = NowMs();
    loader.reset();
    const double ms = NowMs() - start;
    const double bound = static_cast<double>(options.stopWait.count());
    rows.Add({"destroying the loader while 4 downloads hang (it waits for workers at most " + Fixed(bound, 0) + " ms)",
              Fixed(ms, 1) + " ms", Fixed(bound + 100, 0) + " ms", Fixed(ms / (bound + 100), 2), "< 1",
              ms < bound + 100});
    CoUninitialize();
}

}  // namespace
}  // namespace mojian::bench

int wmain(int argc, wchar_t** argv) {
    using namespace mojian::bench;
    const auto out = Option(argc, argv, L"--out");
    if (!out) {
        std::fprintf(stderr, "usage: picture_bench --out rows.tsv\n");
        return 2;
    }
    Rows rows;
    MeasureSlowServer(rows);
    MeasureShutdown(rows);
    if (!rows.Write(*out)) {
        std::fprintf(stderr, "cannot write the rows\n");
        return 1;
    }
    return 0;
}
