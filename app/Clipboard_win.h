// The system clipboard as the copy uses it. Another program may hold the
// clipboard open for a moment, so opening is retried briefly; nothing here
// shows a message, and the clipboard is never left open.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace mojian {

// Empties the clipboard and puts `utf8` on it as CF_UNICODETEXT (the system
// makes the ANSI form). False when the clipboard stayed unavailable or the
// text could not be set.
bool PutClipboardText(HWND owner, std::string_view utf8);

// Empties the clipboard. False when it stayed unavailable.
bool EmptyClipboardText(HWND owner);

// The clipboard's CF_UNICODETEXT; nothing when there is none or it stayed
// unavailable.
std::optional<std::string> ClipboardText(HWND owner);

// The clipboard's "HTML Format" block as it is (UTF-8: its header of
// offsets, then the document); nothing when there is none or it stayed
// unavailable.
std::optional<std::string> ClipboardHtmlFormat(HWND owner);

}  // namespace mojian
