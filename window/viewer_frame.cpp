#include "window/viewer_frame.h"

#include <algorithm>

ViewerFrame viewer_frame(int picture_width, int picture_height, DWORD style) {
    RECT rect{0, 0, picture_width, picture_height};
    AdjustWindowRectEx(&rect, style, FALSE, 0);
    ViewerFrame frame{style, CW_USEDEFAULT, CW_USEDEFAULT, rect.right - rect.left,
                      rect.bottom - rect.top};
    RECT work{};
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0))
        return frame;
    // What the frame leaves of the work area for the client area.
    const int frame_width = frame.width - picture_width;
    const int frame_height = frame.height - picture_height;
    const int room_width = work.right - work.left - frame_width;
    const int room_height = work.bottom - work.top - frame_height;
    const int bar_width = GetSystemMetrics(SM_CXVSCROLL);
    const int bar_height = GetSystemMetrics(SM_CYHSCROLL);
    // A bar for one dimension takes room from the other, which may then need
    // a bar of its own.
    bool horizontal = false, vertical = false;
    for (int pass = 0; pass < 2; ++pass) {
        horizontal = picture_width > room_width - (vertical ? bar_width : 0);
        vertical = picture_height > room_height - (horizontal ? bar_height : 0);
    }
    if (!horizontal && !vertical)
        return frame;
    const int client_width =
        horizontal ? std::max(1, room_width - (vertical ? bar_width : 0)) : picture_width;
    const int client_height =
        vertical ? std::max(1, room_height - (horizontal ? bar_height : 0)) : picture_height;
    frame.style |= (horizontal ? WS_HSCROLL : 0) | (vertical ? WS_VSCROLL : 0);
    frame.x = work.left;
    frame.y = work.top;
    // AdjustWindowRectEx leaves the scroll bars out of the frame.
    frame.width = client_width + frame_width + (vertical ? bar_width : 0);
    frame.height = client_height + frame_height + (horizontal ? bar_height : 0);
    return frame;
}
