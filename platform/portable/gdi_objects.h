// Inside the portable GDI: the objects behind HBITMAP and HDC handles, and the
// pixel surface of a window's client area. Other parts of the portable core
// (window painting, display drivers) use these; callers outside platform/ only
// see the handles.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/portable/gdi.h"

namespace portable {

// What a window's client area shows: 0x00RRGGBB per pixel, top row first.
struct Surface {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    void resize(int w, int h);
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

struct GdiObject {
    virtual ~GdiObject() = default;
};

// Pixel stores are whole pages from VirtualAlloc: zero when they come, and
// touched only where pixels are written (on huge pages when large).
struct PagesRelease {
    void operator()(uint8_t* p) const;
};
using PixelPages = std::unique_ptr<uint8_t, PagesRelease>;
// A new store of `bytes` bytes, all zero; null when it cannot be had.
PixelPages allocate_pixels(size_t bytes);

// A device-independent bitmap: the store of CreateDIBSection (zero-filled).
struct DibSection : GdiObject {
    BITMAPINFOHEADER header{};
    int width = 0;
    int height = 0;  // rows, always positive
    bool top_down = false;
    int stride = 0;  // bytes per row, a multiple of 4
    PixelPages bits;
    struct DeviceContext* selected_into = nullptr;
    bool stock = false;  // the default bitmap of new memory contexts; never freed
};

// A drawing context: either a memory context drawing into its selected
// bitmap, or a window's paint context drawing into the window's surface.
struct DeviceContext : GdiObject {
    DibSection* bitmap = nullptr;  // memory context
    Surface* surface = nullptr;    // window context
    RECT clip{0, 0, 0, 0};         // window context: where drawing may land
    HWND window = nullptr;
};

// Handles are the objects' addresses, checked against the set of live objects,
// so a stale or foreign handle is refused instead of dereferenced.
DibSection* dib_from_handle(HGDIOBJ h);
DeviceContext* dc_from_handle(HDC h);

// A context that draws into `surface`, limited to `clip`; freed with
// release_surface_dc (BeginPaint/EndPaint and GetDC/ReleaseDC use these).
HDC create_surface_dc(Surface* surface, RECT clip, HWND window);
void release_surface_dc(HDC dc);

// Number of live GDI objects (bitmaps and contexts), for leak checks in tests.
size_t live_gdi_objects();

}  // namespace portable
