// The preview's view where the system has no HTML engine: a child window
// that shows an HTML fragment or document laid out, with vertical scrolling
// (and sideways when the description's column is wider than the view).
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "html/PictureSource.h"

namespace mojian::html {

inline constexpr wchar_t kHtmlViewClass[] = L"MojianHtmlView";

// Registers the window class once per process; safe to call again.
bool RegisterHtmlViewClass(HINSTANCE instance);

// A visible child of `parent` at the given client position, in pixels.
HWND CreateHtmlView(HWND parent, int id, int x, int y, int width, int height);

// Shows `utf8Html` (the preview document's whole current source) in place of
// what the view showed before, scrolled to the top.
void HtmlViewSetHtml(HWND view, const std::string& utf8Html);

// Where the view gets its pictures from; null (the start) means none, so
// every picture is a broken-picture box. Lays the page out again.
void HtmlViewSetPictureSource(HWND view, std::shared_ptr<PictureSource> pictures);

// Makes the view load the pictures of what it shows itself: off its thread,
// downloads kept in the user's picture folder (%LOCALAPPDATA%\墨笺\pictures),
// the page laid out again as they arrive, where it is scrolled to. False
// when the loader cannot be made (the view then shows broken pictures).
bool HtmlViewLoadPictures(HWND view);

class PictureLoader;
class WinPictureBackend;
// The same with a loader of the caller's (its own limits and disk cache);
// the view takes the backend's notices.
void HtmlViewUsePictureLoader(HWND view, std::shared_ptr<PictureLoader> loader,
                              std::shared_ptr<WinPictureBackend> backend);

// Lays the page out for a description column `px` pixels wide, as the item
// page shows it: the body is that wide (the view's margins around it)
// whatever the view's own width, and a view narrower than that scrolls
// sideways. 0, the start: the page takes the view's width.
void HtmlViewSetColumnWidth(HWND view, int px);

// Lays the current document out again where it is scrolled to, for when
// what the picture source knows has changed: what was at the top of the
// view stays there.
void HtmlViewRelayout(HWND view);

// How many times the view has laid its page out, for tests and benchmarks.
int HtmlViewLayoutCount(HWND view);

// Scrolls to `y` pixels from the top (kept within the page), as the scroll
// bar would: for a document shown again after a small change.
void HtmlViewScrollTo(HWND view, int y);

// How far the view is scrolled, and the laid-out page's height, in pixels.
int HtmlViewScrollPos(HWND view);
int HtmlViewPageHeight(HWND view);
// The width the page was last laid out at (the column and the margins, or
// the view's width), and how far the view is scrolled sideways.
int HtmlViewLayoutWidth(HWND view);
int HtmlViewScrollX(HWND view);

}  // namespace mojian::html
