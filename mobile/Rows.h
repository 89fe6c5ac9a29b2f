// How plain each row of a painted band is, for the cut planner: a cut along
// a row of one colour is invisible once the pieces are stacked again, a cut
// along a busy row may split a picture's detail.
#pragma once

#include <vector>

#include "mobile/Seams.h"

namespace mojian::mobile {

// One value per row of `band`, top to bottom: 0 when every pixel of the row
// has the same colour, rising with how far its pixels stray from the row's
// typical colour (the mean over the row of each pixel's largest channel
// difference from the per-channel median, 0..255). A few stray pixels count
// little; a row half one colour and half another counts much. A band whose
// pixels do not match its size gives nothing.
std::vector<float> RowSpread(const Raster& band);

}  // namespace mojian::mobile
