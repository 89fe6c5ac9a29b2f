// The mobile description made from a page, on Windows: the page's pictures
// loaded (through the picture cache on disk), the page laid out at its
// column's width, its geometry read, painted at the output's width with GDI
// a band at a time, cut, encoded with WIC and written with its contact sheet.
// The window's dialog and the mojian command both call this; it blocks, so
// the window calls it on a thread of its own (COM is joined on that thread).
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "base/DescriptionWidth.h"
#include "mobile/Pack.h"

namespace mojian::mobile {

// What the seller sees while it works, stage by stage.
enum class MakeStage : std::uint8_t { Pictures, Scanning, Encoding, Writing };

struct MakeRequest {
    std::string pageHtml;                  // the page as a copy gives it (Composition::PageHtml())
    std::vector<std::size_t> lineOffsets;  // where each composition line begins in it (LineOffsets)
    // The page is a whole HTML document of its own (IsWholeDocument), not a
    // description: laid out as a browser shows it, in the mode its doctype
    // asks for and with the body's default margin.
    bool wholeDocument = false;
    DescriptionWidth column = kDefaultDescriptionWidth;  // the page's own column: 750 or 790
    int outputWidth = 750;                 // the pictures' width: 750 or 1,242
    std::string folder;                    // the folder to make (UTF-8)
    bool overwrite = false;                // the seller agreed to replace an existing folder
    FormatChoice format = FormatChoice::Auto;
    int maxHeight = 0;                     // the seller's own limit; 0: the rules'
    // Pictures that cannot be loaded stop the work (listed in the outcome)
    // unless the seller chose to go on with broken boxes in their place.
    bool goOnWithBrokenPictures = false;
    // Stage and fraction (0..1); called on the working thread.
    std::function<void(MakeStage, double)> progress;
    const std::atomic<bool>* cancel = nullptr;
};

struct MakeOutcome {
    PackResult pack;                          // ok when the folder was written
    std::vector<std::string> failedPictures;  // addresses that could not be loaded
    bool stoppedForPictures = false;          // nothing made: pictures failed and the seller did not go on
    std::string contactSheet;                 // the contact sheet's file in the folder, when one was made
};

MakeOutcome MakeMobileDescription(const MakeRequest& request);

}  // namespace mojian::mobile
