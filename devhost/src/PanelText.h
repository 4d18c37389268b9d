// What the host's panels show, apart from how they are drawn: their sizes,
// text with the host's markup, and the text a panel shows. Shared by the
// painters that draw with Cairo and by the host built without pictures.
#ifndef DEVHOST_SRC_PANELTEXT_H
#define DEVHOST_SRC_PANELTEXT_H

#include <string>
#include <vector>

namespace devhost {
struct ClassicControl;
struct ClassicPanel;
} // namespace devhost

namespace devhost::paint {

struct Rgb {
    double r, g, b;
};

inline constexpr double kFontSize = 12.0;
inline constexpr int kLineHeight = 16;
inline constexpr int kTitleBar = 22;
inline constexpr int kButtonRow = 32;
inline constexpr int kMargin = 8;
inline constexpr int kGap = 6;
inline constexpr double kIconWidth = 14;

inline constexpr Rgb kBackground{0.62, 0.62, 0.64};
inline constexpr Rgb kText{0.05, 0.05, 0.06};
inline constexpr Rgb kWhite{1, 1, 1};
inline constexpr Rgb kTitle{0.22, 0.23, 0.27};
inline constexpr Rgb kField{0.80, 0.80, 0.82};
inline constexpr Rgb kListBack{0.50, 0.50, 0.53};
inline constexpr Rgb kLight{0.86, 0.86, 0.88};
inline constexpr Rgb kShade{0.36, 0.36, 0.38};
inline constexpr Rgb kDisabledNote{0.25, 0.25, 0.30};

// One piece of marked-up text: plain text, or a code.
struct Piece {
    char code = 0; // 0 text, 'c' colour, 'i' icon, 'a' move to, 'g' gap
    std::string arg;
};
std::vector<Piece> pieces(const std::string &s);

// The width of marked-up text, measured without a panel.
int textWidth(const char *text);

// Adds what a control shows as text to its panel's drawn text.
void recordDrawnText(ClassicPanel &p, const ClassicControl &c);

} // namespace devhost::paint

#endif
