#include "app/gates/StartupGates.h"

namespace mojian {

bool RunStartupGates(HWND) { return true; }

}  // namespace mojian
