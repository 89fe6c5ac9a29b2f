#include "mobile/MakeMobile_win.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/File.h"
#include "base/UserFolder.h"
#include "mobile/WicEncoder_win.h"
#include "tests/TempFolder.h"

namespace mojian::mobile {
namespace {

using testing::TempFolder;

// A page of a linked picture on disk, text, and a second picture: long
// enough at a 300-row limit for several pieces.
struct Fixture {
    Fixture() {
        SetUserDataFolder(JoinPath(temp.Utf8(), "user"));  // the picture cache stays in the test's folder
        Raster red{300, 200, std::vector<std::uint32_t>(300 * 200, 0xFFD02020u)};
        for (std::size_t i = 0; i < red.pixels.size(); i += 7) red.pixels[i] = 0xFF2020D0u;
        WicEncoder encoder;
        const auto png = encoder.Encode(red, Format::Png, 0);
        picture = JoinPath(temp.Utf8(), "red.png");
        EXPECT_TRUE(png && WriteWholeFile(picture, *png));
        std::replace(picture.begin(), picture.end(), '\\', '/');
    }
    ~Fixture() { SetUserDataFolder({}); }

    MakeRequest Request(const std::string& broken = {}) const {
        MakeRequest r;
        r.pageHtml = "<a href='https://item.taobao.com/item.htm?id=42'><img src='" + picture +
                     "' width=750 height=500 style='display:block'></a>"
                     "<p style='font-size:24px;margin:0'>春装上新 墨笺</p>";
        if (!broken.empty()) r.pageHtml += "<img src='" + broken + "' width=750 height=300 style='display:block'>";
        r.pageHtml += "<img src='" + picture + "' width=750 height=400 style='display:block'>";
        r.lineOffsets = {0};
        r.folder = JoinPath(temp.Utf8(), "手机详情");
        r.maxHeight = 300;
        return r;
    }

    TempFolder temp;
    std::string picture;
};

std::string Read(const std::string& folder, const std::string& name) {
    return ReadWholeFile(JoinPath(folder, name)).value_or("");
}

TEST(MakeMobile, WritesPiecesHotAreasNotesAndContactSheet) {
    Fixture f;
    for (const int width : {750, 1242}) {
        SCOPED_TRACE(width);
        MakeRequest r = f.Request();
        r.outputWidth = width;
        r.folder += std::to_string(width);
        std::vector<MakeStage> stages;
        r.progress = [&](MakeStage s, double) {
            if (stages.empty() || stages.back() != s) stages.push_back(s);
        };
        const MakeOutcome o = MakeMobileDescription(r);
        ASSERT_TRUE(o.pack.ok) << (o.pack.errors.empty() ? "" : o.pack.errors.front());
        EXPECT_TRUE(o.failedPictures.empty());
        EXPECT_EQ(stages.front(), MakeStage::Pictures);
        EXPECT_EQ(stages.back(), MakeStage::Writing);
        ASSERT_GE(o.pack.pieces.size(), 4u);
        int rows = 0;
        for (const PieceInfo& p : o.pack.pieces) {
            EXPECT_EQ(p.width, width);
            EXPECT_LE(p.height, 300);
            EXPECT_EQ(FileSize(JoinPath(r.folder, p.file)), p.bytes) << p.file;
            rows += p.height;
        }
        EXPECT_NEAR(rows, (500 + 400 + 32) * width / 750.0, 40 * width / 750.0);
        // The linked picture spans the first pieces: an area on each.
        ASSERT_FALSE(o.pack.areas.empty());
        ASSERT_EQ(o.pack.areas[0].size(), 1u);
        EXPECT_EQ(o.pack.areas[0][0].href, "https://item.taobao.com/item.htm?id=42");
        EXPECT_NE(Read(r.folder, "热区.json").find("item.htm?id=42"), std::string::npos);
        EXPECT_NE(Read(r.folder, "说明.txt").find(o.pack.pieces.front().file), std::string::npos);
        EXPECT_EQ(o.contactSheet, "总览.jpg");
        EXPECT_EQ(Read(r.folder, "总览.jpg").substr(0, 2), "\xFF\xD8");
    }
}

TEST(MakeMobile, BrokenPicturesStopUnlessAskedAndCancelLeavesNothing) {
    Fixture f;
    const std::string missing = f.picture.substr(0, f.picture.size() - 7) + "missing.png";
    struct Case {
        const char* name;
        bool broken, goOn;
        int cancelAt;  // -1: never; else the stage at which the seller cancels
        bool ok, stopped;
    };
    const Case cases[] = {
        {"broken picture stops", true, false, -1, false, true},
        {"broken picture, go on", true, true, -1, true, false},
        {"cancelled while loading", false, false, static_cast<int>(MakeStage::Pictures), false, false},
        {"cancelled while encoding", false, false, static_cast<int>(MakeStage::Encoding), false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MakeRequest r = f.Request(c.broken ? missing : std::string());
        r.folder += c.name;
        r.goOnWithBrokenPictures = c.goOn;
        std::atomic<bool> cancel{false};
        r.cancel = &cancel;
        r.progress = [&](MakeStage s, double) {
            if (static_cast<int>(s) == c.cancelAt) cancel = true;
        };
        const MakeOutcome o = MakeMobileDescription(r);
        EXPECT_EQ(o.pack.ok, c.ok);
        EXPECT_EQ(o.stoppedForPictures, c.stopped);
        EXPECT_EQ(o.pack.cancelled, c.cancelAt >= 0);
        EXPECT_EQ(o.failedPictures, c.broken ? std::vector<std::string>{missing} : std::vector<std::string>{});
        EXPECT_EQ(FolderExists(r.folder), c.ok);
        EXPECT_FALSE(FolderExists(r.folder + ".正在生成"));
        if (c.ok) {
            EXPECT_NE(Read(r.folder, "说明.txt").find(missing), std::string::npos);
        }
        EXPECT_EQ(o.pack.errors.empty(), !c.stopped);
    }
}

// A document keeps the body's 8-pixel margin and, in limited-quirks mode (a
// mail's transitional doctype), no room below a picture alone in a cell.
TEST(MakeMobile, AWholeDocumentKeepsItsModeAndTheBodyMargin) {
    Fixture f;
    int rows[2] = {};
    for (const bool whole : {false, true}) {
        MakeRequest r = f.Request();
        r.pageHtml = "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                     "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\"><table cellspacing=0><tr>"
                     "<td style='padding:0'><img src='" + f.picture + "' width=300 height=200></td></tr></table>";
        r.wholeDocument = whole;
        r.folder += std::to_string(whole);
        for (const PieceInfo& p : MakeMobileDescription(r).pack.pieces) rows[whole] += p.height;
    }
    EXPECT_EQ(rows[true], 8 + 200 + 8);
    EXPECT_GT(rows[false], 200) << "a description's cell keeps room below its picture";
}

}  // namespace
}  // namespace mojian::mobile
