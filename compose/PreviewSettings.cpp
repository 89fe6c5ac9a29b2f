#include "compose/PreviewSettings.h"

#include <string>

namespace mojian {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::string Lowered(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
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
        if (eq == std::string_view::npos || Lowered(Trim(line.substr(0, eq))) != "engine") continue;
        const std::string value = Lowered(Trim(line.substr(eq + 1)));
        if (value == "system") engine = PreviewEngine::System;
        else if (value == "builtin") engine = PreviewEngine::BuiltIn;
    }
    return engine;
}

}  // namespace mojian
