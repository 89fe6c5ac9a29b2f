// Small text helpers the check's matchers share; case and white space come
// from base/Text.h.
#pragma once

#include <string_view>

#include "base/Text.h"

namespace mojian::check {

inline bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

}  // namespace mojian::check
