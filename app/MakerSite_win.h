// The maker's web site, opened from the window's link and from 关于墨笺.
#pragma once

namespace mojian {

// Runs `explorer` with the site's address, minimised with focus; the system
// opens the address in the user's browser. Nothing is reported back.
void OpenMakerSite();

}  // namespace mojian
