#include "platform/gtk/gtk_paint.h"

#include <algorithm>
#include <cstring>

#include "platform/portable/core_input.h"

namespace portable::gtk {

void present_surface(HostWindow& w, const Surface& surface, const RECT& dirty) {
    if (surface.width <= 0 || surface.height <= 0)
        return;
    if (w.image == nullptr || cairo_image_surface_get_width(w.image) != surface.width ||
        cairo_image_surface_get_height(w.image) != surface.height) {
        if (w.image != nullptr)
            cairo_surface_destroy(w.image);
        w.image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, surface.width, surface.height);
    }
    int left = std::clamp<int>(dirty.left, 0, surface.width);
    int right = std::clamp<int>(dirty.right, left, surface.width);
    int top = std::clamp<int>(dirty.top, 0, surface.height);
    int bottom = std::clamp<int>(dirty.bottom, top, surface.height);
    if (left == right || top == bottom)
        return;
    // CAIRO_FORMAT_RGB24 is a native-endian 32-bit 0x00RRGGBB per pixel: the
    // surface's own layout, so rows copy as they are.
    cairo_surface_flush(w.image);
    unsigned char* data = cairo_image_surface_get_data(w.image);
    int stride = cairo_image_surface_get_stride(w.image);
    for (int y = top; y < bottom; ++y) {
        std::memcpy(data + static_cast<size_t>(y) * stride + static_cast<size_t>(left) * 4,
                    &surface.pixels[static_cast<size_t>(y) * surface.width + left],
                    static_cast<size_t>(right - left) * 4);
    }
    cairo_surface_mark_dirty_rectangle(w.image, left, top, right - left, bottom - top);
    cairo_rectangle_int_t r{left, top, right - left, bottom - top};
    cairo_region_union_rectangle(w.presented, &r);
    gtk_widget_queue_draw_area(w.area, left, top, right - left, bottom - top);
}

gboolean draw_host_window(GtkWidget*, cairo_t* cr, gpointer data) {
    auto* w = static_cast<HostWindow*>(data);
    GdkRectangle clip;
    if (!gdk_cairo_get_clip_rectangle(cr, &clip))
        return TRUE;
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    if (w->image != nullptr) {
        cairo_set_source_surface(cr, w->image, 0, 0);
        cairo_paint(cr);
    }
    cairo_region_t* exposed = cairo_region_create_rectangle(&clip);
    cairo_region_subtract(exposed, w->presented);
    cairo_region_destroy(w->presented);
    w->presented = cairo_region_create();
    if (!cairo_region_is_empty(exposed)) {
        cairo_rectangle_int_t r;
        cairo_region_get_extents(exposed, &r);
        RECT rect{r.x, r.y, r.x + r.width, r.y + r.height};
        input_expose(w->hwnd, &rect);
        w->driver->delivered(nullptr);
    }
    cairo_region_destroy(exposed);
    return TRUE;
}

}  // namespace portable::gtk
