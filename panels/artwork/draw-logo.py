#!/usr/bin/python3
# Draws the about-panel logo, logo.png beside this script: an emblem of three
# stacked, see-through layers and the product name, on white.
# Needs pycairo (Debian: python3-cairo) and DejaVu Sans Bold.
# After redrawing, rebuild: the build turns logo.png into the panel's data.
import math
import os

import cairo

WIDTH, HEIGHT = 203, 78  # the panel's logo area
NAME = "Ravelcast"
INK = (0.13, 0.14, 0.17)
# Red, green and blue layers, back to front; their overlaps mix the colours.
LAYERS = [
    (0.15, 0.42, 0.85),
    (0.16, 0.66, 0.30),
    (0.87, 0.20, 0.18),
]
LAYER_ALPHA = 0.78
LAYER_W, LAYER_H, LAYER_STEP, LAYER_RADIUS = 24.0, 18.0, 7.0, 4.0
GAP = 10.0  # between the emblem and the name


def rounded_rect(cr, x, y, w, h, r):
    cr.new_sub_path()
    cr.arc(x + w - r, y + r, r, -math.pi / 2, 0)
    cr.arc(x + w - r, y + h - r, r, 0, math.pi / 2)
    cr.arc(x + r, y + h - r, r, math.pi / 2, math.pi)
    cr.arc(x + r, y + r, r, math.pi, 3 * math.pi / 2)
    cr.close_path()


def main():
    surface = cairo.ImageSurface(cairo.FORMAT_RGB24, WIDTH, HEIGHT)
    cr = cairo.Context(surface)
    cr.set_source_rgb(1, 1, 1)
    cr.paint()

    # Unhinted metrics so the measured width is the drawn width.
    options = cairo.FontOptions()
    options.set_hint_metrics(cairo.HINT_METRICS_OFF)
    options.set_antialias(cairo.ANTIALIAS_GRAY)
    cr.set_font_options(options)
    cr.select_font_face("DejaVu Sans", cairo.FONT_SLANT_NORMAL, cairo.FONT_WEIGHT_BOLD)

    count = len(LAYERS)
    emblem_w = LAYER_W + LAYER_STEP * (count - 1)
    emblem_h = LAYER_H + LAYER_STEP * (count - 1)

    # The largest whole font size whose name fits beside the emblem with a margin.
    margin = 8.0
    size = 40
    while size > 8:
        cr.set_font_size(size)
        ext = cr.text_extents(NAME)
        if emblem_w + GAP + ext.width <= WIDTH - 2 * margin:
            break
        size -= 1

    left = round((WIDTH - (emblem_w + GAP + ext.width)) / 2)
    middle = HEIGHT / 2

    # Layers step up and to the right, the back one highest.
    top = round(middle - emblem_h / 2)
    for i, rgb in enumerate(LAYERS):
        x = left + LAYER_STEP * (count - 1 - i)
        y = top + LAYER_STEP * i
        rounded_rect(cr, x, y, LAYER_W, LAYER_H, LAYER_RADIUS)
        cr.set_source_rgba(*rgb, LAYER_ALPHA)
        cr.fill()

    # Centre the capitals' height (the R's ink) on the emblem's middle.
    cap = cr.text_extents("R")
    baseline = round(middle - cap.y_bearing - cap.height / 2)
    cr.move_to(left + emblem_w + GAP - ext.x_bearing, baseline)
    cr.set_source_rgb(*INK)
    cr.show_text(NAME)

    surface.flush()
    surface.write_to_png(os.path.join(os.path.dirname(os.path.abspath(__file__)), "logo.png"))


if __name__ == "__main__":
    main()
