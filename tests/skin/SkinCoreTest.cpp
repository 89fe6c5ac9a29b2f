#include <gtest/gtest.h>

#include <vector>

#include "skin/ButtonMachine.h"
#include "skin/SkinCore.h"

namespace mojian::skin {
namespace {

TEST(ClassGroups, ListedNamesKeepTheirGroups) {
    EXPECT_EQ(GroupOfClass("#32770", 0), ClassGroup::Form);
    EXPECT_EQ(GroupOfClass("thunderrt6formdc", 0), ClassGroup::Form);
    EXPECT_EQ(GroupOfClass("form", 0), ClassGroup::Form);
    EXPECT_EQ(GroupOfClass("thundercommandbutton", 0x0B), ClassGroup::PushButton);
    EXPECT_EQ(GroupOfClass("combobox", 0), ClassGroup::Combo);
    EXPECT_EQ(GroupOfClass("combo", 0), ClassGroup::Combo);
    EXPECT_EQ(GroupOfClass("thunderdrivelistbox", 0), ClassGroup::DriveList);
    EXPECT_EQ(GroupOfClass("thunderrt6checkbox", 0), ClassGroup::CheckBox);
    EXPECT_EQ(GroupOfClass("thunderoptionbutton", 0), ClassGroup::Option);
    EXPECT_EQ(GroupOfClass("progressbarwndclass", 0), ClassGroup::Progress);
    EXPECT_EQ(GroupOfClass("sysheader32", 0), ClassGroup::Header);
    EXPECT_EQ(GroupOfClass("dblistwndclass", 0), ClassGroup::DataList);
    EXPECT_EQ(GroupOfClass("combolbox", 0), ClassGroup::DropDownList);
    EXPECT_EQ(GroupOfClass("apexgrid", 0), ClassGroup::Grid);
    EXPECT_EQ(GroupOfClass("apexgridolebc", 0), ClassGroup::Grid);
    EXPECT_EQ(GroupOfClass("edit", 0), ClassGroup::Other);
    EXPECT_EQ(GroupOfClass("listbox", 0), ClassGroup::Other);
    // Near misses are not members.
    EXPECT_EQ(GroupOfClass("forms", 0), ClassGroup::Other);
    EXPECT_EQ(GroupOfClass("xapexgrid", 0), ClassGroup::Other);
}

TEST(ClassGroups, ProgramFormsAreForms) {
    EXPECT_EQ(GroupOfClass(AsciiLowered("Mojian.Form1"), 0), ClassGroup::Form);
    EXPECT_EQ(GroupOfClass("mojian.editor", 0), ClassGroup::Form);
    EXPECT_EQ(GroupOfClass(AsciiLowered("MojianForm1"), 0), ClassGroup::Form);
    EXPECT_EQ(GroupOfClass(AsciiLowered("MojianFrame"), 0), ClassGroup::Other);
    EXPECT_EQ(GroupOfClass("mojian", 0), ClassGroup::Other);
}

TEST(ClassGroups, NativeButtonsGoByTheirType) {
    const std::uint32_t childVisible = 0x50000000;
    EXPECT_EQ(GroupOfClass("button", childVisible | 0x0), ClassGroup::PushButton);
    EXPECT_EQ(GroupOfClass("button", childVisible | 0x1), ClassGroup::PushButton);
    EXPECT_EQ(GroupOfClass("button", childVisible | 0x2), ClassGroup::CheckBox);
    EXPECT_EQ(GroupOfClass("button", childVisible | 0x3), ClassGroup::CheckBox);
    EXPECT_EQ(GroupOfClass("button", childVisible | 0x4), ClassGroup::Option);
    EXPECT_EQ(GroupOfClass("button", childVisible | 0x5), ClassGroup::CheckBox);
    EXPECT_EQ(GroupOfClass("button", childVisible | 0x6), ClassGroup::CheckBox);
    EXPECT_EQ(GroupOfClass("button", childVisible | 0x7), ClassGroup::Other);  // group box
    // An auto radio button has (style AND 6) = 0 but is no push button.
    EXPECT_EQ(GroupOfClass("button", childVisible | 0x9), ClassGroup::Option);
    EXPECT_EQ(GroupOfClass("button", childVisible | 0xB), ClassGroup::Other);  // owner-drawn
    // Alignment and other flags above the type do not change the group.
    EXPECT_EQ(GroupOfClass("button", childVisible | 0x0300 | 0x9), ClassGroup::Option);
    EXPECT_EQ(GroupOfClass("button", childVisible | 0x2000 | 0x1), ClassGroup::PushButton);
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(HalfToEven(4), 2);
    EXPECT_EQ(HalfToEven(1), 0);
    EXPECT_EQ(HalfToEven(3), 2);
    EXPECT_EQ(HalfToEven(5), 2);
    EXPECT_EQ(HalfToEven(7), 4);
    EXPECT_EQ(HalfToEven(0), 0);
    EXPECT_EQ(HalfToEven(-1), 0);
    EXPECT_EQ(HalfToEven(-3), -2);
    EXPECT_EQ(RoundHalfEven(50.5), 50);
    EXPECT_EQ(RoundHalfEven(51.5), 52);
    EXPECT_EQ(RoundHalfEven(50.4999), 50);
    EXPECT_EQ(RoundHalfEven(50.5001), 51);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
}

TEST(Rounding, BorderWidthsLeaveScrollBarsOut) {
    // A 2-pixel client edge all round.
    EXPECT_EQ(BorderWidthsFrom(100, 30, 96, 26, 0, 0).bx, 2);
    // 3 pixels over two sides: 1.5 goes to 2; 5 pixels: 2.5 goes to 2.
    EXPECT_EQ(BorderWidthsFrom(100, 30, 97, 25, 0, 0).bx, 2);
    EXPECT_EQ(BorderWidthsFrom(100, 30, 97, 25, 0, 0).by, 2);
    // A vertical scroll bar of 17 inside a 2-pixel edge.
    const Borders b = BorderWidthsFrom(120, 80, 99, 76, 17, 0);
    EXPECT_EQ(b.bx, 2);
    EXPECT_EQ(b.by, 2);
}

TEST(Words, ParametersSplitIntoSignedHalves) {
    EXPECT_EQ(LowWord(0x00140030u), 0x30);
    EXPECT_EQ(HighWord(0x00140030u), 0x14);
    // A captured mouse left of and above the window.
    EXPECT_EQ(LowWord(0xFFFEFFF6u), -10);
    EXPECT_EQ(HighWord(0xFFFEFFF6u), -2);
}

// --- the push button's state machine ---------------------------------------

int CountPresentsUntilStop(ButtonState& s, std::vector<int>& alphas) {
    for (int tick = 0; tick < 1000 && s.timerId != 0; ++tick) {
        for (const ButtonAction& a : ButtonFadeStep(s, true)) {
            if (a.kind == ButtonAction::Present) alphas.push_back(a.alpha);
        }
    }
    return static_cast<int>(alphas.size());
}

TEST(ButtonFade, FromZeroPresentsEightySixSteps) {
    ButtonState s = ButtonAttached(true);
    ButtonMouseMove(s, true, true);  // mouse enters: hot, fade in from 0
    ASSERT_EQ(s.timerId, FadeTimerId);
    std::vector<int> alphas;
    EXPECT_EQ(CountPresentsUntilStop(s, alphas), 86);
    EXPECT_EQ(alphas.front(), 0);
    EXPECT_EQ(alphas[1], 3);
    EXPECT_EQ(alphas.back(), 255);
    EXPECT_EQ(s.timerId, 0);
    EXPECT_EQ(s.alpha, 0);
    EXPECT_EQ(s.oldState, StateHot);
}

TEST(ButtonFade, FromSixtyAfterAReleasePresentsSixtySixSteps) {
    ButtonState s = ButtonAttached(true);
    ButtonMouseMove(s, true, true);
    ButtonPress(s, true);
    const ButtonActions up = ButtonLeftUp(s);
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0].kind, ButtonAction::StartFade);
    std::vector<int> alphas;
    EXPECT_EQ(CountPresentsUntilStop(s, alphas), 66);
    EXPECT_EQ(alphas.front(), 60);
    EXPECT_EQ(alphas.back(), 255);
    EXPECT_EQ(s.oldState, StateNormal);
    EXPECT_EQ(s.mouseFlag, 0);
}

TEST(ButtonStates, HoverPressReleaseAndLeave) {
    ButtonState s = ButtonAttached(true);
    EXPECT_EQ(s, (ButtonState{0, 0, StateNormal, 0}));

    ButtonActions a = ButtonMouseMove(s, true, true);
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0].kind, ButtonAction::TrackLeave);
    EXPECT_EQ(a[1].kind, ButtonAction::StartFade);
    EXPECT_EQ(s, (ButtonState{1, FadeTimerId, StateHot, 0}));

    // Further moves over the button change nothing.
    EXPECT_EQ(ButtonMouseMove(s, true, true).size(), 0u);

    // Press: the fade stops and the pressed image shows at once, in full.
    a = ButtonPress(s, true);
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0].kind, ButtonAction::StopFade);
    EXPECT_EQ(a[1].kind, ButtonAction::Present);
    EXPECT_EQ(a[1].state, StatePressed);
    EXPECT_EQ(a[1].alpha, 255);
    EXPECT_EQ(s, (ButtonState{1, 0, StatePressed, 0}));

    // Leave: the hot image once at 140, then a fade to normal from 0.
    a = ButtonMouseLeave(s, true);
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0].kind, ButtonAction::Present);
    EXPECT_EQ(a[0].state, StateHot);
    EXPECT_EQ(a[0].alpha, 140);
    EXPECT_EQ(a[1].kind, ButtonAction::StartFade);
    EXPECT_EQ(s, (ButtonState{0, FadeTimerId, StateNormal, 0}));
}

TEST(ButtonStates, CapturedMouseOutsideKeepsThePressedImage) {
    ButtonState s = ButtonAttached(true);
    ButtonMouseMove(s, true, true);
    ButtonPress(s, true);
    const ButtonActions a = ButtonMouseMove(s, true, false);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].kind, ButtonAction::Present);
    EXPECT_EQ(a[0].state, StatePressed);
    EXPECT_EQ(a[0].alpha, 255);
    // Released outside: fade to normal; the next move over it is an entry.
    ButtonLeftUp(s);
    EXPECT_EQ(s.oldState, StateNormal);
    const ButtonActions again = ButtonMouseMove(s, true, true);
    EXPECT_EQ(again[0].kind, ButtonAction::TrackLeave);
    EXPECT_EQ(s.oldState, StateHot);
}

TEST(ButtonStates, SpaceBarPressesAndReleases) {
    ButtonState s = ButtonAttached(true);
    ButtonPress(s, true);
    EXPECT_EQ(s.oldState, StatePressed);
    const ButtonActions up = ButtonSpaceUp(s);
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0].kind, ButtonAction::StartFade);
    EXPECT_EQ(s, (ButtonState{0, FadeTimerId, StateNormal, 0}));
}

TEST(ButtonStates, AFadeStartedWhileOneRunsKeepsTheTimer) {
    ButtonState s = ButtonAttached(true);
    ButtonMouseMove(s, true, true);
    for (int i = 0; i < 10; ++i) ButtonFadeStep(s, true);
    const ButtonActions a = ButtonFocusChanged(s);
    ASSERT_EQ(a.size(), 1u);  // only the new rendering; the timer keeps running
    EXPECT_EQ(a[0].kind, ButtonAction::Rerender);
    EXPECT_EQ(s.alpha, 0);
    EXPECT_EQ(s.timerId, FadeTimerId);
}

TEST(ButtonStates, FocusRendersAgainAndFadesIn) {
    ButtonState s = ButtonAttached(true);
    const ButtonActions a = ButtonFocusChanged(s);
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0].kind, ButtonAction::Rerender);
    EXPECT_EQ(a[1].kind, ButtonAction::StartFade);
}

TEST(ButtonStates, DisabledButtonsShowTheDisabledImage) {
    ButtonState s = ButtonAttached(false);
    EXPECT_EQ(s.oldState, StateDisabled);
    ButtonActions a = ButtonPaint(s, false);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].state, StateDisabled);
    EXPECT_EQ(a[0].alpha, 255);

    // Enabled again after fades have finished: shown in full, not at 0.
    a = ButtonEnableChanged(s, true);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].state, StateNormal);
    EXPECT_EQ(a[0].alpha, 255);
    a = ButtonEnableChanged(s, false);
    EXPECT_EQ(a[0].state, StateDisabled);
    EXPECT_EQ(s.oldState, StateDisabled);

    // During a running fade the change blends in at the fade's opacity.
    ButtonState f = ButtonAttached(true);
    ButtonMouseMove(f, true, true);
    for (int i = 0; i < 4; ++i) ButtonFadeStep(f, true);
    a = ButtonEnableChanged(f, false);
    EXPECT_EQ(a[0].state, StateDisabled);
    EXPECT_EQ(a[0].alpha, 12);
    // A disabled window presents its disabled image whatever the state says.
    a = ButtonFadeStep(f, false);
    EXPECT_EQ(a[0].state, StateDisabled);
}

TEST(ButtonStates, PaintStopsTheFadeAndShowsTheStateInFull) {
    ButtonState s = ButtonAttached(true);
    ButtonMouseMove(s, true, true);
    const ButtonActions a = ButtonPaint(s, true);
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0].kind, ButtonAction::StopFade);
    EXPECT_EQ(a[1].state, StateHot);
    EXPECT_EQ(a[1].alpha, 255);
    EXPECT_EQ(s.timerId, 0);
    EXPECT_EQ(s.alpha, 255);
}


TEST(PartGeometry, GlyphsCentreWithHalvesToEven) {
    // A 13-pixel menu check: the 9 x 8 mark at (2, 2), the 7 x 7 square at
    // (3, 3), the 5 x 5 dot at 4.
    EXPECT_EQ(Centred(13, 9), 2);
    EXPECT_EQ(Centred(13, 8), 2);  // 2.5 goes down to 2
    EXPECT_EQ(Centred(13, 7), 3);
    EXPECT_EQ(Centred(13, 5), 4);
    EXPECT_EQ(Centred(20, 13), 4);  // 3.5 goes up to 4
    EXPECT_EQ(Centred(22, 13), 4);  // 4.5 goes down to 4
    EXPECT_EQ(Centred(10, 13), -2);  // a glyph taller than its window sticks out evenly
}

TEST(PartGeometry, DropButtonHitArea) {
    // A 121 x 21 combo box with 17-pixel scroll bars: the button spans
    // x 102..119 and y 2..19.
    EXPECT_FALSE(OverDropButton(101, 10, 121, 21, 17));
    EXPECT_TRUE(OverDropButton(102, 10, 121, 21, 17));
    EXPECT_TRUE(OverDropButton(119, 10, 121, 21, 17));
    EXPECT_FALSE(OverDropButton(120, 10, 121, 21, 17));
    EXPECT_FALSE(OverDropButton(110, 1, 121, 21, 17));
    EXPECT_TRUE(OverDropButton(110, 2, 121, 21, 17));
    EXPECT_TRUE(OverDropButton(110, 19, 121, 21, 17));
    EXPECT_FALSE(OverDropButton(110, 20, 121, 21, 17));
    EXPECT_FALSE(OverDropButton(5, 10, 121, 21, 17));  // the text part
}

TEST(PartGeometry, ProgressLengthOnTheFullScale) {
    EXPECT_EQ(BarLength(15000, 101), 50);  // 50.5 to the even 50
    EXPECT_EQ(BarLength(15000, 103), 52);  // 51.5 to the even 52
    EXPECT_EQ(BarLength(0, 101), 0);
    EXPECT_EQ(BarLength(30000, 101), 101);
    EXPECT_EQ(BarLength(60000, 101), 202);  // beyond full scale: clipped by the window
    EXPECT_EQ(BarLength(1, 200), 0);
}

TEST(PartGeometry, HeaderBoundaryBelongsToTheLeftItem) {
    const Span items[] = {{0, 80}, {80, 150}, {150, 150}, {150, 200}};
    EXPECT_EQ(HeaderHit(items, 4, 0), 0);
    EXPECT_EQ(HeaderHit(items, 4, 80), 0);
    EXPECT_EQ(HeaderHit(items, 4, 81), 1);
    EXPECT_EQ(HeaderHit(items, 4, 150), 1);
    EXPECT_EQ(HeaderHit(items, 4, 151), 3);  // the empty item 2 is never hit past its point
    EXPECT_EQ(HeaderHit(items, 4, 201), -1);
    EXPECT_EQ(HeaderHit(items, 4, -1), -1);
    EXPECT_EQ(HeaderHit(items, 0, 10), -1);
}

}  // namespace
}  // namespace mojian::skin
