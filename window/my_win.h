// MyWin: the viewer window. A fixed-size top-level window that shows the
// image 1 : 1: the whole of it when it fits the screen, else as much as fits,
// with scroll bars, the wheel, the keys and dragging to see the rest.
// Creating it reduces the image's colours; a right click offers "copy" to the
// clipboard, and so does Ctrl+C.
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
    // The picture's point at the client area's top-left corner; (0, 0) while
    // the whole picture is shown.
    POINT origin{};

  private:
    POINT view_size() const;
    POINT last_origin() const;  // the bottom right corner in view
    // The bars' ranges and pages for the client area, the position kept.
    void set_up_scroll_bars();
    void scroll_to(int x, int y);
    void scroll_bar_used(int bar, UINT code);
    void wheel_turned(int bar, int delta);
    bool key_pressed(UINT virtual_key);

    bool scrolls = false;        // the picture is larger than the window
    int wheel_rest[2] = {0, 0};  // turns too small for a line yet, per bar
    bool dragging = false;
    POINT drag_start{};         // client point where the left button went down
    POINT drag_start_origin{};  // origin at that moment
};
