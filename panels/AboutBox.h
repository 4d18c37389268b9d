// The about box and the picture both panels show.
#ifndef RAVELCAST_PANELS_ABOUTBOX_H
#define RAVELCAST_PANELS_ABOUTBOX_H

#include <string>
#include <vector>

#include "hostkit/XPanel.h"

namespace ravelcast {

// "About Ravelcast": the logo, the product line with the build date and
// the OpenEXR library line. Returns when the user closes it.
void showAboutPanel();
std::vector<std::string> aboutLines();

// A thumbnail area: white, the logo centred, the version and the build
// date right-aligned at the top.
void drawAboutThumbnail(const hostkit::DrawContext &context);

} // namespace ravelcast

#endif
