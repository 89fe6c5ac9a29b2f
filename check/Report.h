// The findings as text and as JSON: what `mojian check` prints.
//
// The JSON form (`--json`) is one object:
//   {
//     "format": "mojian-check", "version": 1,
//     "characters": 12345,        code points of the page HTML
//     "limit": 25000,             the page-length limit; null when the rules have none
//     "errors": 2, "warnings": 5,
//     "findings": [               page-wide findings first, then by line and position
//       {
//         "rule": "event-attribute",
//         "severity": "error",    or "warning"
//         "title": "事件属性",
//         "line": 3,              1-based composition line; null for the whole page
//         "entry": "自定义源码-1", that line's entry name; null for the whole page
//         "begin": 120,           the range in that line's HTML: UTF-8 byte offsets,
//         "end": 141,             end exclusive (0 and 0 for the whole page)
//         "row": 5,               where the range begins in that HTML: 1-based row
//         "column": 12,           and column, counted in characters; null for the whole page
//         "text": "onclick=\"x\"", the source in the range (at most 200 characters, "…" after a cut)
//         "detail": "onclick",    what exactly was found
//         "explanation": "…"      the rule's explanation: what to do
//       }
//     ]
//   }
// The text form: one entry per finding (severity, line and entry name,
// row:column, title, detail, then the explanation indented), and the status
// line last ("12,345 / 25,000 字 · 2 个错误 · 5 个提示").
#pragma once

#include <string>
#include <vector>

#include "check/Check.h"

namespace mojian::check {

// `lines` are the lines the findings were made from (for the source texts
// and positions); `rules` give the page-length limit.
std::string ReportJson(const std::vector<Finding>& findings, const std::vector<PageLine>& lines, const RuleSet& rules);
std::string ReportText(const std::vector<Finding>& findings, const std::vector<PageLine>& lines, const RuleSet& rules);

}  // namespace mojian::check
