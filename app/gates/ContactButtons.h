// What "联系客服" (Command11) and "联系代理" (Command12) do: both open the
// contact address that the maker's service gives at the moment of the click.
#pragma once

#include <windows.h>

namespace mojian {

// Asks the service afresh and opens its contact address in the user's
// browser; when the address cannot be obtained, says so in a message box
// owned by `owner`. Blocks the caller while it waits, but the window keeps
// handling its events meanwhile.
void OpenContactAddress(HWND owner);

}  // namespace mojian
