// 发布检查: the findings of the publish check in a window of its own, beside
// the main window (not modal, so the user can fix the page while it shows).
// A list view: severity, line, rule, explanation; the selected finding's
// whole explanation below it. A double click on a finding, or Enter, asks
// the owner to go to its line; Esc closes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "check/Check.h"

namespace mojian {

// Sent to the owner: wParam is the finding's line (0-based) to select and preview.
inline constexpr UINT kMsgCheckReportGoToLine = WM_APP + 31;
// Sent to the owner while the report is being destroyed.
inline constexpr UINT kMsgCheckReportClosed = WM_APP + 32;

// The report over `owner`, hidden until filled and shown; null when it
// could not be made.
HWND CreateCheckReport(HWND owner);

// Shows `findings` (or, with none, that there are none) under `summary`.
// The selected row stays where it was when the list is refilled.
void FillCheckReport(HWND report, const std::wstring& summary, const std::vector<check::Finding>& findings);

// What the report's list shows, row by row, each as its four columns (for
// the tests and the curious).
std::vector<std::vector<std::wstring>> CheckReportRows(HWND report);

}  // namespace mojian
