#include "image/dib24.h"

#include <cstring>
#include <new>
#include <utility>

#include "image/bitmap_file.h"
#include "image/dib_layout.h"
#include "image/packed_dib.h"
#include "image/pixel_rows.h"
#include "image/stream_bytes.h"

using dib_layout::file_header_bytes;
using dib_layout::info_header_bytes;

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
        stride = static_cast<int32_t>(dib_row_bytes(width, 24));
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

void dib24::swap(dib24& other) noexcept {
    std::swap(old_object, other.old_object);
    std::swap(info, other.info);
    std::swap(bitmap, other.bitmap);
    std::swap(dc, other.dc);
    std::swap(bits, other.bits);
    std::swap(width, other.width);
    std::swap(height, other.height);
    std::swap(stride, other.stride);
    std::swap(dpi, other.dpi);
}

void dib24::draw(HDC target, int32_t x_dest, int32_t y_dest, int32_t dest_width,
                 int32_t dest_height, int32_t x_src, int32_t y_src) const {
    if (bits == nullptr)
        return;
    StretchDIBits(target, x_dest, y_dest, dest_width, dest_height, x_src, y_src,
                  info.bmiHeader.biWidth, info.bmiHeader.biHeight, bits, &info, DIB_RGB_COLORS,
                  SRCCOPY);
}

// Bitmap files.

bool dib24::load(FILE* stream) {
    try {
        StreamBytes file;
        return file.take(stream) && load_bitmap_file(*this, file) == LoadError::none;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool dib24::save(FILE* stream) const {
    if (bitmap == nullptr || stream == nullptr)
        return false;
    uint8_t headers[file_header_bytes + info_header_bytes];
    const size_t store = static_cast<size_t>(stride) * static_cast<size_t>(height);
    // The store is at most 2^31 - 1 bytes, so the file length fits bfSize.
    dib_layout::write_file_header(static_cast<uint32_t>(sizeof headers + store), sizeof headers,
                                  headers);
    dib_layout::write_info_header(info.bmiHeader, headers + file_header_bytes);
    if (std::fwrite(headers, 1, sizeof headers, stream) != sizeof headers)
        return false;
    return std::fwrite(bits, 1, store, stream) == store;
}

// Packed bitmaps in global blocks and on the clipboard.

HGLOBAL dib24::make_global_dib() const {
    if (bitmap == nullptr)
        return nullptr;
    const size_t store = static_cast<size_t>(stride) * static_cast<size_t>(height);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, info_header_bytes + store);
    if (block == nullptr)
        return nullptr;
    auto* p = static_cast<uint8_t*>(GlobalLock(block));
    if (p == nullptr) {
        GlobalFree(block);
        return nullptr;
    }
    dib_layout::write_info_header(info.bmiHeader, p);
    std::memcpy(p + info_header_bytes, bits, store);
    GlobalUnlock(block);
    return block;
}

bool dib24::load_global(HGLOBAL block) {
    const size_t size = GlobalSize(block);
    auto* p = static_cast<const uint8_t*>(GlobalLock(block));
    if (p == nullptr)
        return false;
    bool loaded = false;
    try {
        loaded = load_packed_dib(*this, p, size);
    } catch (const std::bad_alloc&) {
        loaded = false;
    }
    GlobalUnlock(block);
    return loaded;
}

bool dib24::load_dib(const BITMAPINFO* info_block, const void* pixels) {
    if (info_block == nullptr || pixels == nullptr)
        return false;
    try {
        return load_dib_parts(*this, reinterpret_cast<const uint8_t*>(info_block),
                              static_cast<const uint8_t*>(pixels));
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool dib24::copy_to_clipboard(HWND owner) const {
    HGLOBAL block = make_global_dib();
    if (block == nullptr)
        return false;
    if (!OpenClipboard(owner)) {
        GlobalFree(block);
        return false;
    }
    EmptyClipboard();
    // A refused block is still ours to free.
    const bool handed_over = SetClipboardData(CF_DIB, block) != nullptr;
    if (!handed_over)
        GlobalFree(block);
    CloseClipboard();
    return handed_over;
}

bool dib24::paste_clipboard(HWND owner) {
    if (!OpenClipboard(owner))
        return false;
    // The block stays the clipboard's; load_global locks and unlocks it.
    HANDLE block = GetClipboardData(CF_DIB);
    const bool loaded = block != nullptr && load_global(block);
    CloseClipboard();
    return loaded;
}
