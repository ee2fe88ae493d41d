// The host's input on a host window, handed to the core through
// core_input.h: the core decides what it means.
#pragma once

#include "platform/gtk/gtk_window.h"

namespace portable::gtk {

// Connects the handlers of the window's pointer, key, wheel, scroll bar,
// close and draw signals; disconnect_signals cuts them all.
void connect_signals(HostWindow& w);
void disconnect_signals(HostWindow& w);

}  // namespace portable::gtk
