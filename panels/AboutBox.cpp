#include "panels/AboutBox.h"

#include "hostkit/Panel.h"
#include "module/Version.h"
#include "panels/AboutLogo.h"

namespace ravelcast {

std::vector<std::string> aboutLines()
{
    return {std::string(kProductLine) + " (" + kBuildDate + ")", " ", kLibraryLine, " "};
}

void showAboutPanel()
{
    hostkit::AboutPanel about("About Ravelcast", aboutLines(), kAboutLogo, kAboutLogoWidth,
                              kAboutLogoHeight);
    about.show();
}

void drawAboutThumbnail(const hostkit::DrawContext &c)
{
    c.box(255, 255, 255, 0, 0, c.width, c.height);
    hostkit::forEachPicturePixel(kAboutLogo, kAboutLogoWidth, kAboutLogoHeight,
                                 (c.width - kAboutLogoWidth) / 2,
                                 (c.height - kAboutLogoHeight) / 2 + 1,
                                 [&](int r, int g, int b, int x, int y) { c.pixel(r, g, b, x, y); });
    const std::string version = std::string("V") + kVersion + " " + kPlatformTag;
    const int lineHeight = c.textHeight();
    c.text(version, 0, 0, 0, c.width - 4 - c.textWidth(version), 4);
    c.text(kBuildDate, 0, 0, 0, c.width - 4 - c.textWidth(kBuildDate), 4 + lineHeight + 8);
}

} // namespace ravelcast
