// Where the viewer window goes and how big it is: the whole picture 1 : 1
// when that fits the screen's work area, else the largest window that fits,
// with scroll bars for the dimensions the picture overflows.
#pragma once

#include "platform/win32.h"

struct ViewerFrame {
    DWORD style;  // the given style, with WS_HSCROLL and WS_VSCROLL where needed
    int x;        // CW_USEDEFAULT (the system places the window), or the
    int y;        // work area's top-left corner for a window that fills it
    int width;    // the window's outer size
    int height;
};

ViewerFrame viewer_frame(int picture_width, int picture_height, DWORD style);
