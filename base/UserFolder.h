// The per-user folder of the program, %LOCALAPPDATA%\墨笺: the recovery
// file, the recent-files list and the picture cache live there. Paths are
// UTF-8.
#pragma once

#include <string>

namespace mojian {

// The folder, made if it is missing; empty when the system has no local
// application data folder or it cannot be made.
std::string UserDataFolder();

// Tests point the folder somewhere of their own; empty goes back to the
// system's.
void SetUserDataFolder(std::string folder);

}  // namespace mojian
