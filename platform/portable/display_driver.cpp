// Choosing the display driver: a small {name, create} table, real displays
// first; the headless driver always opens, so it ends the list.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/display.h"
#include "platform/portable/display_driver.h"
#include "platform/portable/window_state.h"

namespace portable {

DisplayDriver* create_headless_driver();
#ifdef QV_HAVE_GTK
// Null when no display can be opened.
DisplayDriver* create_gtk_driver();
#endif

}  // namespace portable

namespace portable {

namespace {

struct DriverEntry {
    const char* name;
    DisplayDriver* (*create)();
};

const DriverEntry drivers[] = {
#ifdef QV_HAVE_GTK
    {"gtk", create_gtk_driver},
#endif
    {"headless", create_headless_driver},
};

std::unique_ptr<DisplayDriver>& current() {
    static std::unique_ptr<DisplayDriver> driver;
    return driver;
}

// The headless driver was taken because the displays before it in the table
// could not be opened.
bool fell_back = false;

// QUANTVIEW_DISPLAY names the driver to try first; without it, or when that
// one cannot open, the first in the table that opens.
DisplayDriver* choose() {
    const char* wanted = std::getenv("QUANTVIEW_DISPLAY");
    if (wanted != nullptr && wanted[0] != '\0')
        for (const DriverEntry& entry : drivers)
            if (std::strcmp(entry.name, wanted) == 0)
                if (DisplayDriver* d = entry.create())
                    return d;
    bool display_failed = false;
    for (const DriverEntry& entry : drivers) {
        if (wanted != nullptr && std::strcmp(entry.name, wanted) == 0)
            continue;  // tried above
        if (DisplayDriver* d = entry.create()) {
            fell_back = display_failed && std::strcmp(d->name(), "headless") == 0;
            return d;
        }
        display_failed = true;
    }
    return nullptr;
}

void shut_down_driver() {
    if (auto& d = current())
        d->shutdown();
}

}  // namespace

DisplayDriver& display_driver() {
    auto& d = current();
    if (!d) {
        d.reset(choose());
        static bool registered = false;
        if (!registered) {
            registered = true;
            std::atexit(shut_down_driver);
        }
    }
    return *d;
}

void use_display_driver(std::unique_ptr<DisplayDriver> driver) {
    current() = std::move(driver);
    fell_back = false;
}

}  // namespace portable

bool display_unavailable() {
    portable::display_driver();
    return portable::fell_back;
}
