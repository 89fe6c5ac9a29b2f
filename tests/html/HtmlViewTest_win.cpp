// The view as a window: scrolling, what it paints (read back from a DIB via
// WM_PRINTCLIENT), and GDI's measurements of Chinese and Latin text.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "html/GdiFonts_win.h"
#include "html/GdiPaint_win.h"
#include "html/HtmlView_win.h"
#include "html/Parser.h"
#include "html/Style.h"
#include "html/PictureLoader_win.h"
#include "catalogue/Library.h"
#include "tests/html/TestPictures_win.h"
#include "tests/service/FakeHttpServer_win.h"
#include "tests/skin/WinSupport.h"

namespace mojian::html {
namespace {

class HtmlViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"HtmlViewTestParent";
        RegisterClassExW(&wc);
        parent_ = CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 600, 500, nullptr, nullptr,
                                  wc.hInstance, nullptr);
        ASSERT_NE(parent_, nullptr);
        view_ = CreateHtmlView(parent_, 7, 0, 0, 420, 300);
        ASSERT_NE(view_, nullptr);
    }
    void TearDown() override {
        if (parent_) DestroyWindow(parent_);
    }

    int ClientHeight() const {
        RECT rc;
        GetClientRect(view_, &rc);
        return rc.bottom;
    }

    // The client area as the view paints it, read from a 32-bit DIB.
    std::vector<COLORREF> Snapshot(int& width) {
        RECT rc;
        GetClientRect(view_, &rc);
        width = rc.right;
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = rc.right;
        bi.bmiHeader.biHeight = -rc.bottom;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        OwnedDc dc = CreateMemoryDc();
        Bitmap bmp(CreateDIBSection(dc.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
        Selection select(dc.get(), bmp.get());
        SendMessageW(view_, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()), PRF_CLIENT);
        GdiFlush();
        std::vector<COLORREF> out(static_cast<std::size_t>(rc.right * rc.bottom));
        for (std::size_t i = 0; i < out.size(); ++i) {
            const DWORD v = static_cast<const DWORD*>(bits)[i];
            out[i] = RGB((v >> 16) & 0xff, (v >> 8) & 0xff, v & 0xff);
        }
        return out;
    }

    COLORREF PixelAt(int x, int y) {
        int width = 0;
        const auto pixels = Snapshot(width);
        const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
        if (x < 0 || y < 0 || x >= width || at >= pixels.size()) {
            ADD_FAILURE() << "pixel (" << x << ", " << y << ") is outside the view";
            return CLR_INVALID;
        }
        return pixels[at];
    }

    HWND parent_ = nullptr;
    HWND view_ = nullptr;
};

TEST_F(HtmlViewTest, ScrollsWithBarWheelAndKeysWithinThePage) {
    HtmlViewSetHtml(view_, "<div style=\"height:2000px\">tall</div>");
    EXPECT_EQ(HtmlViewPageHeight(view_), 2016);  // 8-pixel page margins
    EXPECT_EQ(HtmlViewScrollPos(view_), 0);
    const int most = 2016 - ClientHeight();

    SendMessageW(view_, WM_VSCROLL, SB_LINEDOWN, 0);
    const int line = HtmlViewScrollPos(view_);
    EXPECT_GT(line, 0);
    SendMessageW(view_, WM_VSCROLL, SB_LINEUP, 0);
    SendMessageW(view_, WM_VSCROLL, SB_LINEUP, 0);
    EXPECT_EQ(HtmlViewScrollPos(view_), 0);  // never above the top

    SendMessageW(view_, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
    EXPECT_GT(HtmlViewScrollPos(view_), 0);
    SendMessageW(view_, WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(HtmlViewScrollPos(view_), most);
    SendMessageW(view_, WM_KEYDOWN, VK_NEXT, 0);
    EXPECT_EQ(HtmlViewScrollPos(view_), most);  // never below the end
    SendMessageW(view_, WM_KEYDOWN, VK_HOME, 0);
    EXPECT_EQ(HtmlViewScrollPos(view_), 0);

    SendMessageW(view_, WM_VSCROLL, SB_BOTTOM, 0);
    HtmlViewSetHtml(view_, "<p>short</p>");  // a new document starts at the top
    EXPECT_EQ(HtmlViewScrollPos(view_), 0);
    SendMessageW(view_, WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(HtmlViewScrollPos(view_), 0);  // nothing to scroll
}

TEST_F(HtmlViewTest, NarrowingTheViewRewrapsTheText) {
    std::string text;
    for (int i = 0; i < 60; ++i) text += "请在此输入产品名称 ";
    HtmlViewSetHtml(view_, "<p style=\"font-size:14px;line-height:20px\">" + text + "</p>");
    const int wide = HtmlViewPageHeight(view_);
    MoveWindow(view_, 0, 0, 220, 300, TRUE);
    const int narrow = HtmlViewPageHeight(view_);
    EXPECT_GT(narrow, wide + 40);
    // Scrolled to the end, then widened: the position stays within the shorter page.
    SendMessageW(view_, WM_VSCROLL, SB_BOTTOM, 0);
    MoveWindow(view_, 0, 0, 560, 300, TRUE);
    EXPECT_LE(HtmlViewScrollPos(view_), std::max(0, HtmlViewPageHeight(view_) - ClientHeight()));
}

TEST_F(HtmlViewTest, AColumnWidthLaysThePageOutAtItAndAWiderOneScrollsSideways) {
    // A 790 table in Tmall's column: the view (420 wide) scrolls sideways to its right edge.
    HtmlViewSetHtml(view_, "<table width=790 height=50 bgcolor=#ff0000 cellspacing=0><tr><td></td></tr></table>"
                           "<table width=100% height=20 bgcolor=#0000ff cellspacing=0><tr><td></td></tr></table>");
    HtmlViewSetColumnWidth(view_, 790);
    EXPECT_EQ(HtmlViewLayoutWidth(view_), 806);  // the column and the page margins
    RECT rc;
    GetClientRect(view_, &rc);
    SendMessageW(view_, WM_HSCROLL, SB_RIGHT, 0);
    EXPECT_EQ(HtmlViewScrollX(view_), 806 - rc.right);
    EXPECT_EQ(PixelAt(rc.right - 10, 20), RGB(255, 0, 0));  // the table's right end, then the margin
    EXPECT_EQ(PixelAt(rc.right - 4, 20), RGB(255, 255, 255));
    EXPECT_EQ(PixelAt(rc.right - 10, 68), RGB(0, 0, 255));  // 100 % is the column's width
    SendMessageW(view_, WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_LT(HtmlViewScrollX(view_), 806 - rc.right);

    // The view's own width again: nothing to scroll sideways.
    HtmlViewSetColumnWidth(view_, 0);
    EXPECT_EQ(HtmlViewLayoutWidth(view_), rc.right);
    EXPECT_EQ(HtmlViewScrollX(view_), 0);
    SendMessageW(view_, WM_HSCROLL, SB_RIGHT, 0);
    EXPECT_EQ(HtmlViewScrollX(view_), 0);
}

TEST_F(HtmlViewTest, PaintsColoursWherePlacedAndFollowsTheScroll) {
    HtmlViewSetHtml(view_, "<table width=100 height=50 bgcolor=#ff0000 cellspacing=0><tr><td></td></tr></table>"
                           "<div style=\"height:1000px\"></div>"
                           "<div style=\"background-color:#0000ff;height:40px\"></div>");
    EXPECT_EQ(PixelAt(58, 33), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(158, 33), RGB(255, 255, 255));
    // The blue strip starts at 8 + 50 + 1000; scroll it into view.
    SendMessageW(view_, WM_VSCROLL, SB_BOTTOM, 0);
    const int top = 1058 - HtmlViewScrollPos(view_);
    ASSERT_GE(top, 0);
    EXPECT_EQ(PixelAt(200, top + 20), RGB(0, 0, 255));
    EXPECT_EQ(PixelAt(200, top - 3), RGB(255, 255, 255));
}

TEST_F(HtmlViewTest, RoundedCornersLeaveTheCornersUnpainted) {
    HtmlViewSetHtml(view_, "<div style=\"width:100px;height:100px;background:#ff0000;border-radius:50px\"></div>");
    EXPECT_EQ(PixelAt(8 + 50, 8 + 50), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(8 + 50, 8 + 1), RGB(255, 0, 0)) << "the top of the circle";
    EXPECT_EQ(PixelAt(8 + 3, 8 + 3), RGB(255, 255, 255)) << "a corner, outside it";
    EXPECT_EQ(PixelAt(8 + 96, 8 + 96), RGB(255, 255, 255));
}

// The view is drawn in bands of rows: a strip across their seams comes out
// whole and in its place, scrolled or not.
TEST_F(HtmlViewTest, DrawsAcrossTheSeamsOfItsBandsWithoutGapsOrShifts) {
    HtmlViewSetHtml(view_, "<div style=\"height:80px\"></div><div style=\"background-color:#0000ff;height:40px\"></div>"
                           "<div style=\"height:2000px\"></div>");
    for (const int scroll : {0, 30, 61}) {
        HtmlViewScrollTo(view_, scroll);
        ASSERT_EQ(HtmlViewScrollPos(view_), scroll);
        const int top = 88 - scroll, bottom = 128 - scroll;  // the strip, in the view
        for (const int y : {top - 1, top, 95, 96, 97, 191, 192, bottom - 1, bottom}) {
            if (y < 0 || y >= ClientHeight()) continue;
            const bool blue = y >= top && y < bottom;
            EXPECT_EQ(PixelAt(200, y), blue ? RGB(0, 0, 255) : RGB(255, 255, 255)) << "scroll " << scroll << ", row " << y;
        }
    }
}

TEST_F(HtmlViewTest, PaintsBrokenPicturesAsFramedBoxesAndTextInItsColour) {
    // Sized and without alt text, a broken picture is a framed box; a block
    // with alt text keeps its size and shows the icon and text instead.
    HtmlViewSetHtml(view_, "<img src=\"http://img.example/a.jpg\" width=\"120\" height=\"60\" "
                           "style=\"display:block;background-color:#00ff00\">"
                           "<img src=\"http://img.example/b.jpg\" width=\"120\" height=\"40\" alt=\"商品\" "
                           "style=\"display:block;background-color:#ffff00\">"
                           "<div style=\"font-size:40px;line-height:40px;color:#0000ff\">中中中</div>");
    EXPECT_EQ(PixelAt(8, 38), RGB(0xc0, 0xc0, 0xc0));        // the frame's left edge
    EXPECT_EQ(PixelAt(8 + 119, 38), RGB(0xc0, 0xc0, 0xc0));  // and its right edge
    EXPECT_EQ(PixelAt(8 + 100, 8 + 50), RGB(0, 255, 0));     // its background inside
    EXPECT_EQ(PixelAt(8 + 121, 38), RGB(255, 255, 255));
    EXPECT_EQ(PixelAt(8, 8 + 60 + 30), RGB(255, 255, 0));  // no frame round the alt text's box
    EXPECT_EQ(PixelAt(8 + 119, 8 + 60 + 30), RGB(255, 255, 0));
    int width = 0;
    const auto pixels = Snapshot(width);
    int blue = 0;
    for (int y = 108; y < 148; ++y)
        for (int x = 8; x < 128; ++x)
            if (pixels[static_cast<std::size_t>(y * width + x)] == RGB(0, 0, 255)) ++blue;
    EXPECT_GT(blue, 100);  // the glyphs are there, in the text's colour
}

// Red pictures at the addresses it knows, and one that is still loading
// until the test says otherwise.
class RedPictures : public PictureSource {
public:
    PictureInfo Query(std::string_view url) override {
        if (url == "red.png") return {PictureInfo::State::Ready, 2, 2};
        if (url == "late.png") return lateArrived ? PictureInfo{PictureInfo::State::Ready, 100, 300}
                                                  : PictureInfo{PictureInfo::State::Loading, 0, 0};
        return {};
    }
    std::shared_ptr<const Picture> Pixels(std::string_view url) override {
        if (url != "red.png") return nullptr;
        auto red = std::make_shared<Picture>();
        red->width = red->height = 2;
        red->pixels.assign(4, 0xFFFF0000u);  // opaque red, BGRA in memory
        return red;
    }
    bool lateArrived = false;
};

TEST_F(HtmlViewTest, DrawsPicturesFromItsSourceAndBrokenBoxesForTheRest) {
    HtmlViewSetHtml(view_, "<img src=red.png width=40 height=30><img src=gone.png width=40 height=30>");
    EXPECT_EQ(PixelAt(8 + 20, 8 + 15), RGB(255, 255, 255));  // no source yet: a broken box
    EXPECT_EQ(PixelAt(8, 8 + 15), RGB(0xc0, 0xc0, 0xc0));
    auto pictures = std::make_shared<RedPictures>();
    HtmlViewSetPictureSource(view_, pictures);
    // The 2 x 2 picture fills its 40 x 30 box; the unknown one stays broken.
    EXPECT_EQ(PixelAt(8, 8), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(8 + 20, 8 + 15), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(8 + 39, 8 + 29), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(8 + 40, 8 + 15), RGB(0xc0, 0xc0, 0xc0));
    EXPECT_EQ(PixelAt(8 + 60, 8 + 15), RGB(255, 255, 255));

    // A picture that arrives later takes its natural size at the next layout.
    HtmlViewSetHtml(view_, "<img src=late.png>");
    const int loading = HtmlViewPageHeight(view_);
    EXPECT_LT(loading, 100);
    pictures->lateArrived = true;
    HtmlViewRelayout(view_);
    EXPECT_GE(HtmlViewPageHeight(view_), 300 + 16);
    HtmlViewSetPictureSource(view_, nullptr);  // back to none: the broken picture's icon
    EXPECT_LT(HtmlViewPageHeight(view_), 100);
}

TEST_F(HtmlViewTest, PicturesArrivingAboveKeepWhatIsInViewWhereItWas) {
    auto pictures = std::make_shared<RedPictures>();
    HtmlViewSetPictureSource(view_, pictures);
    HtmlViewSetHtml(view_, "<img src=late.png><table><tr><td height=2000>x</td></tr></table>"
                           "<table width=300 cellspacing=0><tr><td height=40 bgcolor=#0000ff>y</td></tr></table>");
    SendMessageW(view_, WM_VSCROLL, SB_BOTTOM, 0);
    const int before = HtmlViewScrollPos(view_);
    ASSERT_GT(before, 1000);
    auto blueTop = [&] {
        int width = 0;
        const auto pixels = Snapshot(width);
        for (int y = 0; y < ClientHeight(); ++y)
            if (pixels[static_cast<std::size_t>(y * width + 100)] == RGB(0, 0, 255)) return y;
        return -1;
    };
    const int top = blueTop();
    ASSERT_GE(top, 0);
    const int pageBefore = HtmlViewPageHeight(view_);
    pictures->lateArrived = true;  // 300 high, above everything
    HtmlViewRelayout(view_);
    EXPECT_GT(HtmlViewPageHeight(view_), pageBefore + 250);
    EXPECT_EQ(HtmlViewScrollPos(view_) - before, HtmlViewPageHeight(view_) - pageBefore);
    EXPECT_EQ(blueTop(), top);
    // At the top, the page stays at the top.
    pictures->lateArrived = false;
    HtmlViewSetHtml(view_, "<img src=late.png><p>text</p>");
    pictures->lateArrived = true;
    HtmlViewRelayout(view_);
    EXPECT_EQ(HtmlViewScrollPos(view_), 0);
}

TEST_F(HtmlViewTest, BackgroundPicturesRepeatInsideTheirBox) {
    HtmlViewSetPictureSource(view_, std::make_shared<RedPictures>());
    HtmlViewSetHtml(view_, "<table width=200 height=100 cellspacing=0 background=red.png><tr><td></td></tr></table>"
                           "<div style=\"width:200px;height:50px;background:#00ff00 url(red.png) no-repeat right "
                           "bottom\"></div>"
                           "<div style=\"width:200px;height:50px;background:url(red.png) no-repeat center #00ff00\"></div>"
                           "<div style=\"width:200px;height:50px;background:repeat-x url(red.png) #00ff00\"></div>");
    EXPECT_EQ(PixelAt(8, 8), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(8 + 199, 8 + 99), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(8 + 201, 8 + 50), RGB(255, 255, 255));
    // Not repeated: one 2 x 2 copy in the bottom right corner, the colour elsewhere.
    EXPECT_EQ(PixelAt(8 + 198, 108 + 48), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(8 + 199, 108 + 49), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(8 + 196, 108 + 48), RGB(0, 255, 0));
    EXPECT_EQ(PixelAt(8, 108), RGB(0, 255, 0));
    // A small picture is kept as a block of copies: one copy still, in the
    // middle; repeated across, a single row.
    EXPECT_EQ(PixelAt(8 + 99, 158 + 24), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(8 + 103, 158 + 24), RGB(0, 255, 0));
    EXPECT_EQ(PixelAt(8 + 99, 158 + 28), RGB(0, 255, 0));
    EXPECT_EQ(PixelAt(8 + 150, 208 + 1), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(8 + 150, 208 + 2), RGB(0, 255, 0));
    EXPECT_EQ(PixelAt(8 + 150, 208 + 30), RGB(0, 255, 0));

    // Sized: covering the whole box, and 10 pixels wide (as tall, kept in proportion).
    HtmlViewSetHtml(view_, "<div style=\"width:200px;height:50px;background:url(red.png) no-repeat center/cover "
                           "#00ff00\"></div>"
                           "<div style=\"width:200px;height:50px;background:url(red.png) no-repeat #00ff00;"
                           "background-size:10px\"></div>");
    EXPECT_EQ(PixelAt(8, 8), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(8 + 199, 8 + 49), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(8 + 9, 58 + 9), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(8 + 11, 58 + 5), RGB(0, 255, 0));
    EXPECT_EQ(PixelAt(8 + 5, 58 + 11), RGB(0, 255, 0));
}

TEST_F(HtmlViewTest, ShowsEveryBlockAndFramedDocuments) {
    // The column heading's strip colour fills its 750 x 30 table.
    HtmlViewSetHtml(view_, mojian::BuiltInLibrary().Get(0, 0));
    EXPECT_EQ(PixelAt(300, 8 + 2), RGB(0x1c, 0x1c, 0x1c));
    const std::string framed = "<HTML>\r\n<HEAD>\r\n<TITLE>\r\nNew Document\r\n</TITLE>\r\n</HEAD>\r\n<BODY>\r\n" +
                               mojian::BuiltInLibrary().Get(0, 0) + "\r\n</BODY>\r\n</HTML>\r\n";
    HtmlViewSetHtml(view_, framed);
    EXPECT_EQ(PixelAt(300, 8 + 2), RGB(0x1c, 0x1c, 0x1c));
    EXPECT_EQ(SendMessageW(view_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(view_), MAKELPARAM(10, 10)), 0);
}

TEST(GdiFonts, FacesAndAdvancesAsChromiumHasThem) {
    GdiFonts fonts;
    // Families that are not installed give way to the default face for
    // Latin and to the Chinese face for what it lacks, per character.
    for (const char16_t* list : {u"", u"宋体", u"Arial,sans-serif", u"微软雅黑"}) {
        const FontKey f{list, 16, false, false};
        EXPECT_EQ(fonts.FaceName(f, 'a'), u"DejaVu Sans");
        EXPECT_EQ(fonts.FaceName(f, U'中'), u"WenQuanYi Micro Hei");
        EXPECT_EQ(fonts.FaceName(f, U'\u201c'), u"DejaVu Sans");  // curly quotes are in the Latin face
        const FontMetrics m = fonts.Metrics(f);
        EXPECT_EQ(m.ascent, 15);
        EXPECT_EQ(m.descent, 4);
        EXPECT_EQ(m.lineHeight, 19);
    }
    EXPECT_EQ(fonts.FaceName(FontKey{u"serif", 16, false, false}, 'a'), u"DejaVu Serif");
    EXPECT_EQ(fonts.FaceName(FontKey{u"WenQuanYi Micro Hei", 16, false, false}, 'a'), u"WenQuanYi Micro Hei");
    // Advances unhinted, at any size: "Hello world" is 11481 / 2048 of an em in DejaVu Sans.
    const FontKey plain{u"", 16, false, false};
    float hello = 0;
    for (char16_t c : std::u16string(u"Hello world")) hello += fonts.Advance(plain, c);
    EXPECT_NEAR(hello, 89.70, 0.01);
    EXPECT_NEAR(fonts.Advance(FontKey{u"", 13, false, false}, 'H') * 16 / 13, fonts.Advance(plain, 'H'), 0.001);
    EXPECT_FLOAT_EQ(fonts.Advance(plain, U'中'), 16);
    // Kerning pairs of the face: "AV" closes up.
    EXPECT_LT(fonts.Kerning(plain, 'A', 'V'), -0.5);
    EXPECT_EQ(fonts.Kerning(plain, 'A', U'中'), 0);  // two faces: no pair
    // A real bold face is wider; an emboldened one keeps the regular advances.
    EXPECT_GT(fonts.Advance(FontKey{u"", 16, true, false}, 'H'), fonts.Advance(plain, 'H'));
    const FontKey chinese{u"WenQuanYi Micro Hei", 16, false, false};
    EXPECT_FLOAT_EQ(fonts.Advance(FontKey{chinese.family, 16, true, false}, 'H'), fonts.Advance(chinese, 'H'));
    // Text of two faces is drawn in two runs.
    const auto runs = fonts.Runs(plain, u"价格 Price 99");
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].end, 3u);  // the space goes with the run it follows
    EXPECT_NE(runs[0].font, runs[1].font);
}

// The view's own loader, against a server inside the test.
class HtmlViewLoadingTest : public HtmlViewTest {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        HtmlViewTest::SetUp();
    }
    void TearDown() override {
        HtmlViewTest::TearDown();
        CoUninitialize();
    }
    // A picture at a path no earlier run has cached.
    std::string Serve(const std::string& name, int width, int height, std::uint32_t argb) {
        mojian::testing::Reply reply;
        reply.contentType = "image/png";
        reply.body = mojian::testing::EncodePicture(GUID_ContainerFormatPng, width, height, argb);
        const std::string path = "/" + std::to_string(GetTickCount()) + "-" + name;
        server_.Route(path, reply);
        return server_.Url(path);
    }
    mojian::testing::FakeHttpServer server_;
};

TEST_F(HtmlViewLoadingTest, LaysOutAgainWhenAPictureBringsItsSize) {
    const std::string tall = Serve("tall.png", 60, 200, 0xFFFF0000);
    ASSERT_TRUE(HtmlViewLoadPictures(view_));
    HtmlViewSetHtml(view_, "<img src=\"" + tall + "\"><p>below</p>");
    EXPECT_LT(HtmlViewPageHeight(view_), 150);  // loading: no size yet
    ASSERT_TRUE(mojian::testing::PumpUntil([&] { return HtmlViewPageHeight(view_) > 200; }, 20000));
    EXPECT_EQ(PixelAt(8 + 30, 8 + 100), RGB(255, 0, 0));
}

TEST_F(HtmlViewLoadingTest, OnlyRepaintsWhenThePageGaveThePicturesSize) {
    const std::string sized = Serve("sized.png", 10, 10, 0xFF0000FF);
    ASSERT_TRUE(HtmlViewLoadPictures(view_));
    HtmlViewSetHtml(view_, "<img src=\"" + sized + "\" width=40 height=30>");
    const int layouts = HtmlViewLayoutCount(view_);
    const int height = HtmlViewPageHeight(view_);
    ASSERT_TRUE(mojian::testing::PumpUntil([&] { return PixelAt(8 + 20, 8 + 15) == RGB(0, 0, 255); }, 20000));
    EXPECT_EQ(HtmlViewLayoutCount(view_), layouts);
    EXPECT_EQ(HtmlViewPageHeight(view_), height);
    EXPECT_EQ(PixelAt(8 + 39, 8 + 29), RGB(0, 0, 255));  // scaled to its box
}

TEST_F(HtmlViewLoadingTest, BadPicturesEndAsBrokenPicturesAndTheViewKeepsAnswering) {
    using mojian::testing::Reply;
    auto serve = [&](const std::string& name, Reply reply) {
        const std::string path = "/" + std::to_string(GetTickCount()) + "-" + name;
        server_.Route(path, reply);
        return server_.Url(path);
    };
    Reply missing;
    missing.status = 404;
    missing.body = "gone";
    Reply text;
    text.contentType = "text/html";
    text.body = "<html>not a picture</html>";
    Reply cut;
    cut.contentType = "image/png";
    cut.body = mojian::testing::EncodePicture(GUID_ContainerFormatPng, 40, 40, 0xFF00FF00);
    cut.way = Reply::Way::CutShort;
    Reply corrupt;
    corrupt.contentType = "image/jpeg";
    corrupt.body = std::string("\xFF\xD8\xFF\xE0") + std::string(500, '\x13');
    Reply silent;
    silent.way = Reply::Way::Silent;
    Reply huge;
    huge.contentType = "image/png";
    huge.body = mojian::testing::FlatPng(30000, 30000);
    const std::vector<std::string> bad = {serve("missing.png", missing), serve("text.png", text), serve("cut.png", cut),
                                          serve("corrupt.jpg", corrupt), serve("silent.png", silent)};
    const std::string hugeUrl = serve("huge.png", huge);
    std::string page = "<img src=\"" + hugeUrl + "\" width=100 height=100>";
    std::string reference = "<img src=\"" + hugeUrl + "\" width=100 height=100>";
    for (std::size_t i = 0; i < bad.size(); ++i) {
        page += "<p>" + std::to_string(i) + "<img src=\"" + bad[i] + "\" alt=\"broken " + std::to_string(i) + "\"></p>";
        reference += "<p>" + std::to_string(i) + "<img src=\"nothing-" + std::to_string(i) + "\" alt=\"broken " +
                     std::to_string(i) + "\"></p>";
    }
    PictureLoaderOptions options;
    options.download.time = std::chrono::milliseconds(1500);  // the silent server is cut off soon
    auto backend = std::make_shared<WinPictureBackend>();
    auto loader = std::make_shared<PictureLoader>(options, backend, nullptr);
    HtmlViewUsePictureLoader(view_, loader, backend);
    HtmlViewSetHtml(view_, page);
    auto settled = [&] {
        for (const auto& url : bad)
            if (loader->Query(url).state != PictureInfo::State::Failed) return false;
        return loader->Query(hugeUrl).state == PictureInfo::State::Ready;
    };
    ASSERT_TRUE(mojian::testing::PumpUntil(settled, 30000));
    mojian::testing::PumpUntil([] { return false; }, 300);  // the last notice laid the page out
    // Laid out as a page whose pictures simply cannot be loaded, the huge one at the size the page gives.
    const int height = HtmlViewPageHeight(view_);
    HtmlViewSetPictureSource(view_, nullptr);
    HtmlViewSetHtml(view_, reference);
    EXPECT_EQ(height, HtmlViewPageHeight(view_));
    // The view still answers at once.
    EXPECT_EQ(SendMessageW(view_, WM_GETDLGCODE, 0, 0), DLGC_WANTARROWS);
}

// Pages styled on threads that then end, as the live check's and the
// writers' threads do when idle: what the styling keeps must outlive no
// thread's storage (a thread_local cache corrupted the heap here).
TEST(Styling, OnThreadsThatEnd) {
    const Document doc = ParseHtml("<div style=\"color:red; margin:1em\"><p style=\"font-size:20px\">a</p></div>");
    const Node* div = doc.body ? doc.body->children.front().get() : nullptr;
    ASSERT_NE(div, nullptr);
    for (int i = 0; i < 40; ++i) {
        std::thread([&] {
            const Style s = ComputeStyle(*div, RootStyle());
            EXPECT_EQ(s.color, 0xff0000u);
        }).join();
    }
    // The heap still holds together.
    std::vector<std::unique_ptr<std::string>> churn;
    for (int i = 0; i < 1000; ++i) churn.push_back(std::make_unique<std::string>(100, 'x'));
}

}  // namespace
}  // namespace mojian::html
