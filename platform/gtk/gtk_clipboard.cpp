#include "platform/gtk/gtk_clipboard.h"

#include "platform/gtk/dib_exchange.h"

namespace portable::gtk {

namespace {

enum Target : guint { kBmp, kPng };

// Without `png` the selection offers the bitmap file alone (the PNG encoder
// takes only 24- and 32-bit pictures).
const GtkTargetEntry kTargets[] = {
    {const_cast<gchar*>("image/bmp"), 0, kBmp},
    {const_cast<gchar*>("image/png"), 0, kPng},
};

GtkClipboard* desktop_clipboard() {
    return gtk_clipboard_get_for_display(gdk_display_get_default(), GDK_SELECTION_CLIPBOARD);
}

}  // namespace

void GtkClipboardHost::dib_changed(const uint8_t* dib, size_t size) {
    GtkClipboard* clipboard = desktop_clipboard();
    if (dib == nullptr || size == 0) {
        // Clearing runs forget(), which drops our copy.
        if (owner_) {
            replacing_ = true;
            gtk_clipboard_clear(clipboard);
            replacing_ = false;
        }
        return;
    }
    std::vector<uint8_t> copy(dib, dib + size);
    GdkPixbuf* check = pixbuf_from_packed_dib(copy.data(), copy.size());
    int targets = check != nullptr ? 2 : 1;
    if (check != nullptr)
        g_object_unref(check);
    replacing_ = true;
    bool set = gtk_clipboard_set_with_data(clipboard, kTargets, targets, provide, forget, this);
    replacing_ = false;
    if (set) {
        // Replacing our own offer ran forget() for the old one first.
        dib_ = std::move(copy);
        png_.clear();
        owner_ = true;
    }
}

bool GtkClipboardHost::foreign_dib(std::vector<uint8_t>& out) {
    if (owner_)
        return false;
    GtkClipboard* clipboard = desktop_clipboard();
    GdkAtom bmp = gdk_atom_intern_static_string("image/bmp");
    bool done = false;
    if (GtkSelectionData* data = gtk_clipboard_wait_for_contents(clipboard, bmp)) {
        gint length = 0;
        const guchar* bytes = gtk_selection_data_get_data_with_length(data, &length);
        if (bytes != nullptr && length > 0)
            done = packed_dib_from_bitmap_file(bytes, static_cast<size_t>(length), out);
        gtk_selection_data_free(data);
    }
    if (done)
        return true;
    // Any other picture format that gdk-pixbuf can read.
    if (GdkPixbuf* pixbuf = gtk_clipboard_wait_for_image(clipboard)) {
        done = packed_dib_from_pixbuf(pixbuf, out);
        g_object_unref(pixbuf);
    }
    return done;
}

void GtkClipboardHost::store_for_manager() {
    if (!owner_)
        return;
    GtkClipboard* clipboard = desktop_clipboard();
    // Returns at once when no clipboard manager runs.
    gtk_clipboard_set_can_store(clipboard, nullptr, 0);
    gtk_clipboard_store(clipboard);
}

void GtkClipboardHost::provide(GtkClipboard*, GtkSelectionData* selection, guint target,
                               gpointer self) {
    auto* host = static_cast<GtkClipboardHost*>(self);
    std::vector<uint8_t> file;
    const std::vector<uint8_t>* bytes = &file;
    if (target == kBmp) {
        if (!bitmap_file_from_packed_dib(host->dib_.data(), host->dib_.size(), file))
            return;
    } else {
        if (host->png_.empty() &&
            !png_from_packed_dib(host->dib_.data(), host->dib_.size(), host->png_))
            return;
        bytes = &host->png_;
    }
    GdkAtom type = gdk_atom_intern_static_string(target == kBmp ? "image/bmp" : "image/png");
    gtk_selection_data_set(selection, type, 8, bytes->data(), static_cast<gint>(bytes->size()));
}

void GtkClipboardHost::forget(GtkClipboard*, gpointer self) {
    auto* host = static_cast<GtkClipboardHost*>(self);
    host->owner_ = false;
    host->dib_.clear();
    host->png_.clear();
    if (!host->replacing_ && host->taken_ != nullptr)
        host->taken_();
}

}  // namespace portable::gtk
