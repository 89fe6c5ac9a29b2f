#include "base/File.h"

namespace mojian {

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.empty() && path.back() != kPathSeparator && path.back() != '/') path += kPathSeparator;
    path += name;
    return path;
}

}  // namespace mojian
