// The page's links as hot areas of the pieces: each link's rectangles cut
// to every piece they fall on, relative to that piece (0..1), rectangles of
// one address that touch merged into one. Addresses the publish check
// refuses, and addresses a phone cannot open from a picture, are left out
// and listed with the reason.
#pragma once

#include <string>
#include <vector>

#include "mobile/Geometry.h"

namespace mojian::mobile {

struct HotArea {
    double x = 0, y = 0, w = 0, h = 0;  // relative to the piece: x by its width, y by its height
    std::string href;
};

struct LeftOutLink {
    std::string href;
    std::string reason;  // Chinese
};

struct HotAreaPlan {
    std::vector<std::vector<HotArea>> pieces;  // one list per piece, top to bottom
    std::vector<LeftOutLink> leftOut;          // each address once
};

// Why the address cannot be a hot area, empty when it can; `address`
// becomes what the hot area links to (scheme-relative addresses get https).
std::string RefuseAddress(std::string& address);

// `links` in output pixels on a page `width` x `height`, cut at `cuts` as
// PlanCuts gives them.
HotAreaPlan MapHotAreas(const std::vector<PageLink>& links, const std::vector<int>& cuts, int width, int height);

}  // namespace mojian::mobile
