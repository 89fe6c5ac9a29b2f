// The XDG data folder stands in for %LOCALAPPDATA% in the native builds.
#include <cstdlib>
#include <string>

namespace mojian {

std::string LocalAppDataFolder() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) return data;
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.local/share";
    return {};
}

}  // namespace mojian
