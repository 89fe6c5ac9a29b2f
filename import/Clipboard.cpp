#include "import/Clipboard.h"

#include <charconv>
#include <cstdint>

namespace mojian::import {

namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The header's "Name:value" lines, up to the first that is not one.
struct Offsets {
    std::int64_t startHtml = -1, endHtml = -1, startFragment = -1, endFragment = -1;
    bool version = false;
};

Offsets ReadHeader(std::string_view block) {
    Offsets o;
    std::size_t at = 0;
    while (at < block.size() && block[at] != '<') {
        const std::size_t end = block.find_first_of("\r\n", at);
        const std::string_view line = block.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) break;
        const std::string_view name = line.substr(0, colon), value = line.substr(colon + 1);
        if (name == "Version") {
            o.version = true;
        } else {
            std::int64_t number = -1;
            const auto [rest, error] = std::from_chars(value.data(), value.data() + value.size(), number);
            if (error != std::errc() || rest != value.data() + value.size()) number = -1;
            if (name == "StartHTML") o.startHtml = number;
            else if (name == "EndHTML") o.endHtml = number;
            else if (name == "StartFragment") o.startFragment = number;
            else if (name == "EndFragment") o.endFragment = number;
        }
        if (end == std::string_view::npos) break;
        at = end + (block.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return o;
}

std::optional<std::string_view> Span(std::string_view block, std::int64_t begin, std::int64_t end) {
    if (begin < 0 || end < begin || static_cast<std::uint64_t>(end) > block.size()) return std::nullopt;
    return block.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

bool Blank(std::string_view s) { return s.find_first_not_of(" \t\r\n\f") == std::string_view::npos; }

}  // namespace

std::optional<std::string_view> ClipboardHtmlFragment(std::string_view block) {
    while (!block.empty() && block.back() == '\0') block.remove_suffix(1);  // the clipboard's terminator
    const Offsets o = ReadHeader(block);
    if (!o.version) return std::nullopt;
    if (const auto fragment = Span(block, o.startFragment, o.endFragment)) return fragment;
    return Span(block, o.startHtml, o.endHtml);
}

bool LooksLikeMarkup(std::string_view text) {
    for (std::size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
        std::size_t p = at + 1;
        if (text.compare(p, 3, "!--") == 0) return true;
        if (p < text.size() && text[p] == '/') ++p;
        if (p >= text.size() || !IsAlpha(text[p])) continue;
        while (p < text.size() && (IsAlpha(text[p]) || (text[p] >= '0' && text[p] <= '9'))) ++p;
        if (p < text.size() && (text[p] == '>' || text[p] == '/' || text[p] == ' ' || text[p] == '\t' ||
                                text[p] == '\r' || text[p] == '\n'))
            return true;
    }
    return false;
}

std::optional<std::string_view> ClipboardDescription(std::optional<std::string_view> htmlBlock,
                                                     std::optional<std::string_view> text) {
    if (text && !Blank(*text) && LooksLikeMarkup(*text)) return text;
    if (htmlBlock) {
        if (const auto fragment = ClipboardHtmlFragment(*htmlBlock); fragment && !Blank(*fragment)) return fragment;
    }
    if (text && !text->empty()) return text;
    return std::nullopt;
}

}  // namespace mojian::import
