#include "html/Layout.h"

#include <algorithm>
#include <cmath>

#include "html/BlockLayout.h"
#include "html/BoxTree.h"
#include "html/LayoutContext.h"
#include "html/Painting.h"

namespace mojian::html {

PageLayout LayoutDocument(const Document& document, const LayoutOptions& options, TextMeasurer& measurer,
                          PictureSource& pictures) {
    PageLayout out;
    LayoutContext ctx(measurer, pictures, out, options.compat.value_or(document.compat));
    const float zoom = std::isfinite(options.zoom) && options.zoom > 0 ? options.zoom : 1.0f;
    Box* top = BuildBoxTree(ctx, *document.body, std::max(0.0f, options.margin), zoom);
    const float width = std::max(1.0f, options.width);
    LayoutBox(ctx, *top, width, false);
    // The body's margins, with those of its first and last children that collapse with them.
    top->x = MarginPx(*top, 3, width);
    top->y = std::max(0.0f, top->marginTop.Value());
    PaintBoxes(ctx, *top, top->x, top->y, options.recordEveryBox);
    out.width = width;
    out.height = std::max(0.0f, top->y + top->h + top->marginBottom.Value());
    return out;
}

PageLayout LayoutDocument(const Document& document, const LayoutOptions& options, TextMeasurer& measurer) {
    NoPictures none;
    return LayoutDocument(document, options, measurer, none);
}

}  // namespace mojian::html
