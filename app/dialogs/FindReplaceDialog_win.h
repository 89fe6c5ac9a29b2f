// 查找和替换: a modal dialog (IDD_FINDREPLACE) that finds a text, a piece
// of a picture address or of a link address across the page, lists every
// match (line, entry name, the text around it) before anything changes,
// and replaces them all as one step.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

#include "fill/PageFill.h"

namespace mojian {

// What the dialog last held, kept by the window for the next time.
struct FindReplaceMemory {
    fill::FieldKind kind = fill::FieldKind::Text;
    std::string find, replacement;
    bool matchCase = true;
};

// The page the dialog works on.
struct FindReplaceHost {
    std::function<fill::PageFind(const fill::FindQuery&)> find;
    // Replaces every match as one step; the window reflects the change.
    std::function<fill::PageChange(const fill::FindQuery&, const std::string& replacement)> replaceAll;
    // A double click on a match: the window selects and previews that line.
    std::function<void(std::size_t line)> showLine;
};

void ShowFindReplaceDialog(HWND owner, const FindReplaceHost& host, FindReplaceMemory& memory);

}  // namespace mojian
