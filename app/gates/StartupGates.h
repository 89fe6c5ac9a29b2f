// The checks that run first in Form_Load, before the window sets itself up.
#pragma once

#include <windows.h>

#include <string>

namespace mojian {

// True when start-up may go on; false when a gate refused and the process
// must end at once (the gate has already told the user). A second start
// with `fileToOpen` (UTF-8) hands the file to the running copy instead of
// refusing, and ends without a word.
bool RunStartupGates(HWND form, const std::string& fileToOpen = {});

// A property of the form: the microseconds the gates spent waiting on the
// network and the settings service, so a timing of the start-up can leave
// out what the machine's connection costs.
inline constexpr wchar_t kNetworkWaitProp[] = L"MojianNetworkWaitUs";

}  // namespace mojian
