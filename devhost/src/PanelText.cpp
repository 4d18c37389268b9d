#include "PanelText.h"

#include <algorithm>

#include "devhost/PanelPainter.h"
#include "devhost/Panels.h"

namespace devhost {

namespace paint {

std::vector<Piece> pieces(const std::string &s)
{
    std::vector<Piece> out;
    std::string text;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\x03' && i + 3 < s.size() && s[i + 1] == '(' && s[i + 3] == ':') {
            const std::size_t close = s.find(')', i + 4);
            if (close != std::string::npos) {
                if (!text.empty())
                    out.push_back({0, std::move(text)});
                text.clear();
                out.push_back({s[i + 2], s.substr(i + 4, close - i - 4)});
                i = close;
                continue;
            }
        }
        text += s[i];
    }
    if (!text.empty())
        out.push_back({0, text});
    return out;
}

// What a control shows as text: its label, then its lines; a list box
// every item it holds (scrolling shows those below the visible rows).
void recordDrawnText(ClassicPanel &p, const ClassicControl &c)
{
    if (!c.label.empty())
        p.drawnText.push_back(PanelPainter::lineText(c.label));
    if (c.desc.type == LWT_TEXT) {
        for (const std::string &l : c.lines)
            p.drawnText.push_back(PanelPainter::lineText(l));
    } else if (c.desc.type == LWT_LISTBOX) {
        const LWListBoxDesc &d = c.desc.listbox;
        const int n = d.countFn ? d.countFn(c.userData) : 0;
        for (int i = 0; i < n; ++i) {
            const char *name = d.nameFn ? d.nameFn(c.userData, i) : "";
            p.drawnText.push_back(PanelPainter::lineText(name ? name : ""));
        }
    }
}

} // namespace paint

using namespace paint;

std::string PanelPainter::plainText(const std::string &s)
{
    std::string out;
    for (const paint::Piece &p : paint::pieces(s))
        if (!p.code)
            out += p.arg;
    return out;
}

std::string PanelPainter::lineText(const std::string &s)
{
    std::string out;
    bool moved = false;
    for (const paint::Piece &p : paint::pieces(s)) {
        if (p.code == 'a' || p.code == 'g') {
            moved = true;
        } else if (!p.code) {
            // A column move or a gap between two texts keeps them apart.
            if (moved && !out.empty() && out.back() != ' ' && p.arg.front() != ' ')
                out += ' ';
            out += p.arg;
            moved = false;
        }
    }
    return out;
}

void PanelPainter::sizeControl(ClassicControl &c)
{
    const int label = c.label.empty() ? 0 : kLabelHeight;
    switch (c.desc.type) {
    case LWT_CANVAS:
        c.w = c.desc.canvas.width + 2;
        c.h = c.desc.canvas.height + 2 + label;
        break;
    case LWT_LISTBOX:
        c.w = c.desc.listbox.width;
        c.h = label + std::max(c.desc.listbox.visItems, 1) * kLineHeight + 4;
        break;
    case LWT_TEXT: {
        int w = 0;
        for (const std::string &l : c.lines)
            w = std::max(w, paint::textWidth(l.c_str()));
        c.w = w + 4;
        c.h = static_cast<int>(c.lines.size()) * kLineHeight + label;
        break;
    }
    default: break;
    }
}

void PanelPainter::layout(ClassicPanel &p)
{
    int y = kMargin;
    int right = 0, bottom = 0;
    for (auto &c : p.controls) {
        if (c->x < 0)
            c->x = kMargin;
        if (c->y < 0)
            c->y = y;
        y = c->y + c->h + kGap;
        right = std::max(right, c->x + c->w);
        bottom = std::max(bottom, c->y + c->h);
    }
    if (!p.fixedWidth)
        p.attributes[PAN_W].intv = std::max(right + kMargin, 200);
    if (!p.fixedHeight)
        p.attributes[PAN_H].intv = std::max(bottom + kMargin, 60);
    if (p.canvas && !canvasFits(p))
        release(p);
}

} // namespace devhost
