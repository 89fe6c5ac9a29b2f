// The view as a window: scrolling, what it paints (read back from a DIB via
// WM_PRINTCLIENT), and GDI's measurements of Chinese and Latin text.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "html/GdiFonts_win.h"
#include "html/GdiPaint_win.h"
#include "html/HtmlView_win.h"
#include "catalogue/Library.h"

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
        return pixels[static_cast<std::size_t>(y * width + x)];
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

TEST_F(HtmlViewTest, PaintsBrokenPicturesAsFramedBoxesAndTextInItsColour) {
    HtmlViewSetHtml(view_, "<img src=\"http://img.example/a.jpg\" width=\"120\" height=\"60\" alt=\"商品\" "
                           "style=\"display:block;background-color:#00ff00\">"
                           "<div style=\"font-size:40px;line-height:40px;color:#0000ff\">中中中</div>");
    EXPECT_EQ(PixelAt(8, 38), RGB(0xc0, 0xc0, 0xc0));        // the frame's left edge
    EXPECT_EQ(PixelAt(8 + 119, 38), RGB(0xc0, 0xc0, 0xc0));  // and its right edge
    EXPECT_EQ(PixelAt(8 + 100, 8 + 50), RGB(0, 255, 0));     // its background inside
    EXPECT_EQ(PixelAt(8 + 121, 38), RGB(255, 255, 255));
    int width = 0;
    const auto pixels = Snapshot(width);
    int blue = 0;
    for (int y = 68; y < 108; ++y)
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
    HtmlViewSetPictureSource(view_, nullptr);  // back to none
    EXPECT_EQ(HtmlViewPageHeight(view_), loading);
}

TEST_F(HtmlViewTest, ShowsEveryBlockAndFramedDocuments) {
    // The column heading's strip colour fills its 750 x 30 table.
    HtmlViewSetHtml(view_, mojian::GetBlock(0, 0));
    EXPECT_EQ(PixelAt(300, 8 + 2), RGB(0x1c, 0x1c, 0x1c));
    const std::string framed = "<HTML>\r\n<HEAD>\r\n<TITLE>\r\nNew Document\r\n</TITLE>\r\n</HEAD>\r\n<BODY>\r\n" +
                               mojian::GetBlock(0, 0) + "\r\n</BODY>\r\n</HTML>\r\n";
    HtmlViewSetHtml(view_, framed);
    EXPECT_EQ(PixelAt(300, 8 + 2), RGB(0x1c, 0x1c, 0x1c));
    EXPECT_EQ(SendMessageW(view_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(view_), MAKELPARAM(10, 10)), 0);
}

TEST(GdiFonts, MeasuresChineseWiderThanLatinInNamedFaces) {
    GdiFonts fonts;
    for (const char16_t* face : {u"微软雅黑", u"宋体", u"NoSuchFaceAnywhere"}) {
        const FontKey f{face, 16, false, false};
        const FontMetrics m = fonts.Metrics(f);
        EXPECT_GE(m.ascent + m.descent, 14);
        EXPECT_LE(m.ascent + m.descent, 24);
        const int cjk = fonts.Advance(f, u"中");
        const int latin = fonts.Advance(f, u"i");
        EXPECT_GE(cjk, 14);
        EXPECT_LE(cjk, 18);
        EXPECT_LT(latin, cjk);
        EXPECT_GT(fonts.Advance(FontKey{face, 16, true, false}, u"W"), 0);
    }
    EXPECT_GT(fonts.Advance(FontKey{u"宋体", 32, false, false}, u"中"),
              fonts.Advance(FontKey{u"宋体", 16, false, false}, u"中"));
}

}  // namespace
}  // namespace mojian::html
