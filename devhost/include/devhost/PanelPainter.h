// How the development host's panels look: the layout of classic panels,
// the drawing functions the module paints with, XPanels laid out from their
// hints, the host's text markup, and pictures of all of them as PNG.
#ifndef DEVHOST_PANELPAINTER_H
#define DEVHOST_PANELPAINTER_H

#include <string>

#include <lwsdk/panel.h>
#include <lwsdk/xpanel.h>

namespace devhost {

class Panels;
struct ClassicControl;
struct ClassicPanel;
struct XPanelRecord;

struct PanelPainter {
    static constexpr int kLabelHeight = 16; // a labelled control's label row

    static const LWXPDrawFuncs &xpanelDrawing();
    static const LWDrawFuncs &classicDrawing();

    // Text with the markup codes (byte 3 and a command in parentheses)
    // removed.
    static std::string plainText(const std::string &text);
    // The same as a line of text shows it: a column move or a gap between
    // two texts becomes a blank.
    static std::string lineText(const std::string &text);

    // A control's size from its description, before the module changes it.
    static void sizeControl(ClassicControl &c);
    // Places unplaced controls top to bottom and sizes the panel around them
    // unless the module fixed its size.
    static void layout(ClassicPanel &p);
    // Draws the panel (frame, controls, then the module's own drawing) into
    // its raster.
    static void paintClassic(Panels &panels, LWPanelID id, ClassicPanel &p, int mode);
    static void drawControlNow(ClassicControl &c);
    static void release(ClassicPanel &p);
    // Whether the panel's raster still has the panel's size.
    static bool canvasFits(const ClassicPanel &p);

    // Pictures; throw PanelError naming the file and the cause.
    static void writeClassic(Panels &panels, LWPanelID id, ClassicPanel &p,
                             const std::string &png);
    static void writeXPanel(Panels &panels, LWXPanelID id, XPanelRecord &p,
                            const std::string &png);
};

} // namespace devhost

#endif
