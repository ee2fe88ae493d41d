#include "platform/portable/gdi_objects.h"

#include "platform/portable/virtual_memory.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace portable {

void PagesRelease::operator()(uint8_t* p) const {
    VirtualFree(p, 0, MEM_RELEASE);
}

PixelPages allocate_pixels(size_t bytes) {
    return PixelPages(static_cast<uint8_t*>(
        VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)));
}

namespace {

// Every GDI object there is, by handle. As on Windows, objects may be made and
// used on any thread (quantreduce loads several pictures at once); each object
// belongs to one thread at a time, the table to all of them.
std::unordered_map<const void*, std::unique_ptr<GdiObject>>& live_objects() {
    static std::unordered_map<const void*, std::unique_ptr<GdiObject>> objects;
    return objects;
}
std::mutex live_objects_lock;

template <class T>
T* find(const void* h) {
    if (h == nullptr)
        return nullptr;
    std::lock_guard lock(live_objects_lock);
    auto& objects = live_objects();
    auto it = objects.find(h);
    if (it == objects.end())
        return nullptr;
    return dynamic_cast<T*>(it->second.get());
}

template <class T>
T* adopt(std::unique_ptr<T> object) {
    T* raw = object.get();
    std::lock_guard lock(live_objects_lock);
    live_objects().emplace(raw, std::move(object));
    return raw;
}

void forget(const void* h) {
    std::unique_ptr<GdiObject> gone;  // freed after the lock is let go
    std::lock_guard lock(live_objects_lock);
    auto it = live_objects().find(h);
    if (it != live_objects().end()) {
        gone = std::move(it->second);
        live_objects().erase(it);
    }
}

// The 1 x 1 monochrome bitmap that a new memory context starts with, as on Windows.
DibSection* stock_bitmap() {
    static DibSection* stock = [] {
        auto b = std::make_unique<DibSection>();
        b->header.biSize = sizeof(BITMAPINFOHEADER);
        b->header.biWidth = 1;
        b->header.biHeight = 1;
        b->header.biPlanes = 1;
        b->header.biBitCount = 1;
        b->width = b->height = 1;
        b->stride = 4;
        b->bits = allocate_pixels(4);
        b->stock = true;
        return adopt(std::move(b));
    }();
    return stock;
}

// Row bytes of a DIB, rounded up to whole 32-bit words; 0 when out of range.
int64_t dib_stride(int64_t width, int bit_count) {
    return ((width * bit_count + 31) / 32) * 4;
}

struct Target {
    // Writes one pixel at target coordinates; false outside the target.
    DeviceContext* dc;
    int width = 0, height = 0;
    RECT clip{};

    void put(int x, int y, uint8_t r, uint8_t g, uint8_t b) const {
        if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom)
            return;
        if (dc->surface != nullptr) {
            dc->surface->pixels[static_cast<size_t>(y) * dc->surface->width + x] =
                (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
            return;
        }
        DibSection* bm = dc->bitmap;
        int row = bm->top_down ? y : bm->height - 1 - y;
        uint8_t* p = bm->bits.get() + static_cast<size_t>(row) * bm->stride;
        if (bm->header.biBitCount == 24) {
            p += 3 * static_cast<size_t>(x);
            p[0] = b, p[1] = g, p[2] = r;
        } else if (bm->header.biBitCount == 32) {
            p += 4 * static_cast<size_t>(x);
            p[0] = b, p[1] = g, p[2] = r, p[3] = 0;
        }
    }
};

bool make_target(DeviceContext* dc, Target& t) {
    t.dc = dc;
    if (dc->surface != nullptr) {
        t.width = dc->surface->width;
        t.height = dc->surface->height;
        t.clip = RECT{std::max<LONG>(0, dc->clip.left), std::max<LONG>(0, dc->clip.top),
                      std::min<LONG>(t.width, dc->clip.right),
                      std::min<LONG>(t.height, dc->clip.bottom)};
        return true;
    }
    DibSection* bm = dc->bitmap;
    if (bm == nullptr || bm->stock)
        return false;
    if (bm->header.biBitCount != 24 && bm->header.biBitCount != 32)
        return false;
    t.width = bm->width;
    t.height = bm->height;
    t.clip = RECT{0, 0, t.width, t.height};
    return true;
}

}  // namespace

void Surface::resize(int w, int h) {
    width = std::max(0, w);
    height = std::max(0, h);
    pixels.assign(static_cast<size_t>(width) * height, 0);
}

DibSection* dib_from_handle(HGDIOBJ h) {
    return find<DibSection>(h);
}
DeviceContext* dc_from_handle(HDC h) {
    return find<DeviceContext>(h);
}

HDC create_surface_dc(Surface* surface, RECT clip, HWND window) {
    auto dc = std::make_unique<DeviceContext>();
    dc->surface = surface;
    dc->clip = clip;
    dc->window = window;
    return reinterpret_cast<HDC>(adopt(std::move(dc)));
}

void release_surface_dc(HDC h) {
    DeviceContext* dc = dc_from_handle(h);
    if (dc != nullptr && dc->surface != nullptr)
        forget(dc);
}

size_t live_gdi_objects() {
    size_t n = 0;
    std::lock_guard lock(live_objects_lock);
    for (auto& [key, object] : live_objects()) {
        auto* dib = dynamic_cast<DibSection*>(object.get());
        if (dib == nullptr || !dib->stock)
            ++n;
    }
    return n;
}

}  // namespace portable

using portable::DeviceContext;
using portable::DibSection;

HBITMAP WINAPI CreateDIBSection(HDC, const BITMAPINFO* pbmi, UINT usage, void** ppvBits, HANDLE,
                                DWORD) {
    if (ppvBits != nullptr)
        *ppvBits = nullptr;
    if (pbmi == nullptr || usage != DIB_RGB_COLORS)
        return nullptr;
    const BITMAPINFOHEADER& h = pbmi->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biPlanes != 1)
        return nullptr;
    if (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS)
        return nullptr;
    if (h.biBitCount != 1 && h.biBitCount != 4 && h.biBitCount != 8 && h.biBitCount != 16 &&
        h.biBitCount != 24 && h.biBitCount != 32)
        return nullptr;
    if (h.biWidth <= 0 || h.biHeight == 0)
        return nullptr;
    int64_t rows = h.biHeight < 0 ? -int64_t{h.biHeight} : int64_t{h.biHeight};
    int64_t stride = portable::dib_stride(h.biWidth, h.biBitCount);
    if (stride <= 0 || stride > INT32_MAX || rows * stride > INT32_MAX)
        return nullptr;

    auto b = std::make_unique<DibSection>();
    b->header = h;
    b->width = h.biWidth;
    b->height = static_cast<int>(rows);
    b->top_down = h.biHeight < 0;
    b->stride = static_cast<int>(stride);
    b->bits = portable::allocate_pixels(static_cast<size_t>(rows * stride));
    if (!b->bits)
        return nullptr;
    if (ppvBits != nullptr)
        *ppvBits = b->bits.get();
    return reinterpret_cast<HBITMAP>(portable::adopt(std::move(b)));
}

HDC WINAPI CreateCompatibleDC(HDC) {
    auto dc = std::make_unique<DeviceContext>();
    DibSection* stock = portable::stock_bitmap();
    dc->bitmap = stock;
    return reinterpret_cast<HDC>(portable::adopt(std::move(dc)));
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    DeviceContext* dc = portable::dc_from_handle(hdc);
    DibSection* bm = portable::dib_from_handle(h);
    if (dc == nullptr || bm == nullptr || dc->surface != nullptr)
        return nullptr;
    // A bitmap can be selected into one memory context at a time.
    if (!bm->stock && bm->selected_into != nullptr && bm->selected_into != dc)
        return nullptr;
    DibSection* old = dc->bitmap;
    if (old != nullptr && !old->stock)
        old->selected_into = nullptr;
    dc->bitmap = bm;
    if (!bm->stock)
        bm->selected_into = dc;
    return old;
}

BOOL WINAPI DeleteDC(HDC hdc) {
    DeviceContext* dc = portable::dc_from_handle(hdc);
    if (dc == nullptr || dc->surface != nullptr)
        return FALSE;
    if (dc->bitmap != nullptr && !dc->bitmap->stock)
        dc->bitmap->selected_into = nullptr;
    portable::forget(dc);
    return TRUE;
}

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
    DibSection* bm = portable::dib_from_handle(ho);
    if (bm == nullptr)
        return FALSE;
    if (bm->stock)
        return TRUE;
    // As on Windows, a bitmap still selected into a context is not deleted.
    if (bm->selected_into != nullptr)
        return FALSE;
    portable::forget(bm);
    return TRUE;
}

int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc,
                         int ySrc, int SrcWidth, int SrcHeight, const void* lpBits,
                         const BITMAPINFO* lpbmi, UINT iUsage, DWORD rop) {
    DeviceContext* dc = portable::dc_from_handle(hdc);
    if (dc == nullptr || lpBits == nullptr || lpbmi == nullptr || iUsage != DIB_RGB_COLORS)
        return 0;
    if (rop != SRCCOPY)
        return 0;
    const BITMAPINFOHEADER& h = lpbmi->bmiHeader;
    if (h.biCompression != BI_RGB || (h.biBitCount != 24 && h.biBitCount != 32))
        return 0;
    if (h.biWidth <= 0 || h.biHeight == 0)
        return 0;
    if (DestWidth == 0 || DestHeight == 0 || SrcWidth == 0 || SrcHeight == 0)
        return 0;
    portable::Target target;
    if (!portable::make_target(dc, target))
        return 0;

    const int64_t width = h.biWidth;
    const int64_t rows = h.biHeight < 0 ? -int64_t{h.biHeight} : int64_t{h.biHeight};
    const bool top_down = h.biHeight < 0;
    const int64_t stride = portable::dib_stride(width, h.biBitCount);
    const int bytes_per_pixel = h.biBitCount / 8;
    const auto* src = static_cast<const uint8_t*>(lpBits);

    // Source coordinates have their origin at the picture's lower-left corner
    // for bottom-up rows; a negative extent mirrors.
    const int64_t dw = DestWidth < 0 ? -int64_t{DestWidth} : DestWidth;
    const int64_t dh = DestHeight < 0 ? -int64_t{DestHeight} : DestHeight;
    // Only the rows and columns that land inside the clip are visited: a
    // picture far larger than the window costs what the window shows.
    const auto visible = [](int64_t dest, int extent, int64_t count, LONG low, LONG high) {
        // Destination coordinate of step k: dest + k, or dest - 1 - k when mirrored.
        int64_t first = extent < 0 ? dest - high : low - dest;
        int64_t end = extent < 0 ? dest - low : high - dest;
        return std::pair<int64_t, int64_t>{std::max<int64_t>(0, first),
                                           std::min<int64_t>(count, end)};
    };
    const auto [j_first, j_end] =
        visible(yDest, DestHeight, dh, target.clip.top, target.clip.bottom);
    const auto [i_first, i_end] =
        visible(xDest, DestWidth, dw, target.clip.left, target.clip.right);
    for (int64_t j = j_first; j < j_end; ++j) {
        int64_t dy = DestHeight < 0 ? yDest - 1 - j : yDest + j;
        if (dy < target.clip.top || dy >= target.clip.bottom)
            continue;
        // Picture row counted from the top of the source rectangle.
        int64_t sj = (j * SrcHeight) / dh;
        int64_t row_from_bottom = SrcHeight > 0 ? ySrc + SrcHeight - 1 - sj : ySrc + sj;
        if (row_from_bottom < 0 || row_from_bottom >= rows)
            continue;
        int64_t stored_row = top_down ? rows - 1 - row_from_bottom : row_from_bottom;
        const uint8_t* line = src + stored_row * stride;
        for (int64_t i = i_first; i < i_end; ++i) {
            int64_t dx = DestWidth < 0 ? xDest - 1 - i : xDest + i;
            if (dx < target.clip.left || dx >= target.clip.right)
                continue;
            int64_t si = (i * SrcWidth) / dw;
            int64_t sx = SrcWidth > 0 ? xSrc + si : xSrc - si;
            if (sx < 0 || sx >= width)
                continue;
            const uint8_t* p = line + sx * bytes_per_pixel;
            target.put(static_cast<int>(dx), static_cast<int>(dy), p[2], p[1], p[0]);
        }
    }
    return SrcHeight < 0 ? -SrcHeight : SrcHeight;
}
