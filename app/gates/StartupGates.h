// The checks that run first in Form_Load, before the window sets itself up.
#pragma once

#include <windows.h>

namespace mojian {

// True when start-up may go on; false when a gate refused and the process
// must end at once (the gate has already told the user).
bool RunStartupGates(HWND form);

}  // namespace mojian
