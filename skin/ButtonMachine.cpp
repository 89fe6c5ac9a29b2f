#include "skin/ButtonMachine.h"

namespace mojian::skin {

namespace {

void StartFade(ButtonState& s, ButtonActions& out) {
    // A fade started while one runs keeps the running timer.
    if (s.timerId != 0) return;
    s.timerId = FadeTimerId;
    out.Push({ButtonAction::StartFade});
}

void StopFade(ButtonState& s, ButtonActions& out) {
    if (s.timerId == 0) return;
    s.timerId = 0;
    out.Push({ButtonAction::StopFade});
}

void Present(ButtonState& s, bool enabled, ButtonActions& out) {
    if (!enabled) s.oldState = StateDisabled;
    out.Push({ButtonAction::Present, s.oldState, s.alpha});
}

}  // namespace

ButtonState ButtonAttached(bool enabled) {
    ButtonState s;
    s.oldState = enabled ? StateNormal : StateDisabled;
    return s;
}

ButtonActions ButtonPaint(ButtonState& s, bool enabled) {
    ButtonActions out;
    StopFade(s, out);
    s.alpha = 255;
    Present(s, enabled, out);
    return out;
}

ButtonActions ButtonMouseMove(ButtonState& s, bool enabled, bool cursorOverSelf) {
    ButtonActions out;
    if (s.mouseFlag == 0) {
        s.mouseFlag = 1;
        out.Push({ButtonAction::TrackLeave});
        s.oldState = StateHot;
        s.alpha = 0;
        StartFade(s, out);
    } else if (!cursorOverSelf) {
        // Captured while outside: keep showing the current image in full.
        StopFade(s, out);
        s.alpha = 255;
        Present(s, enabled, out);
    }
    return out;
}

ButtonActions ButtonMouseLeave(ButtonState& s, bool enabled) {
    ButtonActions out;
    s.mouseFlag = 0;
    s.oldState = StateHot;
    s.alpha = 140;
    Present(s, enabled, out);
    s.oldState = StateNormal;
    s.alpha = 0;
    StartFade(s, out);
    return out;
}

ButtonActions ButtonPress(ButtonState& s, bool enabled) {
    ButtonActions out;
    StopFade(s, out);
    s.oldState = StatePressed;
    s.alpha = 255;
    Present(s, enabled, out);
    s.alpha = 0;
    return out;
}

ButtonActions ButtonLeftUp(ButtonState& s) {
    ButtonActions out;
    s.mouseFlag = 0;
    s.oldState = StateNormal;
    s.alpha = 60;
    StartFade(s, out);
    return out;
}

ButtonActions ButtonSpaceUp(ButtonState& s) {
    ButtonActions out;
    s.mouseFlag = 0;
    s.alpha = 0;
    s.oldState = StateNormal;
    StartFade(s, out);
    return out;
}

ButtonActions ButtonFocusChanged(ButtonState& s) {
    ButtonActions out;
    out.Push({ButtonAction::Rerender});
    s.alpha = 0;
    StartFade(s, out);
    return out;
}

ButtonActions ButtonEnableChanged(ButtonState& s, bool nowEnabled) {
    ButtonActions out;
    s.oldState = nowEnabled ? StateNormal : StateDisabled;
    // Once a fade has finished its opacity reads 0, and presenting at 0
    // would leave a disabled button looking enabled: without a running fade
    // the new image shows in full.
    if (s.timerId == 0) s.alpha = 255;
    Present(s, nowEnabled, out);
    return out;
}

ButtonActions ButtonFadeStep(ButtonState& s, bool enabled) {
    ButtonActions out;
    int a = s.alpha;
    Present(s, enabled, out);
    a += FadeStep;
    if (a > 255) {
        StopFade(s, out);
        a = 0;
    }
    s.alpha = a;
    return out;
}

}  // namespace mojian::skin
