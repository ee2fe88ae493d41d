// What a program needs to know of its display on every system, to tell the
// user.
#pragma once

// True when a display was wanted but none could be opened, so that the
// program's windows exist in memory only and close by themselves when
// nothing is left to do. Asking chooses the display, once. Windows always
// has its own.
#ifdef _WIN32
inline bool display_unavailable() {
    return false;
}
#else
bool display_unavailable();
#endif
