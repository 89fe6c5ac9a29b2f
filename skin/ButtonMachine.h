// The visual state machine of one skinned push button: which image shows,
// at what opacity, and when the fade timer runs. Pure: the window side
// feeds it events and carries out the actions it returns, in order.
#pragma once

#include <array>
#include <cstddef>

namespace mojian::skin {

inline constexpr int StateNormal = 0;
inline constexpr int StateHot = 1;
inline constexpr int StatePressed = 2;
inline constexpr int StateDisabled = 3;

inline constexpr int FadeTimerId = 1;
inline constexpr unsigned FadeIntervalMs = 15;
inline constexpr int FadeStep = 3;

// Mirrors the button's properties "MOUSEFLAG", "TIMERID", "OLDSTATE" and
// "ALPHALEVEL".
struct ButtonState {
    int mouseFlag = 0;
    int timerId = 0;
    int oldState = StateNormal;
    int alpha = 0;

    friend bool operator==(const ButtonState&, const ButtonState&) = default;
};

struct ButtonAction {
    enum Kind { TrackLeave, Present, StartFade, StopFade, Rerender };
    Kind kind = Present;
    int state = 0;  // Present: the image shown
    int alpha = 0;  // Present: its opacity
};

class ButtonActions {
public:
    void Push(ButtonAction a) {
        if (count_ < items_.size()) items_[count_++] = a;
    }
    std::size_t size() const { return count_; }
    const ButtonAction& operator[](std::size_t i) const { return items_[i]; }
    const ButtonAction* begin() const { return items_.data(); }
    const ButtonAction* end() const { return items_.data() + count_; }

private:
    std::array<ButtonAction, 8> items_{};
    std::size_t count_ = 0;
};

// `enabled` is whether the window is enabled when the event arrives: a
// disabled window always presents its disabled image.
ButtonState ButtonAttached(bool enabled);
ButtonActions ButtonPaint(ButtonState& s, bool enabled);
// `cursorOverSelf`: the window under the cursor is this button.
ButtonActions ButtonMouseMove(ButtonState& s, bool enabled, bool cursorOverSelf);
ButtonActions ButtonMouseLeave(ButtonState& s, bool enabled);
// Left button down or double click, and the space bar going down.
ButtonActions ButtonPress(ButtonState& s, bool enabled);
ButtonActions ButtonLeftUp(ButtonState& s);
ButtonActions ButtonSpaceUp(ButtonState& s);
// Focus gained or lost: the images are rendered again (focus rectangle).
ButtonActions ButtonFocusChanged(ButtonState& s);
// WM_ENABLE: `nowEnabled` is its wParam.
ButtonActions ButtonEnableChanged(ButtonState& s, bool nowEnabled);
// One tick of the fade timer.
ButtonActions ButtonFadeStep(ButtonState& s, bool enabled);

}  // namespace mojian::skin
