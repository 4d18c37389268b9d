// `devhost sheet`: every layer of an OpenEXR file drawn as a labelled tile
// on one PNG page, so a written file can be judged at a glance.
#ifndef DEVHOST_TOOLS_CONTACTSHEET_H
#define DEVHOST_TOOLS_CONTACTSHEET_H

#include <iosfwd>
#include <string>
#include <vector>

namespace devhost {

struct SheetTile {
    std::string title;    // the layer, or the channel when it stands alone: "Diff", "Z"
    std::string channels; // the channels shown and their type: "R G B half"
    std::string legend;   // how the values map to the picture
    std::string error;    // why the pixels could not be shown; empty when they are
    // The tile's picture (the part's display window) on the page, in pixels.
    int x = 0, y = 0, width = 0, height = 0;
};

struct ContactSheet {
    int width = 0, height = 0;
    std::vector<SheetTile> tiles;
};

// Draws every layer of every part of the OpenEXR file `input` and writes the
// page as the PNG `output`:
// - R G B (and A) as colour, linear values shown as sRGB over a checkerboard
//   where alpha is below 1;
// - X Y as motion (hue the direction, saturation the length), X Y Z as a
//   direction mapped to R G B;
// - unsigned integer channels and integral "...ID" channels as distinct
//   colours per id (0 black);
// - any other channel as grey: values within 0-1 as they are, others
//   stretched over their finite range, values beyond 1e20 in magnitude,
//   infinities and NaNs (a renderer's backdrop depth) in one marked colour.
// A tile whose pixels cannot be read shows why and says so in its error.
// Throws HostError naming the file and the cause when the file cannot be
// opened as OpenEXR or the page cannot be written.
ContactSheet writeContactSheet(const std::string &input, const std::string &output);

// Prints where the sheet went and how many tiles it has (when out is given)
// and every tile's error to err. Answers the exit status: 0, or 1 when a
// tile could not be drawn.
int reportContactSheet(const ContactSheet &sheet, const std::string &output, std::ostream *out,
                       std::ostream &err);

} // namespace devhost

#endif
