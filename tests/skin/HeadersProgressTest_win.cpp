#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>

#include "skin/Skin.h"
#include "tests/skin/WinSupport.h"

namespace mojian::skin {
namespace {

using testing::Canvas;
using testing::TestForm;

using testing::Prop;
using testing::Rrggbb;
using testing::Shown;

void Repaint(HWND w) { RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW); }

// A progress bar of the kind the engine knows: it answers its position.
LRESULT CALLBACK FakeBarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == 0x0408) return GetWindowLongPtrW(hwnd, GWLP_USERDATA);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND FakeBar(TestForm& form, DWORD style, int x, int w, int h, int position) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = FakeBarProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ProgressBar20WndClass";
    RegisterClassW(&wc);
    HWND bar = form.Add(L"ProgressBar20WndClass", L"", WS_BORDER | style, x, 10, w, h);
    SetWindowLongPtrW(bar, GWLP_USERDATA, position);
    return bar;
}

TEST(ProgressBars, HalfOfTheFullScaleInOneHundredAndOnePixels) {
    TestForm form;
    HWND across = FakeBar(form, 0, 10, 103, 20, 15000);
    HWND upright = FakeBar(form, PBS_VERTICAL, 150, 20, 103, 15000);
    HWND empty = FakeBar(form, 0, 200, 103, 20, 0);
    ASSERT_EQ(SkinWindow(form.hwnd()), 1);
    for (HWND b : {across, upright, empty}) Repaint(b);
    const std::uint32_t bar = Rrggbb(BarColour);

    auto c = Shown(across);
    EXPECT_EQ(c->At(0, 0), Rrggbb(BorderColour));
    EXPECT_EQ(c->At(1, 10), bar);
    EXPECT_EQ(c->At(50, 10), bar);  // client x 49
    EXPECT_EQ(c->At(51, 10), 0xFFFFFFu);  // client x 50: 50.5 went to 50
    EXPECT_EQ(c->At(101, 10), 0xFFFFFFu);

    c = Shown(upright);
    EXPECT_EQ(c->At(10, 101), bar);  // grows from the bottom
    EXPECT_EQ(c->At(10, 52), bar);
    EXPECT_EQ(c->At(10, 51), 0xFFFFFFu);
    EXPECT_EQ(c->At(10, 1), 0xFFFFFFu);

    c = Shown(empty);
    EXPECT_EQ(c->CountNear(bar, 0), 0);
    EXPECT_EQ(c->At(102, 19), Rrggbb(BorderColour));
}

class Headers : public ::testing::Test {
protected:
    void SetUp() override {
        InitCommonControls();
        header = form.Add(WC_HEADERW, L"", HDS_BUTTONS, 10, 10, 300, 20);
        const wchar_t* names[] = {L"名称", L"价格"};
        for (int i = 0; i < 2; ++i) {
            HDITEMW item{};
            item.mask = HDI_TEXT | HDI_WIDTH;
            item.cxy = i == 0 ? 80 : 70;
            item.pszText = const_cast<wchar_t*>(names[i]);
            SendMessageW(header, HDM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        }
        ASSERT_EQ(SkinWindow(form.hwnd()), 1);
        Repaint(header);
    }
    void TearDown() override { ReleaseCapture(); }
    // The face of an item at a point clear of its caption, by tile.
    std::uint32_t Face(int item) { return Shown(header)->At(item == 0 ? 2 : 82, 3); }
    static std::uint32_t Tile(int state) { return SkinArt(SkinBitmap::Header).At(3 * state + 1, 3); }

    TestForm form;
    HWND header = nullptr;
};

TEST_F(Headers, HotFollowsTheMouseAndTheBoundaryBelongsLeft) {
    ASSERT_NE(Tile(0), Tile(1));
    ASSERT_NE(Tile(1), Tile(2));
    EXPECT_EQ(Prop(header, "HDINDEX"), -1);
    EXPECT_EQ(Prop(header, "HMINDEX"), -1);
    EXPECT_EQ(Face(0), Tile(0));
    EXPECT_EQ(Face(1), Tile(0));

    SendMessageW(header, WM_MOUSEMOVE, 0, MAKELPARAM(80, 5));
    EXPECT_EQ(Prop(header, "HMINDEX"), 0);
    EXPECT_EQ(Face(0), Tile(1));
    SendMessageW(header, WM_MOUSEMOVE, 0, MAKELPARAM(81, 5));
    EXPECT_EQ(Prop(header, "HMINDEX"), 1);
    EXPECT_EQ(Face(0), Tile(0));
    EXPECT_EQ(Face(1), Tile(1));
    // Past the last item: nothing hot.
    SendMessageW(header, WM_MOUSEMOVE, 0, MAKELPARAM(250, 5));
    EXPECT_EQ(Prop(header, "HMINDEX"), -1);
    EXPECT_EQ(Face(1), Tile(0));

    SendMessageW(header, WM_MOUSEMOVE, 0, MAKELPARAM(100, 5));
    SendMessageW(header, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(Prop(header, "HMINDEX"), -1);
    EXPECT_EQ(Prop(header, "MOUSEFLAG"), 0);
    EXPECT_EQ(Face(1), Tile(0));
    // A full repaint draws from the indices.
    SetPropA(header, "HMINDEX", reinterpret_cast<HANDLE>(1));
    Repaint(header);
    EXPECT_EQ(Face(1), Tile(1));
    EXPECT_EQ(Face(0), Tile(0));
}

TEST_F(Headers, DraggingFromOneItemToAnotherKeepsThePressedOne) {
    SendMessageW(header, WM_MOUSEMOVE, 0, MAKELPARAM(30, 5));
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 5));
    EXPECT_EQ(Prop(header, "HDINDEX"), 0);
    EXPECT_EQ(Face(0), Tile(2));
    SendMessageW(header, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(120, 5));
    EXPECT_EQ(Prop(header, "HMINDEX"), 0);  // not moved while the button is held
    EXPECT_EQ(Face(0), Tile(2));
    EXPECT_EQ(Face(1), Tile(0));
    SendMessageW(header, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(30, 5));
    EXPECT_EQ(Face(0), Tile(2));
    SendMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(30, 5));
    EXPECT_EQ(Prop(header, "HDINDEX"), -1);
    // Hot again if the cursor is still over the header, else normal.
    POINT pt{};
    GetCursorPos(&pt);
    EXPECT_EQ(Face(0), WindowFromPoint(pt) == header ? Tile(1) : Tile(0));
    EXPECT_EQ(PaintHeaderItem(header, nullptr, -1, 1), 0);
}

}  // namespace
}  // namespace mojian::skin
