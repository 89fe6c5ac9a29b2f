#include "compose/TextFile.h"

#include "base/File.h"
#include "base/Gbk.h"

namespace mojian {

std::string TextFileBytes(std::string_view utf8) {
    std::string bytes = Utf8ToGbk(utf8);
    bytes += "\r\n";
    return bytes;
}

bool WriteTextFile(const std::string& path, std::string_view utf8) {
    return WriteWholeFile(path, TextFileBytes(utf8));
}

}  // namespace mojian
