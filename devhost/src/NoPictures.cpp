// The development host built without Cairo (on Windows): panels, previews
// and contact sheets work as everywhere else, but nothing is drawn, and a
// picture asked for is refused with a message that says why.
#include "devhost/CallbackBarrier.h"
#include "devhost/PanelPainter.h"
#include "devhost/Panels.h"
#include "devhost/Previews.h"
#include "devhost/tools/ContactSheet.h"

#include <algorithm>
#include <ostream>

#include "PanelText.h"

namespace devhost {

using namespace paint;

// Classic panels keep no raster: the drawing functions have nothing to
// paint on.
struct Canvas {};

namespace {

std::string noPicture(const std::string &what, const std::string &png)
{
    return "Cannot write " + what + " \"" + png +
           "\": this development host is built without Cairo and draws no pictures";
}

// Text as wide as the host's panel font sets it on average; only layout
// uses it here.
constexpr int kAverageAdvance = 7;

void cDrawPixel(LWPanelID, int, int, int) {}
void cDrawRGBPixel(LWPanelID, int, int, int, int, int) {}
void cDrawBox(LWPanelID, int, int, int, int, int) {}
void cDrawRGBBox(LWPanelID, int, int, int, int, int, int, int) {}
void cDrawBorder(LWPanelID, int, int, int, int, int) {}
int cTextWidth(LWPanelID, const char *text) { return textWidth(text); }

void cDrawText(LWPanelID id, const char *text, int, int, int)
{
    if (!text)
        return;
    if (Host *h = Host::current())
        Panels::of(*h).classic(id).drawnText.push_back(PanelPainter::lineText(text));
}

const LWDisplayMetrics *cMetrics()
{
    static LWDisplayMetrics m{1920, 1080, kLineHeight, 12};
    return &m;
}

void xDrawPixel(void *, int, int, int, int, int) {}
void xDrawBox(void *, int, int, int, int, int, int, int) {}
void xDrawText(void *, const char *, int, int, int, int, int) {}
int xTextWidth(void *, const char *text) { return textWidth(text); }
int xTextHeight(void *) { return kLineHeight; }

} // namespace

int paint::textWidth(const char *text)
{
    return text ? static_cast<int>(PanelPainter::plainText(text).size()) * kAverageAdvance : 0;
}

const LWDrawFuncs &PanelPainter::classicDrawing()
{
    static const LWDrawFuncs table = {
        guarded<cDrawPixel>,  guarded<cDrawRGBPixel>, guarded<cDrawBox>,
        guarded<cDrawRGBBox>, guarded<cDrawBorder>,   guarded<cTextWidth>,
        guarded<cDrawText>,   guarded<cMetrics>};
    return table;
}

const LWXPDrawFuncs &PanelPainter::xpanelDrawing()
{
    static const LWXPDrawFuncs table = {guarded<xDrawPixel>, guarded<xDrawBox>,
                                        guarded<xDrawText>, guarded<xTextWidth>,
                                        guarded<xTextHeight>};
    return table;
}

bool PanelPainter::canvasFits(const ClassicPanel &) { return true; }

void PanelPainter::release(ClassicPanel &p)
{
    delete p.canvas;
    p.canvas = nullptr;
}

void PanelPainter::drawControlNow(ClassicControl &c)
{
    // The module's own drawing still runs: what it measures and the text it
    // draws are what a script checks.
    if (c.desc.type == LWT_CANVAS)
        if (auto draw = reinterpret_cast<void (*)(LWControl *, void *, int)>(c.userDraw))
            draw(&c.table, c.userData, DR_REFRESH);
}

void PanelPainter::paintClassic(Panels &, LWPanelID id, ClassicPanel &p, int mode)
{
    layout(p);
    p.drawnText.clear();
    for (auto &c : p.controls) {
        recordDrawnText(p, *c);
        drawControlNow(*c);
    }
    if (auto draw = reinterpret_cast<void (*)(LWPanelID, void *, int)>(
            p.attributes[PAN_USERDRAW].func))
        draw(id, p.attributes[PAN_USERDATA].ptr, mode);
}

void PanelPainter::writeClassic(Panels &, LWPanelID, ClassicPanel &, const std::string &png)
{
    throw PanelError(noPicture("the panel's picture", png));
}

void PanelPainter::writeXPanel(Panels &, LWXPanelID, XPanelRecord &, const std::string &png)
{
    throw PanelError(noPicture("the panel's picture", png));
}

void Previews::snapshot(const PreviewWindow &, const std::string &png) const
{
    throw HostError(noPicture("the preview's picture", png));
}

ContactSheet writeContactSheet(const std::string &, const std::string &output)
{
    throw HostError(noPicture("the contact sheet", output));
}

int reportContactSheet(const ContactSheet &, const std::string &, std::ostream *, std::ostream &)
{
    return 1; // never reached: no sheet is made
}

} // namespace devhost
