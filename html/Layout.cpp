#include "html/Layout.h"

#include <algorithm>

#include "html/BlockLayout.h"
#include "html/BoxTree.h"
#include "html/LayoutContext.h"
#include "html/Painting.h"

namespace mojian::html {

PageLayout LayoutDocument(const Document& document, const LayoutOptions& options, TextMeasurer& measurer,
                          PictureSource& pictures) {
    PageLayout out;
    LayoutContext ctx(measurer, pictures, out);
    Box* top = BuildBoxTree(ctx, *document.body, std::max(0.0f, options.margin));
    const float width = std::max(1.0f, options.width);
    LayoutBox(ctx, *top, width, false);
    top->x = options.margin;
    top->y = options.margin;
    PaintBoxes(ctx, *top, top->x, top->y, options.recordEveryBox);
    out.width = width;
    out.height = std::max(0.0f, top->h + 2 * options.margin);
    return out;
}

PageLayout LayoutDocument(const Document& document, const LayoutOptions& options, TextMeasurer& measurer) {
    NoPictures none;
    return LayoutDocument(document, options, measurer, none);
}

}  // namespace mojian::html
