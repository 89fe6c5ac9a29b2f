#include "mobile/MakeMobile_win.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <set>
#include <thread>

#include "html/GdiFonts_win.h"
#include "html/Layout.h"
#include "html/Parser.h"
#include "html/PictureLoader_win.h"
#include "mobile/GdiPagePainter_win.h"
#include "mobile/Geometry.h"
#include "mobile/PaintedSheet.h"
#include "mobile/ReusingPainter.h"
#include "mobile/WicEncoder_win.h"

namespace mojian::mobile {

namespace {

constexpr auto kPoll = std::chrono::milliseconds(20);
// A picture dropped from memory comes back from the disk cache in a few
// milliseconds; painting waits for it in steps this short.
constexpr auto kReloadPoll = std::chrono::milliseconds(2);
constexpr int kSheetQuality = 90;
constexpr float kBodyMargin = 8;  // a browser's default margin around a document's body
// Memory stays bounded whatever the page's height: the page is painted
// once, top to bottom, and only the rows not yet in a piece are held. The
// decoded pictures get what the maker's bound leaves once the page itself
// is held (its document and layout take about 24 bytes for each byte of
// HTML), never less than the least; the rest reload from the disk cache as
// painting nears them, once each.
constexpr std::size_t kPictureBytes = 48u * 1024 * 1024;
constexpr std::size_t kLeastPictureBytes = 24u * 1024 * 1024;
constexpr std::size_t kHeldPerHtmlByte = 24;
// Pictures up to 790 x 30,000 keep their natural size past the decoding
// limits, read as they are drawn. Wine's decoders hold such a picture whole
// at 3 bytes a pixel or more (PNGs are read from the file instead), so
// larger ones are still scaled down to fit.
constexpr std::int64_t kReadAsDrawnPixels = 24 * 1000 * 1000;

bool Cancelled(const MakeRequest& r) { return r.cancel && r.cancel->load(); }

void Progress(const MakeRequest& r, MakeStage stage, double fraction) {
    if (r.progress) r.progress(stage, std::clamp(fraction, 0.0, 1.0));
}

// The loader keeps decoded pictures within a memory bound: on a long page a
// picture painted early may have been dropped when the contact sheet paints
// it again, and it then reloads (from the disk cache). Painting waits for
// it rather than leaving a hole in a piece; the loader's own limits end the
// wait, and so does a cancel.
class SteadyPictures final : public html::PictureSource {
public:
    SteadyPictures(html::PictureLoader& loader, const MakeRequest& request) : loader_(loader), request_(request) {}

    html::PictureInfo Query(std::string_view url) override {
        html::PictureInfo info = loader_.Query(url);
        while (info.state == html::PictureInfo::State::Loading && !Cancelled(request_)) {
            std::this_thread::sleep_for(kPoll);
            info = loader_.Query(url);
        }
        return info;
    }

    // The loader brings a dropped picture back on its own threads while
    // painting goes on above it.
    void Prefetch(std::string_view url) override { loader_.Pixels(url); }

    std::shared_ptr<const html::Picture> Pixels(std::string_view url) override {
        for (;;) {
            if (auto pixels = loader_.Pixels(url)) return pixels;
            if (loader_.Query(url).state == html::PictureInfo::State::Failed || Cancelled(request_)) return nullptr;
            std::this_thread::sleep_for(kReloadPoll);
        }
    }

private:
    html::PictureLoader& loader_;
    const MakeRequest& request_;
};

// Asks for every picture the page shows and waits until none is loading.
// False when cancelled.
bool LoadPictures(html::PictureLoader& loader, const html::PageLayout& first, const MakeRequest& request,
                  MakeOutcome& outcome) {
    std::vector<std::string> urls;
    std::set<std::string> seen;
    for (const html::PictureUse& use : first.pictures)
        if (!use.url.empty() && seen.insert(use.url).second) urls.push_back(use.url);
    for (;;) {
        if (Cancelled(request)) return false;
        std::size_t done = 0;
        for (const std::string& url : urls) done += loader.Query(url).state != html::PictureInfo::State::Loading;
        Progress(request, MakeStage::Pictures, urls.empty() ? 1.0 : static_cast<double>(done) / static_cast<double>(urls.size()));
        if (done == urls.size()) break;
        std::this_thread::sleep_for(kPoll);
    }
    for (const std::string& url : urls)
        if (loader.Query(url).state == html::PictureInfo::State::Failed) outcome.failedPictures.push_back(url);
    return true;
}

MakeStage StageOf(PackStage stage) {
    switch (stage) {
        case PackStage::Scanning: return MakeStage::Scanning;
        case PackStage::Encoding: return MakeStage::Encoding;
        case PackStage::Writing: return MakeStage::Writing;
    }
    return MakeStage::Writing;
}

}  // namespace

MakeOutcome MakeMobileDescription(const MakeRequest& request) {
    MakeOutcome outcome;
    outcome.pack.folder = request.folder;
    // The loader's workers report to nobody: this thread asks them.
    auto backend = std::make_shared<html::WinPictureBackend>();
    html::PictureLoaderOptions pictureOptions;
    const std::size_t held = std::min(request.pageHtml.size(), kPictureBytes) * kHeldPerHtmlByte;
    pictureOptions.memory.decodedBytes = held < kPictureBytes - kLeastPictureBytes ? kPictureBytes - held : kLeastPictureBytes;
    pictureOptions.decode.maxReadAsDrawnPixels = kReadAsDrawnPixels;
    html::PictureLoader loader(pictureOptions, backend,
                               html::OpenPictureFolder(html::DefaultPictureFolder()));
    const html::Document document = html::ParseHtml(request.pageHtml);
    html::GdiFonts fonts;
    const float column = static_cast<float>(WidthPixels(request.column));
    // Wider pictures than the column are the page as a phone lays it out at
    // that device scale (fonts measured at their bigger size, borders in
    // whole device pixels), not the column's layout enlarged.
    const float zoom = request.outputWidth > 0 ? static_cast<float>(request.outputWidth) / column : 1.0f;
    // A description sits in the marketplace's standards-mode column with no
    // margin of its own; a document keeps what a browser gives it.
    html::LayoutOptions options{column * zoom, (request.wholeDocument ? kBodyMargin : 0.0f) * zoom};
    options.zoom = zoom;
    if (request.wholeDocument) options.compat.reset();
    options.recordEveryBox = true;

    Progress(request, MakeStage::Pictures, 0);
    const bool loaded = LoadPictures(loader, html::LayoutDocument(document, options, fonts, loader), request, outcome);
    if (!loaded || Cancelled(request)) {
        outcome.pack.cancelled = true;
        return outcome;
    }
    if (!outcome.failedPictures.empty() && !request.goOnWithBrokenPictures) {
        outcome.stoppedForPictures = true;
        outcome.pack.errors.push_back("有 " + std::to_string(outcome.failedPictures.size()) +
                                      " 张图片载入不了；可以选择用破图框代替它们继续生成");
        return outcome;
    }

    // Laid out again now that every picture's size is known.
    html::PageLayout layout = html::LayoutDocument(document, options, fonts, loader);
    PageGeometry geometry = MeasurePage(layout, request.lineOffsets, request.outputWidth);
    layout.boxes = {};  // painting does not need them
    SteadyPictures pictures(loader, request);
    GdiPagePainter gdi(layout, request.outputWidth, fonts, pictures);
    ReusingPainter painter(gdi);
    WicEncoder encoder;

    PackOptions pack;
    pack.folder = request.folder;
    pack.overwrite = request.overwrite;
    pack.format = request.format;
    pack.maxHeight = request.maxHeight;
    pack.geometry = std::move(geometry);
    pack.cancel = request.cancel;
    for (const std::string& url : outcome.failedPictures) pack.notes.push_back("图片载入不了，画成了破图框：" + url);
    pack.progress = [&](PackStage stage, double fraction) { Progress(request, StageOf(stage), fraction); };
    // The encoders work at the priority of the thread that asked for the
    // pictures: below the window's when the window asked.
    pack.newEncoder = [priority = GetThreadPriority(GetCurrentThread())] {
        SetThreadPriority(GetCurrentThread(), priority);
        return std::make_unique<WicEncoder>();
    };
    pack.contactSheet = [&](const ContactSheetInput& in) -> std::optional<ContactSheetFile> {
        std::optional<Raster> sheet = painter.Sheet(in.cuts);
        if (!sheet) sheet = PaintContactSheet(in.page, in.cuts);
        if (!sheet) return std::nullopt;
        auto bytes = in.encoder.Encode(*sheet, Format::Jpeg, kSheetQuality);
        if (!bytes) return std::nullopt;
        outcome.contactSheet = "总览.jpg";
        return ContactSheetFile{outcome.contactSheet, std::move(*bytes)};
    };
    outcome.pack = Pack(painter, encoder, pack);
    if (!outcome.pack.ok) outcome.contactSheet.clear();
    return outcome;
}

}  // namespace mojian::mobile
