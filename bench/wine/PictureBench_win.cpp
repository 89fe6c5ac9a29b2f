// Picture loading as the GUI thread feels it, under Wine: while 50 pictures
// load from a slow server on this machine, the GUI thread posts itself a
// message every few milliseconds and times how long each waits to be
// handled; every notice from the loader is handled as the view will (take
// the changes, ask layout's question for all 50 and painting's for the few
// on screen). Also the most decoded memory the loader held against its bound.
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
#include "bench/wine/BenchRows_win.h"
#include "html/PictureLoader_win.h"
#include "tests/html/TestPictures_win.h"
#include "tests/service/FakeHttpServer_win.h"

namespace mojian::bench {
namespace {

using html::PictureInfo;
using html::PictureLoader;

constexpr UINT kPicturesChanged = WM_APP + 14;
constexpr UINT kProbe = WM_APP + 15;
constexpr int kPictures = 50;
constexpr int kOnScreen = 6;  // pictures painting asks for: about a screenful of a description

struct Gui {
    PictureLoader* loader = nullptr;
    std::vector<std::string> urls;
    double probeSentMs = 0;
    bool probeHandled = false;
    std::vector<double> probeWaitsMs;
    std::vector<double> noticeWorkMs;
    std::size_t mostDecodedBytes = 0;
};

LRESULT CALLBACK GuiProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* gui = reinterpret_cast<Gui*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (gui && msg == kProbe) {
        gui->probeWaitsMs.push_back(NowMs() - gui->probeSentMs);
        gui->probeHandled = true;
        return 0;
    }
    if (gui && msg == kPicturesChanged) {
        const double start = NowMs();
        gui->loader->TakeChanged();
        for (const auto& url : gui->urls) gui->loader->Query(url);
        for (int i = 0; i < kOnScreen; ++i) gui->loader->Pixels(gui->urls[static_cast<std::size_t>(i)]);
        gui->noticeWorkMs.push_back(NowMs() - start);
        gui->mostDecodedBytes = std::max(gui->mostDecodedBytes, gui->loader->Stats().cache.decodedBytes);
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
    Gui gui;
    double totalBytes = 0;
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
        gui.urls.push_back(server.Url(path));
    }

    WNDCLASSW wc{};
    wc.lpfnWndProc = &GuiProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"MojianPictureBench";
    RegisterClassW(&wc);
    const HWND hwnd =
        CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (!hwnd) {
        rows.Failure("picture loading", "no window");
        CoUninitialize();
        return;
    }
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&gui));

    // A disk cache of its own, empty, so that every picture comes from the server.
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("mojian-picture-bench-" + std::to_string(GetCurrentProcessId()));
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    html::PictureLoaderOptions options;
    options.memory.decodedBytes = 32u * 1024 * 1024;  // less than the 50 pictures need, so the bound is exercised
    {
        auto backend = std::make_shared<html::WinPictureBackend>();
        backend->SetNotifyWindow(hwnd, kPicturesChanged);
        const std::u8string utf8 = folder.u8string();
        PictureLoader loader(options, backend, html::OpenPictureFolder(std::string(utf8.begin(), utf8.end())));
        gui.loader = &loader;

        const double start = NowMs();
        for (const auto& url : gui.urls) loader.Query(url);
        auto settled = [&] {
            return std::all_of(gui.urls.begin(), gui.urls.end(),
                               [&](const std::string& u) { return loader.Query(u).state != PictureInfo::State::Loading; });
        };
        while (!settled() && NowMs() - start < 120000) {
            gui.probeSentMs = NowMs();
            gui.probeHandled = false;
            PostMessageW(hwnd, kProbe, 0, 0);
            while (!gui.probeHandled) {
                Pump();
                if (!gui.probeHandled) MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 4, QS_ALLINPUT);  // the user pauses between actions
            Pump();
        }
        const double loadedMs = NowMs() - start;
        int ready = 0;
        for (const auto& url : gui.urls) ready += loader.Query(url).state == PictureInfo::State::Ready;
        backend->SetNotifyWindow(nullptr, 0);
        gui.loader = nullptr;
        rows.Add({"50 pictures from a slow server (150 ms to answer, 8 KB per 25 ms, " +
                      Fixed(totalBytes / kPictures / 1024, 0) + " KB each): " + std::to_string(ready) + " shown, in",
                  Fixed(loadedMs / 1000, 2) + " s", "-", "-", "-", ready == kPictures});
        rows.Add({"  GUI thread's wait for a posted message meanwhile (" + std::to_string(gui.probeWaitsMs.size()) +
                      " messages, median " + Fixed(Median(gui.probeWaitsMs), 2) + " ms), worst",
                  Fixed(Max(gui.probeWaitsMs), 2) + " ms", "16 ms", Fixed(Max(gui.probeWaitsMs) / 16, 2), "< 1",
                  Max(gui.probeWaitsMs) < 16});
        rows.Add({"  notices handled (take the changes, layout asks for 50, painting for " + std::to_string(kOnScreen) +
                      "): " + std::to_string(gui.noticeWorkMs.size()) + ", median " +
                      Fixed(Median(gui.noticeWorkMs), 3) + " ms, worst",
                  Fixed(Max(gui.noticeWorkMs), 3) + " ms", "-", "-", "-", true});
        const double mostMb = static_cast<double>(gui.mostDecodedBytes) / (1024 * 1024);
        const double boundMb = static_cast<double>(options.memory.decodedBytes) / (1024 * 1024);
        rows.Add({"  decoded pixels held, at most (50 pictures need " +
                      Fixed(50.0 * 750 * (400 + 8 * 24.5) * 4 / (1024 * 1024), 0) + " MB)",
                  Fixed(mostMb, 1) + " MB", Fixed(boundMb, 0) + " MB", Fixed(mostMb / boundMb, 2), "<= 1",
                  mostMb <= boundMb});
    }
    DestroyWindow(hwnd);
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
