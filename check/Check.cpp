#include "check/Check.h"

#include <algorithm>

#include "base/Utf.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "check/LineScan.h"
#include "check/Text.h"
#include "compose/Composition.h"
#include "html/Parser.h"

namespace mojian::check {

namespace {

// Why a line produces nothing, from its HTML and what its name resolves to.
std::string NothingDetail(std::string_view entry, std::optional<std::string_view> html) {
    if (html) return html->empty() ? "这一行的代码是空的" : "这一行只有空白";
    const ResolvedEntry r = ResolveEntry(entry);
    if (r.IsCustom()) return "自定义源码还没有内容";
    if (r.IsMine()) return "这个排版里没有我的模块“" + std::string(MineNameOf(entry)) + "”的代码";
    if (entry.empty()) return "名称是空的";
    return "“" + std::string(entry) + "”对不上任何模块";
}

// The byte offset of the code point numbered `n` (0-based) in `utf8`.
std::size_t OffsetOfCharacter(std::string_view utf8, std::size_t n) {
    std::size_t pos = 0;
    for (std::size_t i = 0; i < n && pos < utf8.size(); ++i) NextCodePoint(utf8, pos);
    return pos;
}

}  // namespace

std::vector<PageLine> LinesOf(const Composition& page) {
    std::vector<PageLine> lines;
    lines.reserve(page.Lines().size());
    for (std::size_t i = 0; i < page.Lines().size(); ++i) {
        const auto html = page.LineHtml(i);
        lines.push_back({page.Lines()[i], html ? std::optional<std::string>(*html) : std::nullopt});
    }
    return lines;
}

std::size_t CountCharacters(std::string_view utf8) {
    std::size_t n = 0, pos = 0;
    while (pos < utf8.size()) {
        NextCodePoint(utf8, pos);
        ++n;
    }
    return n;
}

std::size_t CountPageCharacters(const std::vector<PageLine>& lines) {
    std::size_t n = 0;
    for (const PageLine& l : lines)
        if (l.html) n += CountCharacters(*l.html);
    return n;
}

Checker::Checker(const RuleSet& rules, html::TextMeasurer& measurer, html::PictureSource& pictures)
    : rules_(rules), measurer_(measurer), pictures_(pictures) {}

std::vector<Finding> Checker::CheckLine(int index, std::string_view entry, std::optional<std::string_view> html) {
    std::vector<Finding> findings;
    const bool blank = html && TrimHtmlSpace(*html).empty();
    if (!html || blank) {
        for (const Rule& r : rules_.Rules()) {
            if (r.kind != RuleKind::EmptyLine) continue;
            Finding f{r.id, r.severity, index, std::string(entry), {}, r.title, NothingDetail(entry, html), r.explanation};
            findings.push_back(std::move(f));
        }
        return findings;
    }
    const html::Document doc = html::ParseHtml(*html);
    LineScan scan{*html, doc, {}, {}};
    CheckMarkup(rules_, scan);
    CheckLayout(rules_, scan, measurer_, pictures_);
    findings = std::move(scan.findings);
    // Source order; at one place, in the order of the rules.
    const auto rank = [&](const Finding& f) {
        const Rule* r = rules_.Find(f.rule);
        return r ? r - rules_.Rules().data() : 0;
    };
    std::stable_sort(findings.begin(), findings.end(), [&](const Finding& a, const Finding& b) {
        if (a.range.begin != b.range.begin) return a.range.begin < b.range.begin;
        return rank(a) < rank(b);
    });
    for (Finding& f : findings) {
        f.line = index;
        f.entry = std::string(entry);
    }
    return findings;
}

std::vector<Finding> Checker::CheckPageLength(const std::vector<PageLine>& lines) const {
    std::vector<Finding> findings;
    const std::size_t total = CountPageCharacters(lines);
    for (const Rule& r : rules_.Rules()) {
        const auto limit = static_cast<std::size_t>(r.number);
        if (r.kind == RuleKind::PageMinCharacters && total < limit) {
            findings.push_back({r.id, r.severity, -1, {}, {}, r.title,
                                "整页只有 " + GroupDigits(total) + " 个字符", r.explanation});
        } else if (r.kind == RuleKind::PageMaxCharacters && total > limit) {
            // Point at the first character past the limit.
            std::size_t before = 0;
            for (std::size_t i = 0; i < lines.size(); ++i) {
                if (!lines[i].html) continue;
                const std::string& h = *lines[i].html;
                const std::size_t n = CountCharacters(h);
                if (before + n > limit) {
                    const std::size_t at = OffsetOfCharacter(h, limit - before);
                    findings.push_back({r.id, r.severity, static_cast<int>(i), lines[i].entry, {at, h.size()}, r.title,
                                        "整页 " + GroupDigits(total) + " 个字符，超出 " + GroupDigits(total - limit) +
                                            " 个；从这一行起超出",
                                        r.explanation});
                    break;
                }
                before += n;
            }
        }
    }
    return findings;
}

std::vector<Finding> Checker::CheckPage(const std::vector<PageLine>& lines) {
    std::vector<Finding> findings = CheckPageLength(lines);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto& h = lines[i].html;
        auto line = CheckLine(static_cast<int>(i), lines[i].entry, h ? std::optional<std::string_view>(*h) : std::nullopt);
        findings.insert(findings.end(), std::make_move_iterator(line.begin()), std::make_move_iterator(line.end()));
    }
    return findings;
}

Summary Summarise(const std::vector<Finding>& findings, std::size_t characters) {
    Summary s;
    s.characters = characters;
    for (const Finding& f : findings) (f.severity == Severity::Error ? s.errors : s.warnings)++;
    return s;
}

std::string GroupDigits(std::size_t n) {
    std::string digits = std::to_string(n);
    for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
    return digits;
}

std::string StatusText(const Summary& s, std::size_t limit) {
    std::string text = GroupDigits(s.characters);
    if (limit > 0) text += " / " + GroupDigits(limit);
    text += " 字 · " + std::to_string(s.errors) + " 个错误 · " + std::to_string(s.warnings) + " 个提示";
    return text;
}

}  // namespace mojian::check
