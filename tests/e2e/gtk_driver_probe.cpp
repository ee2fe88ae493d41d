// A stand-in core around the GTK display driver: one fixed window showing a
// test pattern, every host event printed on standard output, a popup menu on
// the right button. The end-to-end script drives it in an X server to check
// the driver without the rest of the program.
//
//   gtk_driver_probe PATTERN.bmp PASTED.bmp
//
// writes the pattern it shows to PATTERN.bmp, then runs until its window is
// asked to close. The V key reads the picture another program put on the
// clipboard and writes it to PASTED.bmp.
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/gtk/dib_exchange.h"
#include "platform/gtk/gtk_driver.h"
#include "platform/portable/clipboard.h"
#include "platform/portable/core_input.h"

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;
HWND const kWindow = reinterpret_cast<HWND>(uintptr_t{0x1000});

portable::DisplayDriver* driver = nullptr;
portable::ClipboardHost* clipboard_host = nullptr;
portable::Surface surface;
std::vector<RECT> exposed;
bool closing = false;
const char* pasted_path = nullptr;
std::vector<POINT> menu_at;  // right-button presses not yet answered
int paste_requests = 0;

bool write_bitmap_file(const char* path, const std::vector<uint8_t>& dib) {
    std::vector<uint8_t> file;
    if (!portable::gtk::bitmap_file_from_packed_dib(dib.data(), dib.size(), file))
        return false;
    FILE* out = std::fopen(path, "wb");
    if (out == nullptr)
        return false;
    bool ok = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && ok;
}

void paste() {
    std::vector<uint8_t> dib;
    bool ok = clipboard_host != nullptr && clipboard_host->foreign_dib(dib) &&
              write_bitmap_file(pasted_path, dib);
    std::printf("paste %s\n", ok ? "done" : "failed");
}

uint32_t pattern(int x, int y) {
    uint32_t r = (x * 255) / (kWidth - 1), g = (y * 255) / (kHeight - 1), b = (x ^ y) & 0xFF;
    return r << 16 | g << 8 | b;
}

// The pattern as a 24-bit bottom-up packed DIB, as the core's clipboard holds it.
std::vector<uint8_t> pattern_dib() {
    int stride = (kWidth * 3 + 3) & ~3;
    std::vector<uint8_t> dib(40 + static_cast<size_t>(stride) * kHeight, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            dib[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, kWidth);
    put32(8, kHeight);
    dib[12] = 1;
    dib[14] = 24;
    put32(20, static_cast<uint32_t>(stride) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = &dib[40 + static_cast<size_t>(kHeight - 1 - y) * stride];
        for (int x = 0; x < kWidth; ++x) {
            uint32_t c = pattern(x, y);
            row[3 * x] = c & 0xFF;
            row[3 * x + 1] = (c >> 8) & 0xFF;
            row[3 * x + 2] = c >> 16;
        }
    }
    return dib;
}

const char* button_name(portable::MouseButton b) {
    switch (b) {
        case portable::MouseButton::left:
            return "left";
        case portable::MouseButton::middle:
            return "middle";
        default:
            return "right";
    }
}

void show_menu(int x, int y) {
    using portable::MenuEntry;
    std::vector<MenuEntry> entries(4);
    entries[0].text = "copy";
    entries[0].id = 1;
    entries[1].kind = MenuEntry::Kind::separator;
    entries[2].text = "save";
    entries[2].id = 2;
    entries[2].grayed = true;
    entries[3].kind = MenuEntry::Kind::submenu;
    entries[3].text = "more";
    entries[3].children.resize(1);
    entries[3].children[0].text = "about";
    entries[3].children[0].id = 3;
    POINT origin{};
    driver->client_origin(kWindow, origin);
    UINT chosen = driver->track_popup_menu(entries, POINT{origin.x + x, origin.y + y}, kWindow);
    std::printf("menu %u\n", chosen);
    if (chosen == 1 && clipboard_host != nullptr) {
        std::vector<uint8_t> dib = pattern_dib();
        clipboard_host->dib_changed(dib.data(), dib.size());
    }
}

}  // namespace

namespace portable {

void input_mouse_button(HWND, MouseButton button, bool down, bool double_click, int x, int y) {
    std::printf("button %s %s%s %d %d\n", button_name(button), down ? "down" : "up",
                double_click ? " double" : "", x, y);
    std::fflush(stdout);
    // Like the core, the probe acts on input only after the driver has
    // returned from poll() or wait(), not inside GTK's event handling.
    if (button == MouseButton::right && down)
        menu_at.push_back(POINT{x, y});
    std::fflush(stdout);
}
void input_mouse_move(HWND, int, int) {}
void input_key(HWND, UINT vk, bool down) {
    std::printf("key 0x%02X %s\n", vk, down ? "down" : "up");
    if (vk == 'V' && down)
        paste_requests++;
    std::fflush(stdout);
}
void input_mouse_wheel(HWND, bool horizontal, int delta, int x, int y) {
    std::printf("wheel %s %d %d %d\n", horizontal ? "horizontal" : "vertical", delta, x, y);
    std::fflush(stdout);
}
void input_scroll(HWND, int bar, UINT code, int position) {
    std::printf("scroll %d %u %d\n", bar, code, position);
    std::fflush(stdout);
}
void input_expose(HWND, const RECT* r) {
    exposed.push_back(r != nullptr ? *r : RECT{0, 0, kWidth, kHeight});
}
void input_close_request(HWND) {
    std::printf("close\n");
    std::fflush(stdout);
    closing = true;
}
void host_clipboard_taken() {
    std::printf("clipboard taken\n");
    std::fflush(stdout);
}
void set_clipboard_host(ClipboardHost* host) {
    clipboard_host = host;
}

}  // namespace portable

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: gtk_driver_probe PATTERN.bmp PASTED.bmp\n");
        return 2;
    }
    pasted_path = argv[2];
    if (!write_bitmap_file(argv[1], pattern_dib())) {
        std::fprintf(stderr, "gtk_driver_probe: cannot write %s\n", argv[1]);
        return 2;
    }

    std::unique_ptr<portable::DisplayDriver> owned(portable::create_gtk_driver());
    driver = owned.get();
    if (driver == nullptr) {
        std::fprintf(stderr, "gtk_driver_probe: no display\n");
        return 3;
    }
    surface.width = kWidth;
    surface.height = kHeight;
    surface.pixels.resize(kWidth * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            surface.pixels[y * kWidth + x] = pattern(x, y);

    portable::WindowInfo info;
    info.hwnd = kWindow;
    info.title = "gtk driver probe";
    info.client_width = kWidth;
    info.client_height = kHeight;
    info.minimizable = true;
    driver->window_created(info);
    driver->icon_changed(kWindow, reinterpret_cast<HICON>(uintptr_t{1}), true);
    driver->window_shown(kWindow, true);
    driver->present(kWindow, surface, RECT{0, 0, kWidth, kHeight});
    std::printf("ready\n");
    std::fflush(stdout);

    size_t exposes = 0;
    while (!closing) {
        if (!driver->poll() && exposed.empty())
            driver->wait();
        std::vector<POINT> menus = std::move(menu_at);
        menu_at.clear();
        for (POINT p : menus)
            show_menu(p.x, p.y);
        for (; paste_requests > 0; --paste_requests)
            paste();
        std::fflush(stdout);
        for (const RECT& r : exposed)
            driver->present(kWindow, surface, r);
        exposes += exposed.size();
        exposed.clear();
    }
    driver->window_destroyed(kWindow);
    driver->shutdown();
    std::printf("exposes %zu\nbye\n", exposes);
    return 0;
}
