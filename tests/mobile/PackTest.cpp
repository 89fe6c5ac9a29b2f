#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "base/File.h"
#include "mobile/Pack.h"
#include "tests/TempFolder.h"

namespace mojian::mobile {
namespace {

// Stripes of one colour 100 rows high, with busy rows (alternating pixels)
// where the text spans are; each pixel's row is in its blue and green
// bytes, so a piece tells which rows it holds.
class StripePainter : public PagePainter {
public:
    StripePainter(int width, int height, std::vector<RowSpan> text) : w_(width), h_(height), text_(std::move(text)) {}
    int Width() const override { return w_; }
    int Height() const override { return h_; }
    bool Paint(int top, Raster& band) override {
        if (failAt >= 0 && top >= failAt) return false;
        largest = std::max(largest, band.height);
        for (int y = 0; y < band.height; ++y) {
            const int row = top + y;
            const bool busy = std::any_of(text_.begin(), text_.end(),
                                          [&](const RowSpan& t) { return t.top <= row && row < t.bottom; });
            for (int x = 0; x < band.width; ++x)
                band.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(band.width) + static_cast<std::size_t>(x)] =
                    0xFF000000u | static_cast<std::uint32_t>(row & 0xFFFF) | (busy && x % 2 ? 0x00FF0000u : 0);
        }
        return true;
    }
    int failAt = -1;
    int largest = 0;

private:
    int w_, h_;
    std::vector<RowSpan> text_;
};

// JPEG bytes grow with quality (one byte a row per quality point); PNG is
// a fixed size. The bytes start with the piece's first row.
class FakeEncoder : public PieceEncoder {
public:
    std::optional<std::string> Encode(const Raster& piece, Format format, int quality) override {
        ++calls;
        if (fail) return std::nullopt;
        std::string first = std::to_string(piece.pixels.empty() ? -1 : static_cast<int>(piece.pixels[0] & 0xFFFF)) + ";";
        const std::size_t size = format == Format::Png ? pngBytes : static_cast<std::size_t>(piece.height) * quality;
        return first + std::string(size > first.size() ? size - first.size() : 0, 'x');
    }
    std::size_t pngBytes = 4 << 20;
    bool fail = false;
    int calls = 0;
};

PackOptions Options(const std::string& folder, std::uint64_t maxBytes) {
    PackOptions o;
    o.folder = folder;
    o.rules.maxBytes = maxBytes;
    o.geometry.text = {{0, 40}, {1500, 1530}, {2990, 3000}};
    o.geometry.links = {{"https://shop.cn/", {{0, 1400, 750, 200}}}, {"javascript:x()", {{0, 0, 10, 10}}}};
    return o;
}

// Pieces encoded on one thread, then on several: the same folder.
TEST(MobilePack, WritesPiecesHotAreasAndNotesThatStackBackToThePage) {
    for (const bool threaded : {false, true}) {
        SCOPED_TRACE(threaded ? "encoded on several threads" : "encoded on one thread");
        testing::TempFolder temp;
        const std::string folder = JoinPath(temp.Utf8(), "手机详情");
        StripePainter painter(750, 3000, {{0, 40}, {1500, 1530}, {2990, 3000}});
        FakeEncoder encoder;
        PackOptions o = Options(folder, 1546 * 80);
        if (threaded) o.newEncoder = [] { return std::make_unique<FakeEncoder>(); };
        int sheets = 0;
        o.contactSheet = [&](const ContactSheetInput& in) -> std::optional<ContactSheetFile> {
            ++sheets;
            EXPECT_EQ(in.cuts.size(), 1u);
            // Made beside the pieces: through the shared painter and its thread's own encoder.
            Raster band{750, 16, std::vector<std::uint32_t>(750 * 16, 0)};
            EXPECT_TRUE(in.page.Paint(2000, band));
            EXPECT_TRUE(in.encoder.Encode(band, Format::Jpeg, 90));
            return ContactSheetFile{"总览.jpg", "sheet"};
        };
        std::vector<PackStage> stages;
        o.progress = [&](PackStage s, double) { stages.push_back(s); };
        const PackResult r = Pack(painter, encoder, o);
        ASSERT_TRUE(r.ok) << (r.errors.empty() ? "" : r.errors[0]);
        EXPECT_LE(painter.largest, 1546);  // never the whole page at once
        ASSERT_EQ(r.pieces.size(), 2u);
        int top = 0;
        for (const PieceInfo& p : r.pieces) {
            EXPECT_EQ(p.top, top);
            EXPECT_LE(p.height, 1546);
            EXPECT_EQ(p.format, Format::Jpeg);
            EXPECT_EQ(p.quality, std::min(100, static_cast<int>(1546 * 80 / p.height)));  // the highest that fits
            const auto bytes = ReadWholeFile(JoinPath(folder, p.file));
            ASSERT_TRUE(bytes) << p.file;
            EXPECT_EQ(bytes->substr(0, bytes->find(';')), std::to_string(p.top));
            top += p.height;
        }
        EXPECT_EQ(top, 3000);
        EXPECT_EQ(r.pieces[0].file, "01.jpg");
        EXPECT_TRUE(r.pieces[0].height < 1500 || r.pieces[0].height >= 1530);  // not through the text
        EXPECT_EQ(sheets, 1);
        EXPECT_EQ(ReadWholeFile(JoinPath(folder, "总览.jpg")), "sheet");
        ASSERT_EQ(r.leftOut.size(), 1u);
        EXPECT_EQ(r.areas[0].size() + r.areas[1].size(), 2u);  // the link crosses the cut

        const auto json = ReadWholeFile(JoinPath(folder, "热区.json"));
        ASSERT_TRUE(json);
        EXPECT_NE(json->find("\"file\": \"02.jpg\""), std::string::npos);
        EXPECT_NE(json->find("https://shop.cn/"), std::string::npos);
        const auto notes = ReadWholeFile(JoinPath(folder, "说明.txt"));
        ASSERT_TRUE(notes);
        EXPECT_EQ(notes->substr(0, 3), "\xEF\xBB\xBF");
        EXPECT_NE(notes->find("javascript:x()"), std::string::npos);
        EXPECT_NE(notes->find("01.jpg"), std::string::npos);
        EXPECT_NE(notes->find("\r\n"), std::string::npos);
        EXPECT_FALSE(FolderExists(folder + ".正在生成"));
        EXPECT_EQ(stages.back(), PackStage::Writing);
    }
}

TEST(MobilePack, FailuresAndCancelLeaveNothingBehind) {
    testing::TempFolder temp;
    const std::string folder = JoinPath(temp.Utf8(), "out");
    struct Case {
        const char* name;
        std::uint64_t maxBytes;
        bool encoderFails;
        int paintFailsAt;
        bool cancel;
        const char* message;
    };
    const Case cases[] = {
        {"no quality fits", 100, false, -1, false, "最低画质"},
        {"encoder fails", 1 << 20, true, -1, false, "编码失败"},
        {"painter fails", 1 << 20, false, 2000, false, "画页面时出错"},
        {"cancelled", 1 << 20, false, -1, true, nullptr},
    };
    for (const Case& c : cases) {
        for (const bool threaded : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (threaded ? ", several threads" : ""));
            StripePainter painter(750, 3000, {});
            painter.failAt = c.paintFailsAt;
            FakeEncoder encoder;
            encoder.fail = c.encoderFails;
            PackOptions o = Options(folder, c.maxBytes);
            if (threaded)
                o.newEncoder = [fails = c.encoderFails] {
                    auto own = std::make_unique<FakeEncoder>();
                    own->fail = fails;
                    return own;
                };
            std::atomic<bool> cancel{false};
            o.cancel = &cancel;
            o.progress = [&](PackStage s, double) {
                if (c.cancel && s == PackStage::Encoding) cancel = true;
            };
            const PackResult r = Pack(painter, encoder, o);
            EXPECT_FALSE(r.ok);
            EXPECT_EQ(r.cancelled, c.cancel);
            if (c.message) {
                ASSERT_EQ(r.errors.size(), 1u);
                EXPECT_NE(r.errors[0].find(c.message), std::string::npos) << r.errors[0];
            }
            EXPECT_FALSE(FolderExists(folder));
            EXPECT_FALSE(FolderExists(folder + ".正在生成"));
        }
    }
}

// A hundred pieces or more: every name has as many digits, in order.
TEST(MobilePack, ManyPiecesAreNamedToSortInOrder) {
    testing::TempFolder temp;
    const std::string folder = JoinPath(temp.Utf8(), "out");
    StripePainter painter(750, 64 * 120, {});
    FakeEncoder encoder;
    PackOptions o = Options(folder, 1 << 20);
    o.geometry = {};
    o.maxHeight = 64;
    o.format = FormatChoice::Jpeg;  // a fake PNG is 4 MB
    o.newEncoder = [] { return std::make_unique<FakeEncoder>(); };
    const PackResult r = Pack(painter, encoder, o);
    ASSERT_TRUE(r.ok) << (r.errors.empty() ? "" : r.errors[0]);
    ASSERT_EQ(r.pieces.size(), 120u);
    for (std::size_t i = 0; i < r.pieces.size(); ++i) {
        const std::string number = std::to_string(i + 1);
        const std::string name = std::string(3 - number.size(), '0') + number + ".jpg";
        EXPECT_EQ(r.pieces[i].file, name);
        const auto bytes = ReadWholeFile(JoinPath(folder, name));
        ASSERT_TRUE(bytes) << name;
        EXPECT_EQ(bytes->substr(0, bytes->find(';')), std::to_string(r.pieces[i].top));
    }
    EXPECT_FALSE(FileSize(JoinPath(folder, "01.jpg")));
}

TEST(MobilePack, AnExistingFolderIsReplacedOnlyWhenAsked) {
    testing::TempFolder temp;
    const std::string folder = JoinPath(temp.Utf8(), "out");
    ASSERT_TRUE(CreateFolder(folder));
    ASSERT_TRUE(WriteWholeFile(JoinPath(folder, "09.jpg"), "old"));
    StripePainter painter(750, 1000, {});
    FakeEncoder encoder;
    PackOptions o = Options(folder, 1 << 20);
    PackResult r = Pack(painter, encoder, o);
    EXPECT_FALSE(r.ok);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_NE(r.errors[0].find("已经存在"), std::string::npos);
    EXPECT_TRUE(FileSize(JoinPath(folder, "09.jpg")));

    o.overwrite = true;
    r = Pack(painter, encoder, o);
    ASSERT_TRUE(r.ok);
    EXPECT_FALSE(FileSize(JoinPath(folder, "09.jpg")));
    EXPECT_TRUE(FileSize(JoinPath(folder, "01.jpg")));
    EXPECT_FALSE(FolderExists(folder + ".旧"));

    StripePainter narrow(300, 1000, {});
    r = Pack(narrow, encoder, o);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_NE(r.errors[0].find("480–1242"), std::string::npos);
}

TEST(MobilePack, EncodingChoosesTheFormatThatFits) {
    Raster piece{750, 100, std::vector<std::uint32_t>(750 * 100, 0xFFFFFFFFu)};
    struct Case {
        FormatChoice choice;
        std::size_t pngBytes;
        std::uint64_t maxBytes;
        bool ok;
        Format format;
        int quality;
    };
    const Case cases[] = {
        {FormatChoice::Auto, 1 << 20, 5000, true, Format::Jpeg, 50},  // PNG larger
        {FormatChoice::Auto, 3000, 5000, true, Format::Png, 0},       // PNG smaller
        {FormatChoice::Auto, 40, 50, true, Format::Png, 0},           // only PNG fits
        {FormatChoice::Jpeg, 3000, 5000, true, Format::Jpeg, 50},     // forced
        {FormatChoice::Jpeg, 10, 99, false, Format::Jpeg, 0},
        {FormatChoice::Png, 3000, 5000, true, Format::Png, 0},
        {FormatChoice::Png, 6000, 5000, false, Format::Png, 0},
        {FormatChoice::Auto, 1 << 20, 1 << 20, true, Format::Jpeg, 100},
    };
    for (const Case& c : cases) {
        FakeEncoder encoder;
        encoder.pngBytes = c.pngBytes;
        std::string error;
        const auto e = EncodePiece(encoder, piece, c.choice, c.maxBytes, 100, error);
        ASSERT_EQ(e.has_value(), c.ok) << error;
        if (!e) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(e->format, c.format);
        EXPECT_EQ(e->quality, c.quality);
        EXPECT_LE(e->bytes.size(), c.maxBytes);
        EXPECT_LE(encoder.calls, 9);
    }
}

// A piece of `colours` distinct colours (a photograph has thousands).
Raster Colours(int colours) {
    Raster piece{750, 100, std::vector<std::uint32_t>(750 * 100, 0xFFFFFFFFu)};
    for (std::size_t i = 0; i < piece.pixels.size(); ++i)
        piece.pixels[i] = 0xFF000000u | static_cast<std::uint32_t>(i * 7919 % static_cast<std::size_t>(colours));
    return piece;
}

TEST(MobilePack, AutoTriesPngOnlyOnFlatPiecesUnlessNoJpegFits) {
    struct Case {
        int colours;
        std::uint64_t maxBytes;
        Format format;
    };
    const Case cases[] = {
        {2, 1 << 20, Format::Png},      // text on white: PNG, smaller
        {2048, 1 << 20, Format::Png},   // a drawn gradient
        {2049, 1 << 20, Format::Jpeg},  // a photograph: PNG not even tried
        {60000, 50, Format::Png},       // no JPEG fits: PNG is the last chance
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.colours);
        const Raster piece = Colours(c.colours);
        EXPECT_EQ(LooksFlat(piece), c.colours <= 2048);
        FakeEncoder encoder;
        encoder.pngBytes = 40;
        std::string error;
        const auto e = EncodePiece(encoder, piece, FormatChoice::Auto, c.maxBytes, 100, error);
        ASSERT_TRUE(e) << error;
        EXPECT_EQ(e->format, c.format);
        if (c.format == Format::Jpeg) {
            EXPECT_EQ(encoder.calls, 1);  // q100 fits; no PNG
        }
    }
}

TEST(MobilePack, DefaultFolderIsBesideTheProjectNamedAfterIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"D:\\店铺\\春装.mjp", "D:\\店铺\\春装-手机详情"},
        {"/home/a/v1.2/page", "/home/a/v1.2/page-手机详情"},  // a dot in a folder is no extension
        {"page.x.mjp", "page.x-手机详情"},
        {"", ""},
    };
    for (const auto& [project, folder] : cases) EXPECT_EQ(DefaultFolder(project), folder) << project;
}

}  // namespace
}  // namespace mojian::mobile
