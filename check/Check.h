// The publish check: the page held against the marketplace's rules
// (check/Rules.h) before it is pasted. Portable; the window, the `mojian
// check` command and the tests all run this.
//
// Input: the composition's lines, each with its entry name and the HTML it
// contributes to the page as the page assembly takes it (LinesOf). Output:
// findings, each with its rule, severity, line, entry name, the byte range
// in that line's HTML and the rule's Chinese explanation.
//
// Findings of one line depend only on that line's HTML (and on what the
// picture source knows of its pictures), never on the other lines, except
// the page-wide length rules. So a window can keep each line's findings
// keyed by the line's HTML, check again only the lines that changed (and
// the lines whose pictures the source has since learned the size of), and
// run CheckPageLength over the whole page on every change, which costs a
// count of its characters:
//
//     Checker checker(RuleSet::BuiltIn(), measurer, pictures);
//     std::vector<Finding> line = checker.CheckLine(i, entry, html);  // per changed line
//     std::vector<Finding> page = checker.CheckPageLength(lines);      // every change
//     Summary s = Summarise(allFindings, CountPageCharacters(lines));
//     status = StatusText(s, RuleSet::BuiltIn().PageCharacterLimit());
//
// Threads: a Checker uses its measurer and picture source and nothing else
// that changes; rule sets are immutable and the placeholders of the built-in
// blocks are derived once, thread-safely. A Checker with its own measurer
// can run on a worker thread while the GUI thread edits the page.
//
// Speed (natively, Release): a page of 25,000 characters in about 3 ms,
// layout included; one changed 9 KB block and the page length in about
// 1 ms. The first check of a run also reads the rules and derives the
// placeholders from the ninety blocks, about 12 ms: a window can do that
// once at start on a worker thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check/Rules.h"
#include "html/Dom.h"
#include "html/PictureSource.h"
#include "html/TextMeasurer.h"

namespace mojian {
class Composition;
}

namespace mojian::check {

// One line of the composition as the page takes it.
struct PageLine {
    std::string entry;                // the entry name, as the list shows it
    std::optional<std::string> html;  // nothing: the line produces nothing
};

// The lines of the composition, in list order, each with Composition::LineHtml.
std::vector<PageLine> LinesOf(const Composition& page);

struct Finding {
    std::string rule;  // the rule's id
    Severity severity = Severity::Error;
    // The composition line (0-based index in the list); -1 for a finding
    // about the whole page (a page too short).
    int line = -1;
    std::string entry;  // that line's entry name; empty for the whole page
    // Bytes of that line's HTML the finding is about ([begin, end), UTF-8
    // offsets). What each rule points at:
    //   elements: the start tag            attributes, addresses: the attribute (name="value")
    //   drawn width: the element's start tag (the whole element when it has none, as a fragment's body)
    //   placeholder text: the placeholder itself when the source writes it as
    //     such, else the whole text run       a line producing nothing: empty at 0
    //   a page too long: from the first character past the limit to the end of its line
    html::SourceRange range;
    std::string title;        // the rule's short name
    std::string detail;       // what exactly: "onclick", "画出来宽 806 像素"...
    std::string explanation;  // the rule's explanation: what to do

    friend bool operator==(const Finding&, const Finding&) = default;
};

// Code points of UTF-8 text, as the page-length rules count characters (an
// ill-formed byte counts as one).
std::size_t CountCharacters(std::string_view utf8);
std::size_t CountPageCharacters(const std::vector<PageLine>& lines);

class Checker {
public:
    // Layout measures text with `measurer` and sizes pictures with what
    // `pictures` knows; both must outlive the checker and be usable on the
    // thread it runs on.
    Checker(const RuleSet& rules, html::TextMeasurer& measurer, html::PictureSource& pictures);

    // One line's findings, in source order. `html` nothing (or only white
    // space): the line produces nothing.
    std::vector<Finding> CheckLine(int index, std::string_view entry, std::optional<std::string_view> html);
    // The page-wide length rules over all lines.
    std::vector<Finding> CheckPageLength(const std::vector<PageLine>& lines) const;
    // Everything: the page-wide findings, then every line's in list order.
    std::vector<Finding> CheckPage(const std::vector<PageLine>& lines);

    const RuleSet& Rules() const { return rules_; }

private:
    const RuleSet& rules_;
    html::TextMeasurer& measurer_;
    html::PictureSource& pictures_;
};

struct Summary {
    std::size_t characters = 0;
    int errors = 0;
    int warnings = 0;
};
Summary Summarise(const std::vector<Finding>& findings, std::size_t characters);

// The status bar's words: "12,345 / 25,000 字 · 2 个错误 · 5 个提示" (without
// a limit: "12,345 字 · …").
std::string StatusText(const Summary& summary, std::size_t limit);

// Thousands separated by commas: 12345 -> "12,345".
std::string GroupDigits(std::size_t n);

}  // namespace mojian::check
