#include "image/dib24.h"

#include <cstring>

#include "image/dib_layout.h"

dib24::dib24()
    : old_object(nullptr),
      info{},
      bitmap(nullptr),
      dc(nullptr),
      bits(nullptr),
      width(0),
      height(0),
      stride(0),
      dpi(0) {}

dib24::~dib24() {
    release();
}

void dib24::create(int32_t new_width, int32_t new_height, int32_t new_dpi) {
    // The previous store, its context and bitmap go first.
    release();
    dpi = new_dpi;

    BITMAPINFOHEADER& h = info.bmiHeader;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = new_width;
    h.biHeight = new_height;
    h.biPlanes = 1;
    h.biBitCount = 24;
    h.biCompression = BI_RGB;
    h.biSizeImage = 0;
    h.biXPelsPerMeter = dib_layout::pixels_per_metre_from_dpi(dpi);
    h.biYPelsPerMeter = h.biXPelsPerMeter;
    h.biClrUsed = 0;
    h.biClrImportant = 0;

    void* store = nullptr;
    bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &store, nullptr, 0);
    bits = static_cast<uint8_t*>(store);
    update_geometry();
    h.biSizeImage = static_cast<DWORD>(stride) * static_cast<DWORD>(height);

    dc = CreateCompatibleDC(nullptr);
    old_object = SelectObject(dc, bitmap);
}

void dib24::update_geometry() {
    if (bitmap != nullptr) {
        width = info.bmiHeader.biWidth;
        height = info.bmiHeader.biHeight;
        // 3 x width rounded up to whole 4-byte words.
        int64_t row = 3 * int64_t{width};
        stride = static_cast<int32_t>((row / 4 + (row % 4 != 0 ? 1 : 0)) * 4);
    } else {
        bits = nullptr;
        width = height = stride = 0;
    }
}

void dib24::release() {
    if (dc != nullptr) {
        SelectObject(dc, old_object);
        DeleteDC(dc);
    }
    if (bitmap != nullptr)
        DeleteObject(bitmap);
    bitmap = nullptr;
    old_object = nullptr;
    dc = nullptr;
    bits = nullptr;
    width = height = stride = 0;
}

void dib24::draw(HDC target, int32_t x_dest, int32_t y_dest, int32_t dest_width,
                 int32_t dest_height, int32_t x_src, int32_t y_src) const {
    if (bits == nullptr)
        return;
    StretchDIBits(target, x_dest, y_dest, dest_width, dest_height, x_src, y_src,
                  info.bmiHeader.biWidth, info.bmiHeader.biHeight, bits, &info, DIB_RGB_COLORS,
                  SRCCOPY);
}
