// The loader as the view uses it under Wine: WinINet against an HTTP server
// inside the test, WIC decoding pictures made by WIC's encoders, files, the
// disk cache in a folder, and the notices to a real window.
#include "html/PictureLoader_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/File.h"
#include "base/Utf_win.h"
#include "tests/TempFolder.h"
#include "tests/html/TestPictures_win.h"
#include "tests/html/TestPng.h"
#include "tests/skin/WinSupport.h"
#include "tests/service/FakeHttpServer_win.h"

namespace mojian::html {
namespace {

using mojian::testing::EncodePicture;
using mojian::testing::FakeHttpServer;
using mojian::testing::Reply;
using mojian::testing::TempFolder;
using State = PictureInfo::State;

constexpr UINT kPicturesChanged = WM_APP + 14;

// The loader's owner: a window that takes the changes on every notice.
class Owner {
public:
    Owner() {
        static const ATOM atom = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = &Owner::Proc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"MojianPictureOwner";
            return RegisterClassW(&wc);
        }();
        hwnd_ = CreateWindowExW(0, MAKEINTATOM(atom), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Owner() { DestroyWindow(hwnd_); }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;

    HWND Window() const { return hwnd_; }
    void Listen(PictureLoader* loader) { loader_ = loader; }

    int notices = 0;
    std::set<std::string> changed;
    std::size_t mostDecodedBytes = 0;  // seen at any notice

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<Owner*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (msg == kPicturesChanged && self) {
            ++self->notices;
            if (self->loader_) {
                for (auto& url : self->loader_->TakeChanged()) self->changed.insert(url);
                self->mostDecodedBytes = std::max(self->mostDecodedBytes, self->loader_->Stats().cache.decodedBytes);
            }
            return 0;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    }

    HWND hwnd_ = nullptr;
    PictureLoader* loader_ = nullptr;
};

// Runs the message loop until `done` holds; false after a minute.
template <class F>
bool PumpUntil(F done) {
    return mojian::testing::PumpUntil(done, 60000);
}

std::uint32_t Opaque(std::uint32_t rgb) { return 0xFF000000u | rgb; }
std::uint8_t Red(std::uint32_t px) { return static_cast<std::uint8_t>(px >> 16); }
std::uint8_t Blue(std::uint32_t px) { return static_cast<std::uint8_t>(px); }
std::uint32_t At(const Picture& p, int x, int y) { return p.pixels[static_cast<std::size_t>(y) * p.width + x]; }

class Pictures : public ::testing::Test {
protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override {
        Stop();
        CoUninitialize();
    }

    static PictureLoaderOptions Options() {
        PictureLoaderOptions o;
        o.notifySpacing = std::chrono::milliseconds(20);
        return o;
    }

    std::string CacheFolder() const { return JoinPath(JoinPath(folder_.Utf8(), "缓存"), "pictures"); }

    PictureLoader& Start(PictureLoaderOptions options = Options()) {
        Stop();
        owner_.changed.clear();
        owner_.notices = 0;
        backend_ = std::make_shared<WinPictureBackend>();
        backend_->SetNotifyWindow(owner_.Window(), kPicturesChanged);
        loader_ = std::make_unique<PictureLoader>(options, backend_, OpenPictureFolder(CacheFolder()));
        owner_.Listen(loader_.get());
        return *loader_;
    }
    void Stop() {
        if (backend_) backend_->SetNotifyWindow(nullptr, 0);
        owner_.Listen(nullptr);
        loader_.reset();
    }

    // Asks for the picture as layout does and waits for the owner to be told.
    PictureInfo Load(const std::string& url) {
        const PictureInfo first = loader_->Query(url);
        if (first.state != State::Loading) return first;
        EXPECT_TRUE(PumpUntil([&] { return owner_.changed.count(url) != 0; })) << url;
        return loader_->Query(url);
    }
    PictureFailure FailureOf(const std::string& url) { return loader_->Describe(url).failure; }

    std::string Serve(const std::string& path, std::string body, const std::string& type = "image/png") {
        Reply reply;
        reply.contentType = type;
        reply.body = std::move(body);
        server_.Route(path, reply);
        return server_.Url(path);
    }

    FakeHttpServer server_;
    TempFolder folder_;
    Owner owner_;
    std::shared_ptr<WinPictureBackend> backend_;
    std::unique_ptr<PictureLoader> loader_;
};

TEST_F(Pictures, DecodesEachFormatAtItsNaturalSize) {
    PictureLoader& loader = Start();
    // PNG: straight alpha in the file, premultiplied in memory.
    const std::string png = Serve("/a.png", EncodePicture(GUID_ContainerFormatPng, 37, 23, [](int x, int y) {
        if (y == 0 && x == 0) return 0xFFFF0000u;
        if (y == 0 && x == 1) return 0x80FF0000u;
        return 0xFF00FF00u;
    }));
    // BMP files are stored bottom up; pixels come top down.
    const std::string bmp = Serve("/a.bmp", EncodePicture(GUID_ContainerFormatBmp, 5, 7, [](int, int y) {
        return y == 0 ? Opaque(0xFF0000) : Opaque(0x0000FF);
    }), "image/bmp");
    const std::string jpeg = Serve("/a.jpg", EncodePicture(GUID_ContainerFormatJpeg, 64, 48, [](int x, int) {
        return x < 32 ? Opaque(0xFF0000) : Opaque(0x0000FF);
    }), "image/jpeg");
    const std::string gif = Serve("/a.gif", EncodePicture(GUID_ContainerFormatGif, 16, 9, Opaque(0x0000FF)), "image/gif");
    // Decided by content, as browsers do: a PNG served as text is a PNG.
    const std::string asText =
        Serve("/png-as-text", EncodePicture(GUID_ContainerFormatPng, 3, 4, Opaque(0)), "text/plain");

    const struct {
        const std::string& url;
        int width, height;
    } cases[] = {{png, 37, 23}, {bmp, 5, 7}, {jpeg, 64, 48}, {gif, 16, 9}, {asText, 3, 4}};
    for (const auto& c : cases) {
        const PictureInfo info = Load(c.url);
        EXPECT_EQ(info.state, State::Ready) << c.url << " " << PictureFailureName(FailureOf(c.url));
        EXPECT_EQ(info.width, c.width) << c.url;
        EXPECT_EQ(info.height, c.height) << c.url;
        const auto pixels = loader.Pixels(c.url);
        ASSERT_NE(pixels, nullptr) << c.url;
        EXPECT_EQ(pixels->width, c.width);
        EXPECT_EQ(pixels->pixels.size(), static_cast<std::size_t>(c.width) * c.height);
    }
    const auto p = loader.Pixels(png);
    EXPECT_EQ(At(*p, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(At(*p, 1, 0), 0x80800000u) << "premultiplied";
    EXPECT_EQ(At(*p, 5, 5), 0xFF00FF00u);
    const auto b = loader.Pixels(bmp);
    EXPECT_EQ(At(*b, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(At(*b, 0, 6), 0xFF0000FFu);
    const auto j = loader.Pixels(jpeg);
    EXPECT_GT(Red(At(*j, 4, 24)), 200);
    EXPECT_LT(Blue(At(*j, 4, 24)), 60);
    EXPECT_GT(Blue(At(*j, 60, 24)), 200);
    const auto g = loader.Pixels(gif);
    EXPECT_EQ(At(*g, 8, 4), 0xFF0000FFu);
    EXPECT_EQ(server_.Count("/a.png"), 1);
    EXPECT_GE(owner_.notices, 1) << "the owner window heard of them";
}

TEST_F(Pictures, PhotosAreTurnedAsTheirExifSays) {
    PictureLoader& loader = Start();
    // Stored 40 x 20, red left and blue right; orientation 6: turn clockwise to show.
    std::string jpeg = EncodePicture(GUID_ContainerFormatJpeg, 40, 20, [](int x, int) {
        return x < 20 ? Opaque(0xFF0000) : Opaque(0x0000FF);
    });
    ASSERT_EQ(jpeg.substr(0, 4), "\xff\xd8\xff\xe0");
    const std::size_t afterJfif = 4 + (static_cast<std::uint8_t>(jpeg[4]) << 8 | static_cast<std::uint8_t>(jpeg[5]));
    const std::string exif("\xff\xe1\x00\x22"
                           "Exif\0\0"
                           "II\x2a\0\x08\0\0\0"
                           "\x01\0"
                           "\x12\x01\x03\0\x01\0\0\0\x06\0\0\0"
                           "\0\0\0\0", 36);
    jpeg.insert(afterJfif, exif);
    const std::string url = Serve("/turned.jpg", jpeg, "image/jpeg");
    const PictureInfo info = Load(url);
    ASSERT_EQ(info.state, State::Ready) << PictureFailureName(FailureOf(url));
    EXPECT_EQ(info.width, 20);
    EXPECT_EQ(info.height, 40);
    const auto p = loader.Pixels(url);
    ASSERT_NE(p, nullptr);
    EXPECT_GT(Red(At(*p, 10, 5)), 200) << "the left of the stored picture is the top";
    EXPECT_GT(Blue(At(*p, 10, 34)), 200);
}

TEST_F(Pictures, WhatCannotBeShownIsABrokenPicture) {
    Start();
    const std::string png = EncodePicture(GUID_ContainerFormatPng, 50, 50, [](int x, int y) {
        return Opaque(static_cast<std::uint32_t>(x * 5 + y * 1000));
    });
    Reply notFound;
    notFound.status = 404;
    notFound.body = "<html><body>Not Found</body></html>";
    server_.Route("/gone.png", notFound);
    std::string corrupt = png;
    for (std::size_t i = 60; i < corrupt.size() - 20; i += 7) corrupt[i] = static_cast<char>(~corrupt[i]);
    Reply cutShort;
    cutShort.contentType = "image/png";
    cutShort.body = png;
    cutShort.way = Reply::Way::CutShort;
    server_.Route("/cut-short.png", cutShort);
    static const unsigned char kWebp[] = {  // 3 x 2, made with ImageMagick
        0x52, 0x49, 0x46, 0x46, 0x3c, 0x00, 0x00, 0x00, 0x57, 0x45, 0x42, 0x50, 0x56, 0x50, 0x38, 0x20, 0x30,
        0x00, 0x00, 0x00, 0xd0, 0x01, 0x00, 0x9d, 0x01, 0x2a, 0x03, 0x00, 0x02, 0x00, 0x02, 0x00, 0x34, 0x25,
        0xa0, 0x02, 0x74, 0xba, 0x01, 0xf8, 0x00, 0x03, 0xb0, 0x00, 0xfe, 0xf0, 0xc4, 0x0b, 0xff, 0x20, 0xb9,
        0x61, 0x75, 0xc8, 0xd7, 0xff, 0x20, 0x3f, 0xe4, 0x07, 0xfc, 0x80, 0xff, 0xf8, 0xf2, 0x00, 0x00, 0x00};

    const struct {
        std::string url;
        PictureFailure failure;
    } cases[] = {
        {server_.Url("/gone.png"), PictureFailure::HttpStatus},
        {Serve("/page.png", "<!DOCTYPE html><html><body>登录</body></html>"), PictureFailure::NotAPicture},
        {Serve("/truncated.png", png.substr(0, png.size() / 2)), PictureFailure::Undecodable},
        {Serve("/header-only.png", png.substr(0, 30)), PictureFailure::Undecodable},
        {Serve("/corrupt.png", corrupt), PictureFailure::Undecodable},
        {server_.Url("/cut-short.png"), PictureFailure::Network},
        {Serve("/empty.png", ""), PictureFailure::NotAPicture},
        {"http://127.0.0.1:" + std::to_string(mojian::testing::ClosedPort()) + "/x.png", PictureFailure::Network},
        {Serve("/a.webp", std::string(reinterpret_cast<const char*>(kWebp), sizeof kWebp), "image/webp"),
         PictureFailure::NoDecoder},
    };
    for (const auto& c : cases) {
        const PictureInfo info = Load(c.url);
        // WebP shows where the system has its codec (not under Wine).
        if (c.failure == PictureFailure::NoDecoder && info.state == State::Ready) continue;
        EXPECT_EQ(info.state, State::Failed) << c.url;
        EXPECT_EQ(FailureOf(c.url), c.failure) << c.url << ": " << PictureFailureName(FailureOf(c.url));
    }
    EXPECT_EQ(loader_->Describe(server_.Url("/gone.png")).httpStatus, 404);
    // Relative addresses and other schemes fail at once, without a worker.
    for (const char* url : {"images/a.png", "/a.png", "ftp://127.0.0.1/a.png", "javascript:alert(1)",
                            "\\\\server\\share\\a.png"}) {
        EXPECT_EQ(loader_->Query(url).state, State::Failed) << url;
    }
}

TEST_F(Pictures, AHugePictureKeepsItsSizeButNotItsPixels) {
    // Far past the decoding limit (8 megapixels by default), yet small
    // enough for WIC's scaler to read through quickly.
    PictureLoaderOptions options = Options();
    options.decode.maxPixels = 1024 * 1024;
    PictureLoader& loader = Start(options);
    const std::string png = mojian::testing::FlatPng(6000, 6000);
    ASSERT_LT(png.size(), 1u << 20);
    const std::string url = Serve("/huge.png", png);
    const PictureInfo info = Load(url);
    ASSERT_EQ(info.state, State::Ready) << PictureFailureName(FailureOf(url));
    EXPECT_EQ(info.width, 6000);
    EXPECT_EQ(info.height, 6000);
    const auto p = loader.Pixels(url);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->width, p->height);
    EXPECT_LE(std::int64_t{p->width} * p->height, loader.Options().decode.maxPixels);
    EXPECT_GT(p->width, 1000);
    EXPECT_EQ(At(*p, p->width / 2, p->height / 2), 0xFF000000u);
    EXPECT_LE(loader.Stats().cache.decodedBytes, loader.Options().memory.decodedBytes);

    // The same hand-made picture at a size WIC keeps whole, to the pixel.
    const std::string small = Serve("/flat.png", mojian::testing::FlatPng(13, 3));
    EXPECT_EQ(Load(small).width, 13);
    EXPECT_EQ(loader.Pixels(small)->pixels, std::vector<std::uint32_t>(39, 0xFF000000u));
}

// Past the decoding limits, a long picture keeps its natural size when it
// may be read as it is drawn: a PNG from its file, with the very pixels WIC
// gives for it whatever its colour type and depth; a JPEG from WIC's
// decoder, which stays with the picture after the loader is gone.
TEST_F(Pictures, LongPicturesAreReadAsDrawnWithTheSystemDecodersPixels) {
    using mojian::testing::TestPng;
    auto sample = [](int x, int y, int c) { return static_cast<unsigned>(x * 1031 + y * 97 + c * 20011); };
    std::vector<TestPng> pngs = {{61, 300, 8, 6, sample}, {61, 300, 16, 2, sample}, {61, 300, 16, 4, sample},
                                 {61, 300, 1, 0, sample}, {61, 300, 4, 3, sample},  {61, 300, 8, 2, sample}};
    for (TestPng& p : pngs) {
        const unsigned top = (1u << p.depth) - 1;
        p.sample = [=](int x, int y, int c) { return sample(x, y, c) % (top + 1); };
    }
    for (int i = 0; i < 16; ++i) pngs[4].palette += {static_cast<char>(i * 16), static_cast<char>(255 - i * 9), static_cast<char>(i * 5)};
    pngs[4].transparency = std::string("\x00\x40\x80\xC0\xFF\x10", 6);
    pngs[5].sample = [](int x, int, int c) { return static_cast<unsigned>(x % 2 ? 10 * c : 7); };
    pngs[5].transparency = std::string("\0\0\0\x0A\0\x14", 6);  // a colour key: (0, 10, 20) is transparent
    std::vector<std::string> urls;
    for (std::size_t i = 0; i < pngs.size(); ++i)
        urls.push_back(Serve("/long" + std::to_string(i) + ".png", mojian::testing::MakePng(pngs[i])));
    // Two long JPEGs: one decoder open at a time, each opened again in its turn.
    for (int i = 0; i < 2; ++i)
        urls.push_back(Serve("/banner" + std::to_string(i) + ".jpg", EncodePicture(GUID_ContainerFormatJpeg, 40, 900, [i](int x, int y) {
                                 return Opaque(static_cast<std::uint32_t>(y / 3 + 50 * i) << 8 | static_cast<std::uint32_t>(x * 6));
                             }), "image/jpeg"));

    PictureLoaderOptions asDrawn = Options();
    asDrawn.decode.maxPixels = 1000;
    asDrawn.decode.maxReadAsDrawnPixels = 100'000;
    Start(asDrawn);
    std::vector<std::shared_ptr<const Picture>> read;
    for (const std::string& url : urls) {
        ASSERT_EQ(Load(url).state, State::Ready) << url << " " << PictureFailureName(FailureOf(url));
        read.push_back(loader_->Pixels(url));
        ASSERT_TRUE(read.back() && read.back()->rows && read.back()->pixels.empty()) << url;
    }
    PictureLoader& wic = Start();  // the system's decoder, at natural size, after the first loader is gone
    for (std::size_t i = 0; i < urls.size(); ++i) {
        ASSERT_EQ(Load(urls[i]).state, State::Ready) << urls[i];
        const auto copied = wic.Pixels(urls[i]);
        ASSERT_TRUE(copied && copied->width == read[i]->width && copied->height == read[i]->height) << urls[i];
        std::vector<std::uint32_t> rows(copied->pixels.size());
        const int half = copied->height / 2;  // read down from the middle, then the top
        ASSERT_TRUE(read[i]->rows->Read(half, copied->height - half, rows.data() + half * copied->width));
        ASSERT_TRUE(read[i]->rows->Read(0, half, rows.data()));
        EXPECT_EQ(std::mismatch(rows.begin(), rows.end(), copied->pixels.begin()).first - rows.begin(),
                  static_cast<std::ptrdiff_t>(rows.size())) << urls[i] << ": the first pixel that differs";
    }
}

TEST_F(Pictures, SlowAndSilentServersAreCutOffAtTheLimit) {
    PictureLoaderOptions options = Options();
    options.download.time = std::chrono::milliseconds(1500);
    Start(options);
    Reply silent;
    silent.way = Reply::Way::Silent;
    server_.Route("/silent.png", silent);
    Reply trickle;
    trickle.contentType = "image/png";
    trickle.body = EncodePicture(GUID_ContainerFormatPng, 20, 20);
    trickle.way = Reply::Way::Trickle;
    trickle.trickleMs = 100;
    server_.Route("/trickle.png", trickle);
    const std::string fine = Serve("/fine.png", EncodePicture(GUID_ContainerFormatPng, 2, 2));

    loader_->Query(server_.Url("/silent.png"));
    loader_->Query(server_.Url("/trickle.png"));
    EXPECT_EQ(Load(fine).state, State::Ready) << "a hanging server does not hold up the others";
    for (const char* path : {"/silent.png", "/trickle.png"}) {
        EXPECT_EQ(Load(server_.Url(path)).state, State::Failed) << path;
        EXPECT_EQ(FailureOf(server_.Url(path)), PictureFailure::TimedOut) << path;
    }
}

TEST_F(Pictures, RedirectsAreFollowed) {
    Start();
    const std::string target = Serve("/new/b.png", EncodePicture(GUID_ContainerFormatPng, 9, 8));
    Reply moved;
    moved.status = 302;
    moved.headers = {{"Location", "/new/b.png"}};
    server_.Route("/old/b.png", moved);
    FakeHttpServer other;  // another host
    Reply elsewhere;
    elsewhere.status = 301;
    elsewhere.headers = {{"Location", target}};
    other.Route("/b.png", elsewhere);
    Reply loop;
    loop.status = 302;
    loop.headers = {{"Location", "/loop.png"}};
    server_.Route("/loop.png", loop);

    EXPECT_EQ(Load(server_.Url("/old/b.png")).width, 9);
    EXPECT_EQ(Load(other.Url("/b.png")).height, 8);
    EXPECT_EQ(Load(server_.Url("/loop.png")).state, State::Failed);
    EXPECT_EQ(server_.Count("/loop.png"), 21) << "the first request and twenty redirects";
    EXPECT_EQ(server_.Count("/new/b.png"), 2);
}

TEST_F(Pictures, NoPictureBringsMoreThanTwentyMegabytes) {
    Start();
    const std::string png = EncodePicture(GUID_ContainerFormatPng, 4, 4);
    // Refused on its announced length: the body is never read.
    Reply announced;
    announced.contentType = "image/png";
    announced.body = png;
    announced.announcedLength = 21u * 1024 * 1024;
    server_.Route("/announced.png", announced);
    // No length announced: cut off once the bytes pass the limit.
    Reply endless;
    endless.contentType = "image/png";
    endless.body = png + std::string(25u * 1024 * 1024, '\0');
    endless.way = Reply::Way::NoLength;
    server_.Route("/endless.png", endless);
    // Exactly at the limit is allowed (and then fails as the junk it is).
    Reply atLimit = endless;
    atLimit.body.resize(20u * 1024 * 1024);
    atLimit.way = Reply::Way::Whole;
    server_.Route("/at-limit.png", atLimit);

    for (const char* path : {"/announced.png", "/endless.png"}) {
        EXPECT_EQ(Load(server_.Url(path)).state, State::Failed) << path;
        EXPECT_EQ(FailureOf(server_.Url(path)), PictureFailure::TooLarge) << path;
    }
    EXPECT_EQ(Load(server_.Url("/at-limit.png")).state, State::Ready)
        << "a PNG with trailing bytes still shows: " << PictureFailureName(FailureOf(server_.Url("/at-limit.png")));
}

TEST_F(Pictures, HundredsOfPicturesInOnePageEndWithinTheMemoryBound) {
    PictureLoaderOptions options = Options();
    // Three hundred small pictures hold several times the memory bound.
    options.memory.decodedBytes = 96 * 1024;
    PictureLoader& loader = Start(options);
    constexpr int kPictures = 300;
    std::vector<std::string> urls;
    for (int i = 0; i < kPictures; ++i) {
        const int w = 8 + i % 40, h = 8 + i / 40;
        urls.push_back(Serve("/many/" + std::to_string(i) + ".png", EncodePicture(GUID_ContainerFormatPng, w, h)));
    }
    urls.push_back(Serve("/many/broken.png", "not a picture"));
    for (const auto& url : urls) ASSERT_EQ(loader.Query(url).state, State::Loading);
    EXPECT_LE(loader.Stats().threads, 4u);

    ASSERT_TRUE(PumpUntil([&] { return owner_.changed.size() == urls.size(); }));
    for (int i = 0; i < kPictures; ++i) {
        const PictureInfo info = loader.Query(urls[i]);
        ASSERT_EQ(info.state, State::Ready) << urls[i];
        EXPECT_EQ(info.width, 8 + i % 40);
        EXPECT_EQ(info.height, 8 + i / 40);
    }
    EXPECT_EQ(loader.Query(urls.back()).state, State::Failed);
    EXPECT_LE(owner_.mostDecodedBytes, options.memory.decodedBytes);
    EXPECT_LE(loader.Stats().cache.decodedBytes, options.memory.decodedBytes);
    EXPECT_LE(loader.Stats().threads, 4u);
    EXPECT_LT(owner_.notices, kPictures + 1) << "notices come no more often than changes";

    // A picture pushed out of memory comes back from the disk cache, not the server.
    // (WinINet may send the first request twice when a kept connection was
    // closed under it, so what counts is that the reload asks for nothing.)
    const int fetched = server_.Count("/many/0.png");
    EXPECT_GE(fetched, 1);
    EXPECT_EQ(loader.Pixels(urls[0]), nullptr);
    owner_.changed.clear();
    ASSERT_TRUE(PumpUntil([&] { return owner_.changed.count(urls[0]) != 0; }));
    ASSERT_NE(loader.Pixels(urls[0]), nullptr);
    EXPECT_EQ(server_.Count("/many/0.png"), fetched);
}

TEST_F(Pictures, LocalPathsAndFileAddresses) {
    PictureLoader& loader = Start();
    const std::string folder = JoinPath(folder_.Utf8(), "商品 图");
    ASSERT_TRUE(CreateFolder(folder));
    const std::string path = JoinPath(folder, "主图.png");
    ASSERT_TRUE(WriteWholeFile(path, EncodePicture(GUID_ContainerFormatPng, 11, 12)));

    EXPECT_EQ(Load(path).width, 11);
    // file:///C:/... with the path's bytes percent-encoded as UTF-8.
    std::string url = "file:///";
    for (unsigned char c : path) {
        if (c == '\\') url += '/';
        else if (c < 0x80 && c != ' ') url += static_cast<char>(c);
        else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            url += hex;
        }
    }
    EXPECT_EQ(Load(url).height, 12) << url;
    EXPECT_NE(loader.Pixels(url), nullptr);

    EXPECT_EQ(Load(JoinPath(folder, "没有.png")).state, State::Failed);
    EXPECT_EQ(FailureOf(JoinPath(folder, "没有.png")), PictureFailure::Missing);
    EXPECT_EQ(Load(folder).state, State::Failed) << "a folder is no picture";
}

TEST_F(Pictures, TheDiskCacheServesAgainWhenTheServerIsGone) {
    std::string url;
    {
        FakeHttpServer server;
        Reply reply;
        reply.contentType = "image/jpeg";
        reply.body = EncodePicture(GUID_ContainerFormatJpeg, 33, 17);
        server.Route("/kept.jpg", reply);
        url = server.Url("/kept.jpg");
        Start();
        EXPECT_EQ(Load(url).width, 33);
        Stop();
    }
    // The folder holds the picture, written whole.
    ASSERT_TRUE(FolderExists(CacheFolder()));
    int pictures = 0, others = 0;
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW(Wide(JoinPath(CacheFolder(), "*")).c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        (IsPictureFileName(Narrow(data.cFileName)) ? pictures : others)++;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    EXPECT_EQ(pictures, 1);
    EXPECT_EQ(others, 0);

    // Next run, the server gone: the copy is fresh and serves.
    Start();
    EXPECT_EQ(Load(url).height, 17);
    // Even an old copy serves when the server cannot be reached.
    PictureLoaderOptions stale = Options();
    stale.diskFreshFor = std::chrono::seconds(0);
    Start(stale);
    EXPECT_EQ(Load(url).state, State::Ready) << PictureFailureName(FailureOf(url));
}

TEST(PictureFolder, IsInTheUsersLocalApplicationData) {
    const std::string folder = DefaultPictureFolder();
    const std::string tail = "\\墨笺\\pictures";
    ASSERT_GT(folder.size(), tail.size());
    EXPECT_EQ(folder.substr(folder.size() - tail.size()), tail);
    wchar_t local[MAX_PATH] = {};
    ASSERT_TRUE(GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH));
    EXPECT_EQ(folder.substr(0, folder.size() - tail.size()),
              Narrow(local));
    EXPECT_EQ(OpenPictureFolder(""), nullptr);
}

TEST_F(Pictures, DestroyingTheLoaderDoesNotWaitForHangingDownloads) {
    PictureLoaderOptions options = Options();
    options.download.time = std::chrono::minutes(10);
    options.stopWait = std::chrono::milliseconds(500);
    Start(options);
    Reply silent;
    silent.way = Reply::Way::Silent;
    for (int i = 0; i < 8; ++i) {
        server_.Route("/hang/" + std::to_string(i) + ".png", silent);
        loader_->Query(server_.Url("/hang/" + std::to_string(i) + ".png"));
    }
    ASSERT_TRUE(PumpUntil([&] { return server_.Requests().size() == 4; }));
    Stop();  // must come back although the downloads would take ten minutes
    EXPECT_EQ(server_.Requests().size(), 4u) << "queued pictures are not started once stopping";
    EXPECT_EQ(owner_.changed.size(), 0u);
}

}  // namespace
}  // namespace mojian::html
