// The main window Form1: its controls, the window set-up and the handlers of
// the block choice and the composition list.
#pragma once

#include <windows.h>

#include "compose/PreviewBrowser.h"

namespace mojian {

// Control identifiers; an array's element i is its base + i.
namespace form1 {
inline constexpr int kOption1 = 100;   // Option1(0..9): the block kinds
inline constexpr int kOption4 = 120;   // "自定义源码"
inline constexpr int kOption2 = 200;   // Option2(0..19): the styles, in Frame1
inline constexpr int kFrame1 = 300;
inline constexpr int kFrame2 = 301;
inline constexpr int kFrame4 = 302;
inline constexpr int kText1 = 400;     // the custom-source editor
inline constexpr int kText3 = 401;     // the source of the entry last previewed
inline constexpr int kText4 = 402;     // the page buffer
inline constexpr int kLabel1 = 501;    // the number of the latest custom source
inline constexpr int kLabel2 = 502;
inline constexpr int kLabel4 = 504;
inline constexpr int kLabel5 = 505;    // the link to the maker's site
inline constexpr int kList1 = 600;     // the composition list
inline constexpr int kCommand = 700;   // CommandN is kCommand + N
inline constexpr int kWebBrowser1 = 800;
}  // namespace form1

struct Form1Options {
    // The program runs the start-up gates; tests drive the window without.
    bool runStartupGates = true;
    // Closing the window ends the message loop (the program); tests keep theirs.
    bool quitOnClose = true;
};

// Creates Form1 hidden and runs Form_Load; the caller shows it. When a
// start-up gate refuses, the process has already ended.
HWND CreateForm1(HINSTANCE instance, const Form1Options& options = {});

// Any control of the form by identifier, wherever its container.
HWND Form1Control(HWND form, int id);

// The preview other parts of the window write into.
PreviewBrowser* Form1Preview(HWND form);
// The document the preview shows when it is our own model; else nothing.
const PreviewDocument* Form1PreviewModel(HWND form);

// Routes the keyboard through the form (tab order, arrow keys among options).
bool Form1TranslateMessage(HWND form, MSG& msg);

}  // namespace mojian
