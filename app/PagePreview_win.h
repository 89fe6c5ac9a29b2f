// The whole page in the preview, block by block: the routines the copy and
// the preview button share. They act on Form1's page and preview.
#pragma once

#include <windows.h>

namespace mojian {

// Starts loading a blank page into the form's preview.
void ClearPreview(HWND form);

// Writes every resolved line's block into the preview's document, one
// writeln each, no frame, without opening or closing the document. Waits for
// the blank page of ClearPreview first, so no block lands in the old page.
void ShowPagePreview(HWND form);

}  // namespace mojian
