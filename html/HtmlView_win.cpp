// The preview's HTML view: parses the document it is given, lays it out for
// its own width and paints it with GDI, scrolling vertically.
#include "html/HtmlView_win.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <system_error>

#include "base/WindowClass_win.h"
#include "html/GdiFonts_win.h"
#include "html/GdiPaint_win.h"
#include "html/Layout.h"
#include "html/Parser.h"
#include "html/PictureLoader_win.h"

namespace mojian::html {

namespace {

constexpr int kPageMargin = 8;
constexpr int kLineStep = 40;  // pixels per scroll-bar arrow click
constexpr int kPaintBandRows = 96;  // rows drawn off screen at a time
// The view's own loader tells it of arrived pictures with this message.
constexpr UINT kMsgPicturesChanged = WM_APP + 0x50;
// Pictures resampled on the view's resampling thread are ready.
constexpr UINT kMsgResampled = WM_APP + 0x51;

// Everything one view owns, kept with its window, freed at WM_NCDESTROY.
struct ViewState {
    GdiFonts fonts;
    ScaledPictures scaled;
    // Resamples pictures for painting off the window's thread; made at WM_CREATE, gone at WM_DESTROY.
    std::unique_ptr<ResampleQueue> resampler;
    std::shared_ptr<PictureSource> pictures = std::make_shared<NoPictures>();
    // The view's own loader, when it loads pictures itself (then also `pictures`).
    std::shared_ptr<WinPictureBackend> backend;
    std::shared_ptr<PictureLoader> loader;
    std::unique_ptr<Document> document;
    PageLayout page;
    int layoutWidth = -1;
    int column = 0;  // the description's column in pixels; 0: the view's width
    int scrollY = 0;
    int scrollX = 0;
    int layouts = 0;
};

ViewState* StateOf(HWND hwnd) { return reinterpret_cast<ViewState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

int ClientWidth(HWND hwnd) {
    RECT rc{};
    GetClientRect(hwnd, &rc);
    return rc.right - rc.left;
}

int ClientHeight(HWND hwnd) {
    RECT rc{};
    GetClientRect(hwnd, &rc);
    return rc.bottom - rc.top;
}

// The page's height in whole pixels, within what a scroll bar can express.
int PageHeight(const ViewState& s) { return static_cast<int>(std::ceil(std::clamp(s.page.height, 0.0f, 1.0e8f))); }

int MaxScroll(HWND hwnd, const ViewState& s) { return std::max(0, PageHeight(s) - ClientHeight(hwnd)); }

// The width to lay the page out at: the column with the margins on either side, or the view's.
int WantedWidth(HWND hwnd, const ViewState& s) {
    return s.column > 0 ? s.column + 2 * kPageMargin : std::max(1, ClientWidth(hwnd));
}

int MaxScrollX(HWND hwnd, const ViewState& s) { return std::max(0, s.layoutWidth - ClientWidth(hwnd)); }

// Where a scroll bar's request takes the page, down or across alike (the
// codes of SB_LINEUP..SB_BOTTOM are those of SB_LINELEFT..SB_RIGHT).
int ScrollBarTarget(WPARAM wp, int now, int client, int maxScroll, int trackPos) {
    const int page = std::max(kLineStep, client - kLineStep);
    switch (LOWORD(wp)) {
    case SB_LINEUP: return now - kLineStep;
    case SB_LINEDOWN: return now + kLineStep;
    case SB_PAGEUP: return now - page;
    case SB_PAGEDOWN: return now + page;
    case SB_TOP: return 0;
    case SB_BOTTOM: return maxScroll;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: return trackPos;
    default: return now;
    }
}

// Sideways only when the column is wider than the view: the bar comes and
// goes with that (a view as wide as its page never has one).
void UpdateSideBar(HWND hwnd, ViewState& s) {
    s.scrollX = std::clamp(s.scrollX, 0, MaxScrollX(hwnd, s));
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    const bool wide = s.column > 0 && MaxScrollX(hwnd, s) > 0;
    si.nMax = wide ? s.layoutWidth - 1 : 0;
    si.nPage = wide ? static_cast<UINT>(std::max(0, ClientWidth(hwnd))) : 1;  // all in view: no bar
    si.nPos = s.scrollX;
    SCROLLINFO now{};
    now.cbSize = sizeof now;
    now.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    if (GetScrollInfo(hwnd, SB_HORZ, &now) ? (now.nMax == si.nMax && now.nPage == si.nPage && now.nPos == si.nPos)
                                           : !wide)
        return;
    SetScrollInfo(hwnd, SB_HORZ, &si, TRUE);
}

void UpdateScrollBar(HWND hwnd, ViewState& s) {
    s.scrollY = std::clamp(s.scrollY, 0, MaxScroll(hwnd, s));
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    // The bar is always there (disabled when all fits), so the width we lay
    // out for never changes with the page's height.
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    si.nMin = 0;
    si.nMax = std::max(0, PageHeight(s) - 1);
    si.nPage = static_cast<UINT>(std::max(0, ClientHeight(hwnd)));
    si.nPos = s.scrollY;
    // Setting the bar repaints the whole frame even when nothing changed, and
    // most previews fit the view as the last one did: skip it then.
    SCROLLINFO now{};
    now.cbSize = sizeof now;
    now.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    if (GetScrollInfo(hwnd, SB_VERT, &now) && now.nMin == si.nMin && now.nMax == si.nMax && now.nPage == si.nPage &&
        now.nPos == si.nPos)
        return;
    // Drawn with the next paint rather than now: redrawing the bar at once
    // costs a round trip to the display for every picture that arrives.
    SetScrollInfo(hwnd, SB_VERT, &si, FALSE);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_NOCHILDREN);
}

// What is at the top of the view: the first recorded box that reaches
// below the scroll position, and how far below the top it starts.
struct Anchor {
    std::size_t index = 0;
    float offset = 0;
    bool found = false;
};

Anchor FindAnchor(const ViewState& s) {
    Anchor a;
    if (s.scrollY <= 0) return a;  // at the top, the page stays at the top
    const auto y = static_cast<float>(s.scrollY);
    for (std::size_t i = 0; i < s.page.boxes.size(); ++i) {
        const Rect& r = s.page.boxes[i].rect;
        if (r.Bottom() > y && r.h > 0) {
            a = {i, r.y - y, true};
            if (r.y >= y) break;
            // Reaching across the top: a box inside it may start closer below.
        }
    }
    return a;
}

void Relayout(HWND hwnd, ViewState& s) {
    const int width = WantedWidth(hwnd, s);
    const bool sameWidth = s.layoutWidth == width;
    const Anchor anchor = sameWidth ? FindAnchor(s) : Anchor{};
    const std::size_t boxes = s.page.boxes.size();
    s.layoutWidth = width;
    if (!s.document) {
        s.page = PageLayout{};
    } else {
        LayoutOptions options;
        options.width = static_cast<float>(width);
        options.margin = kPageMargin;
        s.page = LayoutDocument(*s.document, options, s.fonts, *s.pictures);
        ++s.layouts;
    }
    // Pictures arriving above the top move the page under it; keep what the
    // user was looking at where it was.
    if (anchor.found && s.page.boxes.size() == boxes && anchor.index < boxes)
        s.scrollY = static_cast<int>(std::lround(s.page.boxes[anchor.index].rect.y - anchor.offset));
    UpdateScrollBar(hwnd, s);
    UpdateSideBar(hwnd, s);
    InvalidateRect(hwnd, nullptr, FALSE);
}

// The loader has news: lay out again when an arrival changes a box's size,
// else only repaint the pictures that came.
void PicturesChanged(HWND hwnd, ViewState& s) {
    if (!s.loader) return;
    const std::vector<std::string> changed = s.loader->TakeChanged();
    bool repaint = false, relayout = false;
    for (const std::string& url : changed) {
        for (const PictureUse& use : s.page.pictures) {
            if (use.url != url) continue;
            repaint = true;
            const PictureInfo now = s.pictures->Query(url);
            if (use.sizesLayout && (now.state != use.info.state || now.width != use.info.width ||
                                    now.height != use.info.height))
                relayout = true;
        }
    }
    if (relayout) Relayout(hwnd, s);
    else if (repaint) InvalidateRect(hwnd, nullptr, FALSE);
}

void StopLoading(ViewState& s) {
    if (s.backend) s.backend->SetNotifyWindow(nullptr, 0);
    s.loader.reset();
    s.backend.reset();
}

void ScrollTo(HWND hwnd, ViewState& s, int y) {
    y = std::clamp(y, 0, MaxScroll(hwnd, s));
    if (y == s.scrollY) return;
    const int dy = s.scrollY - y;
    s.scrollY = y;
    UpdateScrollBar(hwnd, s);
    // Move what is already painted; only the uncovered strip is repainted.
    ScrollWindowEx(hwnd, 0, dy, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE);
    UpdateWindow(hwnd);
}

void ScrollXTo(HWND hwnd, ViewState& s, int x) {
    x = std::clamp(x, 0, MaxScrollX(hwnd, s));
    if (x == s.scrollX) return;
    const int dx = s.scrollX - x;
    s.scrollX = x;
    UpdateSideBar(hwnd, s);
    ScrollWindowEx(hwnd, dx, 0, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE);
    UpdateWindow(hwnd);
}

// Draws `area` of the client into `dc`, off screen first so a repaint never
// flickers, a band of rows at a time: a buffer as large as the view stays
// in the process's memory under Wine (a megabyte and more) once drawn.
void Draw(HDC dc, const RECT& area, ViewState& s) {
    const int w = area.right - area.left, h = area.bottom - area.top;
    if (w <= 0 || h <= 0) return;
    const int band = std::min(h, kPaintBandRows);
    const Surface buffer(CreateMemoryDc(dc), Bitmap(CreateCompatibleBitmap(dc, w, band)));
    if (buffer) {
        for (int top = area.top; top < area.bottom; top += band) {
            const int rows = std::min(band, static_cast<int>(area.bottom) - top);
            const RECT local{0, 0, w, rows};
            FillRect(buffer.dc(), &local, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            PaintLayout(buffer.dc(), s.page, s.fonts, *s.pictures, s.scaled, -area.left - s.scrollX, -top - s.scrollY,
                        local);
            BitBlt(dc, area.left, top, w, rows, buffer.dc(), 0, 0, SRCCOPY);
        }
    } else {
        FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        PaintLayout(dc, s.page, s.fonts, *s.pictures, s.scaled, -s.scrollX, -s.scrollY, area);
    }
}

LRESULT CALLBACK HtmlViewProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    ViewState* s = StateOf(hwnd);
    switch (msg) {
    case WM_NCCREATE: {
        auto* state = new (std::nothrow) ViewState;
        if (!state) return FALSE;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    case WM_DESTROY:
        if (s) {
            // No notice may come to a window that is gone.
            StopLoading(*s);
            s->scaled.UseQueue(nullptr);
            s->resampler.reset();
        }
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        delete s;
        return DefWindowProcW(hwnd, msg, wp, lp);
    case kMsgPicturesChanged:
        if (s) PicturesChanged(hwnd, *s);
        return 0;
    case kMsgResampled:
        if (s && s->resampler && s->scaled.Adopt(s->resampler->TakeDone())) InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_CREATE:
        if (s) {
            try {
                s->resampler = std::make_unique<ResampleQueue>([hwnd] { PostMessageW(hwnd, kMsgResampled, 0, 0); });
                s->scaled.UseQueue(s->resampler.get());
            } catch (const std::system_error&) {
                // No thread to be had: pictures are resampled as they are painted.
            }
            UpdateScrollBar(hwnd, *s);
        }
        return 0;
    case WM_SIZE:
        if (s) {
            if (WantedWidth(hwnd, *s) != s->layoutWidth) {
                Relayout(hwnd, *s);
            } else {
                UpdateScrollBar(hwnd, *s);
                UpdateSideBar(hwnd, *s);
            }
        }
        return 0;
    case WM_ERASEBKGND:
        return 1;  // WM_PAINT covers every pixel
    case WM_PAINT:
        if (s) {
            const PaintDc paint(hwnd);
            Draw(paint.get(), paint.area(), *s);
            return 0;
        }
        break;
    case WM_PRINTCLIENT:
        if (s) {
            RECT rc{};
            GetClientRect(hwnd, &rc);
            s->scaled.SetImmediate(true);  // a picture of the view is taken whole
            Draw(reinterpret_cast<HDC>(wp), rc, *s);
            s->scaled.SetImmediate(false);
            return 0;
        }
        break;
    case WM_VSCROLL:
        if (s) {
            SCROLLINFO si{};
            si.cbSize = sizeof si;
            si.fMask = SIF_ALL;
            GetScrollInfo(hwnd, SB_VERT, &si);
            ScrollTo(hwnd, *s, ScrollBarTarget(wp, s->scrollY, ClientHeight(hwnd), MaxScroll(hwnd, *s), si.nTrackPos));
        }
        return 0;
    case WM_HSCROLL:
        if (s) {
            SCROLLINFO si{};
            si.cbSize = sizeof si;
            si.fMask = SIF_ALL;
            GetScrollInfo(hwnd, SB_HORZ, &si);
            ScrollXTo(hwnd, *s, ScrollBarTarget(wp, s->scrollX, ClientWidth(hwnd), MaxScrollX(hwnd, *s), si.nTrackPos));
        }
        return 0;
    case WM_MOUSEHWHEEL:
        if (s) ScrollXTo(hwnd, *s, s->scrollX + GET_WHEEL_DELTA_WPARAM(wp) * kLineStep / WHEEL_DELTA);
        return 0;
    case WM_MOUSEWHEEL:
        if (s) {
            UINT lines = 3;
            SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
            if (lines == WHEEL_PAGESCROLL) lines = 10;
            const int delta = GET_WHEEL_DELTA_WPARAM(wp);
            ScrollTo(hwnd, *s, s->scrollY - delta * static_cast<int>(lines) * 20 / WHEEL_DELTA);
        }
        return 0;
    case WM_LBUTTONDOWN:
        SetFocus(hwnd);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case WM_KEYDOWN:
        if (s) {
            const int page = std::max(kLineStep, ClientHeight(hwnd) - kLineStep);
            switch (wp) {
            case VK_UP: ScrollTo(hwnd, *s, s->scrollY - kLineStep); return 0;
            case VK_DOWN: ScrollTo(hwnd, *s, s->scrollY + kLineStep); return 0;
            case VK_PRIOR: ScrollTo(hwnd, *s, s->scrollY - page); return 0;
            case VK_NEXT: ScrollTo(hwnd, *s, s->scrollY + page); return 0;
            case VK_LEFT: ScrollXTo(hwnd, *s, s->scrollX - kLineStep); return 0;
            case VK_RIGHT: ScrollXTo(hwnd, *s, s->scrollX + kLineStep); return 0;
            case VK_HOME: ScrollTo(hwnd, *s, 0); return 0;
            case VK_END: ScrollTo(hwnd, *s, MaxScroll(hwnd, *s)); return 0;
            default: break;
            }
        }
        break;
    case WM_CONTEXTMENU:
        return 0;  // the preview has no context menu
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

bool RegisterHtmlViewClass(HINSTANCE instance) { return EnsureWindowClass(instance, kHtmlViewClass, HtmlViewProc); }

HWND CreateHtmlView(HWND parent, int id, int x, int y, int width, int height) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    if (!RegisterHtmlViewClass(instance)) return nullptr;
    return CreateWindowExW(0, kHtmlViewClass, L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP, x, y, width,
                           height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

void HtmlViewSetHtml(HWND view, const std::string& utf8Html) {
    ViewState* s = StateOf(view);
    if (!s) return;
    s->document = std::make_unique<Document>(ParseHtml(utf8Html));
    s->scrollY = 0;
    s->scrollX = 0;
    // Pictures the old page still waits for are not fetched; the new layout
    // asks again for the ones it shows too.
    if (s->loader) s->loader->DropQueued();
    if (s->resampler) s->resampler->DropWaiting();
    Relayout(view, *s);
}

void HtmlViewSetPictureSource(HWND view, std::shared_ptr<PictureSource> pictures) {
    ViewState* s = StateOf(view);
    if (!s) return;
    StopLoading(*s);
    s->scaled.Clear();
    s->pictures = pictures ? std::move(pictures) : std::make_shared<NoPictures>();
    Relayout(view, *s);
}

bool HtmlViewLoadPictures(HWND view) {
    ViewState* s = StateOf(view);
    if (!s) return false;
    if (s->loader) return true;
    auto backend = std::make_shared<WinPictureBackend>();
    HtmlViewUsePictureLoader(
        view, std::make_shared<PictureLoader>(PictureLoaderOptions{}, backend, OpenPictureFolder(DefaultPictureFolder())),
        backend);
    return true;
}

void HtmlViewUsePictureLoader(HWND view, std::shared_ptr<PictureLoader> loader,
                              std::shared_ptr<WinPictureBackend> backend) {
    ViewState* s = StateOf(view);
    if (!s || !loader || !backend) return;
    StopLoading(*s);
    s->scaled.Clear();
    s->backend = std::move(backend);
    s->loader = loader;
    s->pictures = std::move(loader);
    s->backend->SetNotifyWindow(view, kMsgPicturesChanged);
    s->loader->NotifyIfChanged();
    Relayout(view, *s);
}

void HtmlViewSetColumnWidth(HWND view, int px) {
    ViewState* s = StateOf(view);
    if (!s) return;
    px = std::clamp(px, 0, 100000);
    if (px == s->column) return;
    s->column = px;
    Relayout(view, *s);
}

void HtmlViewRelayout(HWND view) {
    if (ViewState* s = StateOf(view)) Relayout(view, *s);
}

int HtmlViewLayoutCount(HWND view) {
    const ViewState* s = StateOf(view);
    return s ? s->layouts : 0;
}

void HtmlViewScrollTo(HWND view, int y) {
    if (ViewState* s = StateOf(view)) ScrollTo(view, *s, y);
}

int HtmlViewScrollPos(HWND view) {
    const ViewState* s = StateOf(view);
    return s ? s->scrollY : 0;
}

int HtmlViewPageHeight(HWND view) {
    const ViewState* s = StateOf(view);
    return s ? PageHeight(*s) : 0;
}

int HtmlViewLayoutWidth(HWND view) {
    const ViewState* s = StateOf(view);
    return s ? s->layoutWidth : 0;
}

int HtmlViewScrollX(HWND view) {
    const ViewState* s = StateOf(view);
    return s ? s->scrollX : 0;
}

}  // namespace mojian::html
