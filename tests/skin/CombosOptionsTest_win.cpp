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

void RepaintErased(HWND w) { RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_UPDATENOW); }

// Pixels of the skin picture (x, y, w, h) differing from the window at
// (dx, dy), the key colour left out.
int ArtDiffs(const Canvas& shown, int dx, int dy, SkinBitmap which, int sx, int sy, int w, int h) {
    const SkinImage& art = SkinArt(which);
    int diffs = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t p = art.At(sx + x, sy + y);
            if (p != KeyPixel && shown.At(dx + x, dy + y) != p) ++diffs;
        }
    return diffs;
}

class Glyphs : public ::testing::Test {
protected:
    void SetUp() override {
        if (GetSystemMetrics(SM_CXMENUCHECK) != 13 || GetSystemMetrics(SM_CYMENUCHECK) != 13) {
            GTEST_SKIP() << "the glyph positions below are for a 13 x 13 menu check";
        }
        check = form.Button(L"显示价格", 10, 10, 100, 20, BS_AUTOCHECKBOX);
        tri = form.Button(L"三态", 10, 40, 100, 20, BS_AUTO3STATE);
        opt1 = form.Button(L"样式1", 150, 10, 100, 20, BS_AUTORADIOBUTTON | WS_GROUP);
        opt2 = form.Button(L"样式2", 150, 40, 100, 20, BS_AUTORADIOBUTTON);
        label = form.Add(L"Static", L"说明", 0, 150, 80, 100, 20);
        ASSERT_EQ(SkinWindow(form.hwnd()), 1);
        testing::Pump(30);
    }
    TestForm form;
    HWND check = nullptr, tri = nullptr, opt1 = nullptr, opt2 = nullptr, label = nullptr;
    // A 20-pixel window centres a 13-pixel glyph at 4 (3.5 to the even 4).
    static constexpr int y0 = 4;
};

TEST_F(Glyphs, CheckBoxSquareMarkAndIndeterminateSquare) {
    EXPECT_EQ(Prop(check, "OLDSTATE"), 0);
    EXPECT_EQ(Prop(check, "MOUSEFLAG"), 0);
    SendMessageW(check, BM_SETCHECK, BST_CHECKED, 0);
    RepaintErased(check);
    auto c = Shown(check);
    EXPECT_EQ(c->At(0, y0), Rrggbb(BorderColour));
    EXPECT_EQ(c->At(12, y0 + 12), Rrggbb(BorderColour));
    EXPECT_EQ(c->At(1, y0 + 1), 0xFFFFFFu);  // normal state: no fill
    EXPECT_EQ(ArtDiffs(*c, 2, y0 + 2, SkinBitmap::Mark, 0, 0, 9, 8), 0);

    SendMessageW(tri, BM_SETCHECK, BST_INDETERMINATE, 0);
    RepaintErased(tri);
    c = Shown(tri);
    EXPECT_EQ(ArtDiffs(*c, 3, y0 + 3, SkinBitmap::Mark, 1, 9, 7, 7), 0);
    EXPECT_EQ(c->At(2, y0 + 2), 0xFFFFFFu);
    // Cleared again: the mark goes.
    SendMessageW(check, BM_SETCHECK, BST_UNCHECKED, 0);
    RepaintErased(check);
    c = Shown(check);
    EXPECT_EQ(c->CountNear(0xFFFFFF, 0) >= 11 * 11, true);
    EXPECT_NE(ArtDiffs(*c, 2, y0 + 2, SkinBitmap::Mark, 0, 0, 9, 8), 0);
}

TEST_F(Glyphs, HoverAndPressFillTheSquareButNotWhenDisabled) {
    const SkinImage& opt = SkinArt(SkinBitmap::Option);
    ASSERT_NE(opt.At(1, 17), 0xFFFFFFu);
    SendMessageW(check, WM_MOUSEMOVE, 0, MAKELPARAM(30, 10));
    EXPECT_EQ(Prop(check, "OLDSTATE"), 1);
    EXPECT_EQ(Prop(check, "MOUSEFLAG"), 1);
    auto c = Shown(check);
    EXPECT_EQ(c->At(1, y0 + 1), opt.At(1, 17));
    EXPECT_EQ(c->At(0, y0), Rrggbb(BorderColour));

    SendMessageW(check, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(30, 10));
    EXPECT_EQ(Prop(check, "OLDSTATE"), 2);
    c = Shown(check);
    EXPECT_EQ(c->At(0, y0), Rrggbb(PressedFrameColour));
    EXPECT_EQ(c->At(1, y0 + 1), opt.At(1, 30));

    SendMessageW(check, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(Prop(check, "OLDSTATE"), 0);
    EXPECT_EQ(Prop(check, "MOUSEFLAG"), 0);
    EXPECT_EQ(Shown(check)->At(1, y0 + 1), 0xFFFFFFu);

    // Space presses and releases like the mouse.
    SendMessageW(check, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(Prop(check, "OLDSTATE"), 2);
    SendMessageW(check, WM_KEYUP, VK_SPACE, 0);
    EXPECT_EQ(Prop(check, "OLDSTATE"), 0);
    SendMessageW(check, WM_KEYDOWN, 'A', 0);
    EXPECT_EQ(Prop(check, "OLDSTATE"), 0);

    SendMessageW(check, BM_SETCHECK, BST_CHECKED, 0);
    EnableWindow(check, FALSE);
    RepaintErased(check);
    SendMessageW(check, WM_MOUSEMOVE, 0, MAKELPARAM(30, 10));
    c = Shown(check);
    EXPECT_EQ(c->At(0, y0), Rrggbb(DisabledBorderColour));
    EXPECT_EQ(c->At(1, y0 + 1), 0xFFFFFFu);
    EXPECT_EQ(ArtDiffs(*c, 2, y0 + 2, SkinBitmap::Mark, 9, 0, 9, 8), 0);
}

TEST_F(Glyphs, OptionCircleAndDot) {
    SendMessageW(opt1, BM_SETCHECK, BST_CHECKED, 0);
    RepaintErased(opt1);
    RepaintErased(opt2);
    auto c = Shown(opt1);
    EXPECT_EQ(ArtDiffs(*c, 4, y0 + 4, SkinBitmap::Mark, 2, 18, 5, 5), 0);
    // The circle outside the dot is the normal circle.
    auto e = Shown(opt2);
    EXPECT_EQ(ArtDiffs(*e, 0, y0, SkinBitmap::Option, 0, 0, 13, 13), 0);
    EXPECT_NE(ArtDiffs(*e, 4, y0 + 4, SkinBitmap::Mark, 2, 18, 5, 5), 0);

    SendMessageW(opt2, WM_MOUSEMOVE, 0, MAKELPARAM(30, 10));
    EXPECT_EQ(ArtDiffs(*Shown(opt2), 0, y0, SkinBitmap::Option, 0, 13, 13, 13), 0);
    // Focus changes redraw it normal.
    SendMessageW(opt2, WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(Prop(opt2, "OLDSTATE"), 0);
    EXPECT_EQ(ArtDiffs(*Shown(opt2), 0, y0, SkinBitmap::Option, 0, 0, 13, 13), 0);

    EnableWindow(opt1, FALSE);
    RepaintErased(opt1);
    c = Shown(opt1);
    EXPECT_EQ(ArtDiffs(*c, 4, y0 + 4, SkinBitmap::Mark, 11, 18, 5, 5), 0);
}

TEST_F(Glyphs, ReleaseAnywhereRedrawsTheSiblingsGlyphs) {
    SendMessageW(opt1, BM_SETCHECK, BST_CHECKED, 0);
    RepaintErased(opt1);
    // opt1 left hot, its glyph scribbled over as another program might.
    SendMessageW(opt1, WM_MOUSEMOVE, 0, MAKELPARAM(30, 10));
    ASSERT_EQ(Prop(opt1, "OLDSTATE"), 1);
    const RECT r{0, 0, 13, 20};
    for (HWND scribbled : {opt1, check}) {
        const WindowDc dc(scribbled);
        FillRect(dc.get(), &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }

    // A release over an unrelated sibling, not a button at all.
    SendMessageW(label, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Prop(opt1, "OLDSTATE"), 0);
    auto c = Shown(opt1);
    EXPECT_EQ(ArtDiffs(*c, 4, y0 + 4, SkinBitmap::Mark, 2, 18, 5, 5), 0);
    EXPECT_EQ(ArtDiffs(*c, 0, y0, SkinBitmap::Option, 0, 0, 13, 4), 0);  // the circle above the dot
    EXPECT_EQ(Shown(check)->At(0, y0), Rrggbb(BorderColour));

    // A click on the sibling takes the dot from the first.
    SendMessageW(opt2, BM_CLICK, 0, 0);
    testing::Pump(30);
    EXPECT_EQ(SendMessageW(opt1, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_NE(ArtDiffs(*Shown(opt1), 4, y0 + 4, SkinBitmap::Mark, 2, 18, 5, 5), 0);
    EXPECT_EQ(SendMessageW(opt2, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(ArtDiffs(*Shown(opt2), 4, y0 + 4, SkinBitmap::Mark, 2, 18, 5, 5), 0);
}

TEST(FlatBorders, ClientEdgeBecomesOneFlatPixel) {
    TestForm form;
    HWND edit = form.Add(L"Edit", L"文字", 0, 10, 10, 120, 24, WS_EX_CLIENTEDGE);
    HWND list = form.Add(L"ListBox", L"", 0, 10, 50, 120, 60, WS_EX_CLIENTEDGE);
    HWND plain = form.Add(L"ListBox", L"", WS_BORDER, 150, 50, 120, 60);
    EnableWindow(list, FALSE);
    ASSERT_EQ(SkinWindow(form.hwnd()), 1);
    for (HWND w : {edit, list, plain}) RepaintErased(w);

    auto c = Shown(edit);
    for (auto [x, y] : {std::pair{0, 0}, {119, 23}, {60, 0}, {0, 12}, {119, 12}, {60, 23}}) {
        EXPECT_EQ(c->At(x, y), Rrggbb(BorderColour)) << x << "," << y;
    }
    // Both rings of the old 2-pixel edge, on all four sides.
    for (auto [x, y] : {std::pair{1, 1}, {2, 2}, {118, 22}, {117, 21}, {60, 1}, {60, 2}, {60, 21}, {60, 22},
                        {1, 12}, {2, 12}, {117, 12}, {118, 12}}) {
        EXPECT_EQ(c->At(x, y), 0xFFFFFFu) << x << "," << y;
    }
    c = Shown(list);
    EXPECT_EQ(c->At(0, 0), Rrggbb(DisabledBorderColour));
    EXPECT_EQ(c->At(119, 30), Rrggbb(DisabledBorderColour));
    // No client edge: the window's own border stays.
    EXPECT_NE(Shown(plain)->At(0, 0), Rrggbb(BorderColour));
}

TEST(FlatBorders, DropDownListsAndGridsAreFramedAfterTheirPainting) {
    TestForm form;
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = L"ApexGridTest";
    RegisterClassW(&wc);
    HWND bordered = form.Add(L"ApexGridTest", L"", WS_BORDER, 10, 10, 100, 50);
    HWND bare = form.Add(L"ApexGridTest", L"", 0, 120, 10, 100, 50);
    ASSERT_EQ(SkinWindow(form.hwnd()), 1);
    RepaintErased(bordered);
    RepaintErased(bare);
    auto c = Shown(bordered);
    EXPECT_EQ(c->At(0, 0), Rrggbb(BorderColour));
    EXPECT_EQ(c->At(99, 49), Rrggbb(BorderColour));
    EXPECT_EQ(c->At(1, 1), 0u);  // no inner ring for grids
    EXPECT_EQ(Shown(bare)->At(0, 0), 0u);
}

class Combos : public ::testing::Test {
protected:
    void SetUp() override {
        list = form.Add(L"ComboBox", L"", CBS_DROPDOWNLIST, 10, 10, 121, 200);
        edit = form.Add(L"ComboBox", L"", CBS_DROPDOWN, 150, 10, 121, 200);
        simple = form.Add(L"ComboBox", L"", CBS_SIMPLE, 10, 60, 121, 80);
        for (HWND c : {list, edit}) SendMessageW(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"宋体"));
        ASSERT_EQ(SkinWindow(form.hwnd()), 1);
        for (HWND c : {list, edit, simple}) RepaintErased(c);
    }
    TestForm form;
    HWND list = nullptr, edit = nullptr, simple = nullptr;
};

TEST_F(Combos, FlatBorderAndWhiteDropButtonWithItsArrow) {
    const Box b = WindowBox(list);
    const int bw = GetSystemMetrics(SM_CXVSCROLL) + 1;
    auto c = Shown(list);
    EXPECT_EQ(c->At(0, 0), Rrggbb(BorderColour));
    EXPECT_EQ(c->At(b.width - 1, b.height - 1), Rrggbb(BorderColour));
    const int bx = b.width - bw - 1;
    EXPECT_EQ(c->At(bx, 1), 0xFFFFFFu);
    EXPECT_EQ(c->At(bx + bw - 1, b.height - 2), 0xFFFFFFu);
    EXPECT_EQ(ArtDiffs(*c, bx + Centred(bw, 7), 1 + Centred(b.height, 6), SkinBitmap::DropButton, 8, 0, 7, 4), 0);
    c = Shown(edit);
    EXPECT_EQ(c->At(0, 0), Rrggbb(BorderColour));
    EXPECT_EQ(ArtDiffs(*c, bx + Centred(bw, 7), 1 + Centred(b.height, 6), SkinBitmap::DropButton, 8, 0, 7, 4), 0);
    // No drop button on a simple combo box: its right edge stays as it was.
    EXPECT_EQ(PaintDropButton(simple, nullptr, 1, true), 0);
}

TEST_F(Combos, TheEditableComboPressesOnlyOverItsButton) {
    const Box b = WindowBox(edit);
    SendMessageW(edit, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(Prop(edit, "OLDSTATE"), 0);
    EXPECT_EQ(Prop(edit, "MOUSEFLAG"), 1);
    SendMessageW(edit, WM_MOUSEMOVE, 0, MAKELPARAM(b.width - 8, 10));
    EXPECT_EQ(Prop(edit, "OLDSTATE"), 1);
    SendMessageW(edit, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    SendMessageW(edit, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    EXPECT_EQ(Prop(edit, "OLDSTATE"), 0);
    SendMessageW(edit, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(Prop(edit, "MOUSEFLAG"), 0);

    // The list-only combo is hot anywhere, pressed with the button held.
    SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(Prop(list, "OLDSTATE"), 1);
    SendMessageW(list, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(10, 10));
    EXPECT_EQ(Prop(list, "OLDSTATE"), 2);
    SendMessageW(list, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(Prop(list, "OLDSTATE"), 0);
    // Hot shows the hot tile's face.
    EXPECT_EQ(PaintDropButton(list, nullptr, 1, false), 1);
    EXPECT_EQ(PaintDropButton(list, nullptr, 1, false), 0);
    EXPECT_NE(Shown(list)->At(b.width - GetSystemMetrics(SM_CXVSCROLL) / 2 - 2, 3), 0xFFFFFFu);
}

TEST_F(Combos, AnOpenListHoldsTheButtonPressed) {
    SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
    ASSERT_NE(SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0), 0);
    PaintDropButton(list, nullptr, 0, false);
    EXPECT_EQ(Prop(list, "OLDSTATE"), 2);
    SendMessageW(list, CB_SHOWDROPDOWN, FALSE, 0);
    PaintDropButton(list, nullptr, 0, false);
    EXPECT_EQ(Prop(list, "OLDSTATE"), 0);
}

}  // namespace
}  // namespace mojian::skin
