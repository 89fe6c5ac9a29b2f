// Builds the box tree of a document: a block box for the root, block and
// table boxes for block-level elements, picture boxes, and for every block
// whose content is inline, its measured atoms (anonymous blocks wrap inline
// runs that sit between blocks). Hidden elements get no box.
#pragma once

#include "html/Box.h"
#include "html/Dom.h"
#include "html/LayoutContext.h"

namespace mojian::html {

// The root box for the children of `body`, with the page margin on every
// side. The boxes belong to `ctx`.
Box* BuildBoxTree(LayoutContext& ctx, const Node& body, float margin, float zoom = 1);

}  // namespace mojian::html
