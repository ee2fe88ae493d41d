// The desktop's CLIPBOARD selection behind the core's CF_DIB: the core keeps
// the clipboard's bookkeeping; this host offers its picture to other programs
// as image/bmp and image/png, and reads a picture another program offers.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <vector>

#include "platform/portable/clipboard_host.h"

namespace portable::gtk {

class GtkClipboardHost final : public ClipboardHost {
  public:
    // `taken` (may be null) is called when another program takes the
    // clipboard from us, so that the core lets its own contents go.
    explicit GtkClipboardHost(void (*taken)() = nullptr) : taken_(taken) {}

    void dib_changed(const uint8_t* dib, size_t size) override;
    bool foreign_dib(std::vector<uint8_t>& out) override;

    // At exit: a clipboard manager, where one runs, keeps the picture after
    // the program has gone. Without one the picture goes with the program.
    void store_for_manager();

  private:
    static void provide(GtkClipboard*, GtkSelectionData* selection, guint target, gpointer self);
    static void forget(GtkClipboard*, gpointer self);

    std::vector<uint8_t> dib_;  // what the CLIPBOARD selection offers while we own it
    std::vector<uint8_t> png_;  // encoded once, on the first request
    bool owner_ = false;
    bool replacing_ = false;  // our own set or clear is running
    void (*taken_)();
};

}  // namespace portable::gtk
