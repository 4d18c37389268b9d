// The about panel's logo: 3 bytes a pixel, blue-green-red, bottom row first.
// The build makes the data from panels/artwork/logo.png with scripts/make-logo.
#ifndef RAVELCAST_PANELS_ABOUTLOGO_H
#define RAVELCAST_PANELS_ABOUTLOGO_H

namespace ravelcast {

constexpr int kAboutLogoWidth = 203;
constexpr int kAboutLogoHeight = 78;
extern const unsigned char kAboutLogo[kAboutLogoWidth * kAboutLogoHeight * 3];

}  // namespace ravelcast

#endif
