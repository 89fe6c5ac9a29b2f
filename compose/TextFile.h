// The program's text-file format, for custom sources and exports alike: the
// text in GBK (characters GBK lacks become character references), followed
// by CR LF, written whole so that a failed write leaves the old file intact.
#pragma once

#include <string>
#include <string_view>

namespace mojian {

// The bytes such a file holds for `utf8`.
std::string TextFileBytes(std::string_view utf8);

// False when the file could not be written.
bool WriteTextFile(const std::string& path, std::string_view utf8);

}  // namespace mojian
