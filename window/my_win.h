// MyWin: the viewer window. A fixed-size top-level window whose client area is
// exactly the image, shown 1 : 1; creating it reduces the image's colours, and
// a right click offers "copy" to the clipboard.
#pragma once

#include <string>

#include "image/dib24.h"
#include "platform/win32.h"
#include "window/nwindow.h"

class MyWin : public NWindow {
  public:
    // Caption, system menu and minimize box: no sizing border, no maximize box.
    static constexpr DWORD window_style = 0xCA0000;

    // Creates the window for `image` (the quantizer runs during creation),
    // then shows it and has it painted.
    void create_and_show(dib24* image);
    LRESULT window_proc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    // The full path of the running program, or "" when it cannot be had.
    static std::string module_file_path();
    // Reduces `image` in place to at most 255 colours, printing the report.
    void process();

    dib24* image = nullptr;  // not owned; outlives the window object
};
