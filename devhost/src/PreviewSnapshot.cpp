// The preview window as a picture, drawn with Cairo.
#include "devhost/Previews.h"

#include <cairo.h>
#include <cstdint>

#include "devhost/Host.h"

namespace devhost {

namespace {
constexpr int kTitleBar = 22;
constexpr int kChoiceRow = 28;
} // namespace

void Previews::snapshot(const PreviewWindow &w, const std::string &png) const
{
    const int W = w.windowWidth, H = kTitleBar + kChoiceRow + w.windowHeight;
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, W, H);
    cairo_t *cr = cairo_create(s);
    cairo_set_source_rgb(cr, 0.22, 0.23, 0.27);
    cairo_paint(cr);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 12);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_move_to(cr, 10, 15);
    cairo_show_text(cr, (w.title + (w.open ? "" : " (closed)")).c_str());
    // The choices popup.
    cairo_set_source_rgb(cr, 0.62, 0.62, 0.64);
    cairo_rectangle(cr, 0, kTitleBar, W, kChoiceRow);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.80, 0.80, 0.82);
    cairo_rectangle(cr, 6, kTitleBar + 4, 260, 20);
    cairo_fill(cr);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_move_to(cr, 12, kTitleBar + 18);
    if (w.current >= 0 && w.current < static_cast<int>(w.choices.size()))
        cairo_show_text(cr, w.choices[static_cast<std::size_t>(w.current)].c_str());
    // The image, scaled to the window.
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_rectangle(cr, 0, kTitleBar + kChoiceRow, W, w.windowHeight);
    cairo_fill(cr);
    if (w.width > 0 && w.height > 0 && !w.shown.empty()) {
        cairo_surface_t *img = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w.width, w.height);
        cairo_surface_flush(img);
        unsigned char *d = cairo_image_surface_get_data(img);
        const int stride = cairo_image_surface_get_stride(img);
        for (int y = 0; y < w.height; ++y)
            for (int x = 0; x < w.width; ++x) {
                const unsigned char *p = &w.shown[(static_cast<std::size_t>(y) * w.width + x) * 3];
                *reinterpret_cast<std::uint32_t *>(d + y * stride + 4 * x) =
                    (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
            }
        cairo_surface_mark_dirty(img);
        cairo_save(cr);
        cairo_translate(cr, 0, kTitleBar + kChoiceRow);
        cairo_scale(cr, static_cast<double>(W) / w.width,
                    static_cast<double>(w.windowHeight) / w.height);
        cairo_set_source_surface(cr, img, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
        cairo_paint(cr);
        cairo_restore(cr);
        cairo_surface_destroy(img);
    }
    cairo_destroy(cr);
    cairo_surface_flush(s);
    const cairo_status_t st = cairo_surface_write_to_png(s, png.c_str());
    cairo_surface_destroy(s);
    if (st != CAIRO_STATUS_SUCCESS)
        throw HostError("Cannot write the picture \"" + png + "\": " + cairo_status_to_string(st));
}

} // namespace devhost
