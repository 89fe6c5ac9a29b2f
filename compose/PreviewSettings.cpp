#include "compose/PreviewSettings.h"

#include <string>

#include "base/Text.h"

namespace mojian {

namespace {

bool IsSpaceOrTab(char c) { return c == ' ' || c == '\t'; }

// A line's end may still carry the CR of a CR LF.
std::string_view Trim(std::string_view s) {
    return TrimBack(TrimFront(s, IsSpaceOrTab), [](char c) { return IsSpaceOrTab(c) || c == '\r'; });
}

}  // namespace

PreviewEngine PreviewEngineFromSettings(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    PreviewEngine engine = PreviewEngine::BuiltIn;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || AsciiLowered(Trim(line.substr(0, eq))) != "engine") continue;
        const std::string value = AsciiLowered(Trim(line.substr(eq + 1)));
        if (value == "system") engine = PreviewEngine::System;
        else if (value == "builtin") engine = PreviewEngine::BuiltIn;
    }
    return engine;
}

}  // namespace mojian
