#include "check/Report.h"

#include <nlohmann/json.hpp>

#include "base/Utf.h"

namespace mojian::check {

namespace {

constexpr std::size_t kMaxQuotedCharacters = 200;

// Where a finding stands in its line's HTML.
struct Place {
    std::size_t row = 1, column = 1;  // 1-based; the column in characters
    std::string text;                 // the source in the range, cut after kMaxQuotedCharacters
};

Place PlaceOf(const Finding& f, const std::vector<PageLine>& lines) {
    Place p;
    if (f.line < 0 || static_cast<std::size_t>(f.line) >= lines.size() || !lines[f.line].html) return p;
    const std::string_view h = *lines[f.line].html;
    const std::size_t begin = std::min(f.range.begin, h.size());
    for (std::size_t pos = 0; pos < begin;) {
        const char32_t c = NextCodePoint(h, pos);
        if (c == '\n' || (c == '\r' && (pos >= h.size() || h[pos] != '\n'))) {
            ++p.row;
            p.column = 1;
        } else if (c != '\r') {
            ++p.column;
        }
    }
    const std::size_t end = std::min(f.range.end, h.size());
    std::size_t pos = begin, n = 0;
    while (pos < end && n < kMaxQuotedCharacters) {
        NextCodePoint(h, pos);
        ++n;
    }
    p.text = std::string(h.substr(begin, std::min(pos, end) - begin));
    if (pos < end) p.text += "…";
    return p;
}

std::string_view SeverityWord(Severity s) { return s == Severity::Error ? "错误" : "提示"; }

}  // namespace

std::string ReportJson(const std::vector<Finding>& findings, const std::vector<PageLine>& lines, const RuleSet& rules) {
    using Json = nlohmann::ordered_json;
    const Summary s = Summarise(findings, CountPageCharacters(lines));
    Json root;
    root["format"] = "mojian-check";
    root["version"] = 1;
    root["characters"] = s.characters;
    root["limit"] = rules.PageCharacterLimit() > 0 ? Json(rules.PageCharacterLimit()) : Json(nullptr);
    root["errors"] = s.errors;
    root["warnings"] = s.warnings;
    Json list = Json::array();
    for (const Finding& f : findings) {
        const bool page = f.line < 0;
        const Place p = PlaceOf(f, lines);
        Json j;
        j["rule"] = f.rule;
        j["severity"] = SeverityName(f.severity);
        j["title"] = f.title;
        j["line"] = page ? Json(nullptr) : Json(f.line + 1);
        j["entry"] = page ? Json(nullptr) : Json(f.entry);
        j["begin"] = f.range.begin;
        j["end"] = f.range.end;
        j["row"] = page ? Json(nullptr) : Json(p.row);
        j["column"] = page ? Json(nullptr) : Json(p.column);
        j["text"] = p.text;
        j["detail"] = f.detail;
        j["explanation"] = f.explanation;
        list.push_back(std::move(j));
    }
    root["findings"] = std::move(list);
    return root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string ReportText(const std::vector<Finding>& findings, const std::vector<PageLine>& lines, const RuleSet& rules) {
    std::string out;
    for (const Finding& f : findings) {
        out += "[";
        out += SeverityWord(f.severity);
        out += "] ";
        if (f.line < 0) {
            out += "整页";
        } else {
            const Place p = PlaceOf(f, lines);
            out += "第 " + std::to_string(f.line + 1) + " 行「" + f.entry + "」" + std::to_string(p.row) + ":" +
                   std::to_string(p.column);
        }
        out += " " + f.title;
        if (!f.detail.empty()) out += "：" + f.detail;
        out += "\n    " + f.explanation + "\n";
    }
    if (findings.empty()) out += "没有发现问题。\n";
    out += StatusText(Summarise(findings, CountPageCharacters(lines)), rules.PageCharacterLimit()) + "\n";
    return out;
}

}  // namespace mojian::check
