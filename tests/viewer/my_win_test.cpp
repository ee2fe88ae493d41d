// The viewer as a user meets it, run through the headless driver: the report
// before the window shows, the picture 1 : 1, the "copy" menu, closing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/load_input.h"
#include "app/viewer_run.h"
#include "platform/portable/clipboard_control.h"
#include "platform/portable/test_control.h"
#include "platform/win32.h"
#include "quantize/process.h"
#include "window/my_win.h"

namespace {

using portable::MouseButton;
namespace test = portable::test;

const char* const sample = "samples/astronaut.bmp";

// Standard output goes to a temporary file for the life of the object, so
// that a test can see how much of the report existed at a given moment.
class StdoutToFile {
  public:
    StdoutToFile() : file_(std::tmpfile()), saved_(dup(1)) {
        std::fflush(stdout);
        dup2(fileno(file_), 1);
    }
    ~StdoutToFile() {
        std::fflush(stdout);
        dup2(saved_, 1);
        close(saved_);
        std::fclose(file_);
    }
    long size() const {
        std::fflush(stdout);
        struct stat st {};
        fstat(1, &st);
        return static_cast<long>(st.st_size);
    }
    std::string text() const {
        std::fflush(stdout);
        std::string all(static_cast<size_t>(size()), '\0');
        std::rewind(file_);
        size_t n = std::fread(all.data(), 1, all.size(), file_);
        all.resize(n);
        return all;
    }

  private:
    FILE* file_;
    int saved_;
};

// A viewer window that notes what it saw of the run, and can script the user
// once its window exists.
class ObservedWin : public MyWin {
  public:
    const StdoutToFile* output = nullptr;
    long report_bytes_when_shown = -1;
    int paints = 0;
    std::vector<UINT> messages;

    LRESULT window_proc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        messages.push_back(msg);
        if (msg == WM_SHOWWINDOW && wParam && report_bytes_when_shown < 0 && output != nullptr)
            report_bytes_when_shown = output->size();
        if (msg == WM_PAINT)
            ++paints;
        return MyWin::window_proc(msg, wParam, lParam);
    }
};

class Viewer : public ::testing::Test {
  protected:
    void SetUp() override {
        test::reset();
        portable::reset_clipboard();
        image.create(1, 1, 0);
        ASSERT_TRUE(load_input(image, sample));
        reduced.create(1, 1, 0);
        ASSERT_TRUE(load_input(reduced, sample));
        std::FILE* sink = std::tmpfile();
        process(reduced, sink);
        std::fclose(sink);
    }
    void TearDown() override { test::reset(); }

    // Creates and shows the window, as the viewer run does before its loop.
    void open(ObservedWin& window) {
        window.create_and_show(&image);
        ASSERT_NE(window.handle(), nullptr);
    }

    // The client point's pixel as the reduced image has it (rows bottom-up, BGR).
    uint32_t reduced_pixel(int x, int y) const {
        const uint8_t* p = reduced.bits + (reduced.height - 1 - y) * reduced.stride + 3 * x;
        return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
    }

    std::vector<uint8_t> reduced_dib() const {
        HGLOBAL block = reduced.make_global_dib();
        std::vector<uint8_t> bytes(GlobalSize(block));
        std::memcpy(bytes.data(), GlobalLock(block), bytes.size());
        GlobalUnlock(block);
        GlobalFree(block);
        return bytes;
    }

    dib24 image;
    dib24 reduced;  // the sample as the quantizer leaves it
};

TEST_F(Viewer, ReportIsCompleteBeforeTheWindowShowsAndThePictureIsTheReducedImage) {
    std::string report;
    ObservedWin window;
    {
        StdoutToFile output;
        window.output = &output;
        open(window);
        report = output.text();
        window.output = nullptr;
    }
    // The whole report, "cache hit" line included, was out before WM_SHOWWINDOW.
    ASSERT_GT(window.report_bytes_when_shown, 0);
    EXPECT_EQ(window.report_bytes_when_shown, static_cast<long>(report.size()));
    EXPECT_EQ(report.rfind("color count: ", 0), 0u);
    EXPECT_NE(report.find("\nstart\ncache hit: 0% ["), std::string::npos);

    // WM_CREATE before the window shows; painted at once by UpdateWindow.
    auto at = [&](UINT m) {
        for (size_t i = 0; i < window.messages.size(); ++i)
            if (window.messages[i] == m)
                return static_cast<long>(i);
        return -1L;
    };
    ASSERT_GE(at(WM_CREATE), 0);
    EXPECT_LT(at(WM_CREATE), at(WM_SHOWWINDOW));
    EXPECT_LT(at(WM_SHOWWINDOW), at(WM_PAINT));

    RECT client{};
    GetClientRect(window.handle(), &client);
    EXPECT_EQ(client.right - client.left, image.width);
    EXPECT_EQ(client.bottom - client.top, image.height);

    // The image was reduced in place exactly as the quantizer alone does it,
    // and the window shows it pixel for pixel.
    ASSERT_EQ(
        0, std::memcmp(image.bits, reduced.bits, static_cast<size_t>(image.stride) * image.height));
    const portable::Surface* shown = test::surface(window.handle());
    ASSERT_NE(shown, nullptr);
    ASSERT_EQ(shown->width, image.width);
    ASSERT_EQ(shown->height, image.height);
    int wrong = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            wrong += shown->at(x, y) != reduced_pixel(x, y);
    EXPECT_EQ(wrong, 0);

    // The title is the program's own path.
    char title[MAX_PATH] = {};
    GetWindowTextA(window.handle(), title, MAX_PATH);
    EXPECT_EQ(std::string(title), MyWin::module_file_path());
    EXPECT_FALSE(std::string(title).empty());
}

TEST_F(Viewer, RightClickOffersCopyAtTheClickAndCopyPutsTheReducedImageOnTheClipboard) {
    ObservedWin window;
    StdoutToFile quiet;
    open(window);
    POINT screen{30, 40};
    ClientToScreen(window.handle(), &screen);
    test::choose_popup_item(1);
    test::click(window.handle(), MouseButton::right, 30, 40);
    window.run_modal(false);  // the click, then the idle driver closes the window

    ASSERT_EQ(test::popups_shown(), 1);
    const test::PopupRecord& menu = test::last_popup();
    EXPECT_EQ(menu.screen.x, screen.x);
    EXPECT_EQ(menu.screen.y, screen.y);
    ASSERT_EQ(menu.entries.size(), 1u);
    EXPECT_EQ(menu.entries[0].text, "copy");
    EXPECT_EQ(menu.entries[0].id, 1u);
    EXPECT_FALSE(menu.entries[0].grayed);
    EXPECT_EQ(portable::clipboard_dib(), reduced_dib());
    EXPECT_EQ(test::live_menus(), 0u);
}

TEST_F(Viewer, DismissingTheMenuChangesNothing) {
    const uint8_t other[44] = {40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24};
    ASSERT_TRUE(portable::put_foreign_clipboard_dib(other, sizeof other));
    const std::vector<uint8_t> before = portable::clipboard_dib();
    ObservedWin window;
    StdoutToFile quiet;
    open(window);
    test::dismiss_popup();
    test::click(window.handle(), MouseButton::right, 5, 5);
    window.run_modal(false);
    EXPECT_EQ(test::popups_shown(), 1);
    EXPECT_EQ(test::last_popup().result, 0u);
    EXPECT_EQ(portable::clipboard_dib(), before);
    EXPECT_EQ(
        0, std::memcmp(image.bits, reduced.bits, static_cast<size_t>(image.stride) * image.height));
}

TEST_F(Viewer, ClosingTheWindowEndsTheRunWithoutAQuitMessage) {
    ObservedWin window;
    StdoutToFile quiet;
    open(window);
    test::set_close_when_idle(false);
    test::close_request(window.handle());
    EXPECT_EQ(window.run_modal(false), 0);
    EXPECT_EQ(window.handle(), nullptr);
    MSG msg{};
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_GE(window.paints, 1);
}

// A viewer window whose native window refuses to be created.
class RefusedWin : public MyWin {
  public:
    LRESULT window_proc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_NCCREATE)
            return FALSE;
        return MyWin::window_proc(msg, wParam, lParam);
    }
};

// The steps of the viewer run: the loop of a window that was never made
// ends at once.
TEST_F(Viewer, AFailedWindowCreationEndsTheLoopAtOnce) {
    RefusedWin window;
    StdoutToFile output;
    window.create_and_show(&image);
    EXPECT_EQ(window.handle(), nullptr);
    EXPECT_EQ(window.run_modal(false), 0);
    EXPECT_EQ(test::driver_wait_calls(), 0);
    EXPECT_EQ(output.text(), "");  // nothing was processed, nothing reported
}

TEST_F(Viewer, TheWholeRunEndsByItselfWithoutADisplay) {
    StdoutToFile output;
    EXPECT_EQ(run_viewer(image), 0);
    EXPECT_NE(output.text().find("cache hit: 0% ["), std::string::npos);
    EXPECT_GE(test::driver_close_requests(), 1);
    EXPECT_TRUE(portable::visible_top_level_windows().empty());
}

// A picture of `width` x `height` whose every part looks different, so that
// a view shifted by any amount shows other pixels.
void fill_picture(dib24& picture, int width, int height) {
    picture.create(width, height, 0);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture.bits + static_cast<size_t>(height - 1 - y) * picture.stride;
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<uint8_t>((x + 2 * y) / 8);
            row[3 * x + 1] = static_cast<uint8_t>(y / 13);
            row[3 * x + 2] = static_cast<uint8_t>(x / 17);
        }
    }
}

uint32_t picture_pixel(const dib24& picture, int x, int y) {
    const uint8_t* p = picture.bits + (picture.height - 1 - y) * picture.stride + 3 * x;
    return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

// How many pixels of the window's client area differ from the picture's part
// whose top-left corner is `at`.
long pixels_off(HWND hwnd, const dib24& picture, POINT at) {
    const portable::Surface* shown = test::surface(hwnd);
    if (shown == nullptr)
        return -1;
    long wrong = 0;
    for (int y = 0; y < shown->height; ++y)
        for (int x = 0; x < shown->width; ++x)
            wrong += shown->at(x, y) != picture_pixel(picture, at.x + x, at.y + y);
    return wrong;
}

// Hands the scripted input to the window and lets it handle everything.
void deliver() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

struct FitCase {
    const char* name;
    int width, height;          // the picture
    RECT work;                  // the headless screen's work area (400 x 300 screen)
    bool horizontal, vertical;  // the scroll bars the window should get
};

class ViewerFit : public Viewer, public ::testing::WithParamInterface<FitCase> {};

// The core's frame around a captioned client area, and its scroll bars.
constexpr int frame_width = 6, frame_height = 25, bar = 17;

TEST_P(ViewerFit, WindowKeepsToTheWorkAreaWithScrollBarsOnlyWhereThePictureOverflows) {
    const FitCase& c = GetParam();
    test::set_screen(RECT{0, 0, 400, 300}, c.work);
    dib24 picture;
    fill_picture(picture, c.width, c.height);
    ObservedWin window;
    StdoutToFile quiet;
    window.create_and_show(&picture);
    ASSERT_NE(window.handle(), nullptr);

    const DWORD style = static_cast<DWORD>(GetWindowLongA(window.handle(), GWL_STYLE));
    EXPECT_EQ((style & WS_HSCROLL) != 0, c.horizontal);
    EXPECT_EQ((style & WS_VSCROLL) != 0, c.vertical);
    EXPECT_EQ(style & ~static_cast<DWORD>(WS_HSCROLL | WS_VSCROLL | WS_VISIBLE | WS_CLIPSIBLINGS),
              MyWin::window_style);
    RECT client{}, outer{};
    GetClientRect(window.handle(), &client);
    GetWindowRect(window.handle(), &outer);
    const LONG work_width = c.work.right - c.work.left, work_height = c.work.bottom - c.work.top;
    // The window goes where the system puts windows unless it must fill the
    // work area.
    const portable::WindowInfo* shown = test::driver_window(window.handle());
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->placed, c.horizontal || c.vertical);
    if (!c.horizontal && !c.vertical) {
        // Exactly as before: the whole picture, and no scroll bar was ever
        // given information (else it would have some).
        EXPECT_EQ(client.right, c.width);
        EXPECT_EQ(client.bottom, c.height);
        EXPECT_EQ(outer.right - outer.left, c.width + frame_width);
        EXPECT_EQ(outer.bottom - outer.top, c.height + frame_height);
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_ALL;
        EXPECT_FALSE(GetScrollInfo(window.handle(), SB_VERT, &info));
        return;
    }
    // The window lies in the work area and fills it where the picture overflows.
    EXPECT_EQ(outer.left, c.work.left);
    EXPECT_EQ(outer.top, c.work.top);
    EXPECT_EQ(outer.right - outer.left,
              c.horizontal ? work_width : c.width + frame_width + (c.vertical ? bar : 0));
    EXPECT_EQ(outer.bottom - outer.top,
              c.vertical ? work_height : c.height + frame_height + (c.horizontal ? bar : 0));
    EXPECT_EQ(client.right,
              c.horizontal ? work_width - frame_width - (c.vertical ? bar : 0) : c.width);
    EXPECT_EQ(client.bottom,
              c.vertical ? work_height - frame_height - (c.horizontal ? bar : 0) : c.height);
    // Each bar spans the picture with a page of what is in view.
    for (int b : {SB_HORZ, SB_VERT}) {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_ALL;
        ASSERT_TRUE(GetScrollInfo(window.handle(), b, &info));
        EXPECT_EQ(info.nMin, 0);
        EXPECT_EQ(info.nMax, (b == SB_HORZ ? c.width : c.height) - 1);
        EXPECT_EQ(info.nPage, static_cast<UINT>(b == SB_HORZ ? client.right : client.bottom));
        EXPECT_EQ(info.nPos, 0);
    }
    EXPECT_EQ(pixels_off(window.handle(), picture, POINT{0, 0}), 0);
}

// On a 400 x 300 screen the frame leaves 394 x 275 for the picture.
INSTANTIATE_TEST_SUITE_P(
    Sizes, ViewerFit,
    ::testing::Values(FitCase{"largest_that_fits", 394, 275, {0, 0, 400, 300}, false, false},
                      FitCase{"small", 50, 40, {0, 0, 400, 300}, false, false},
                      FitCase{"too_wide", 395, 200, {0, 0, 400, 300}, true, false},
                      FitCase{"too_tall", 200, 276, {0, 0, 400, 300}, false, true},
                      // One bar takes the room that the other dimension needed.
                      FitCase{"too_wide_then_too_tall", 395, 275, {0, 0, 400, 300}, true, true},
                      FitCase{"too_tall_then_too_wide", 380, 276, {0, 0, 400, 300}, true, true},
                      FitCase{"both", 1000, 900, {0, 0, 400, 300}, true, true},
                      // A panel at the top and one at the left take their share.
                      FitCase{"work_area_below_a_panel", 200, 260, {0, 30, 400, 300}, false, true},
                      FitCase{
                          "work_area_beside_a_panel", 380, 100, {40, 0, 400, 300}, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

// The picture of a camera on the headless 1920 x 1080 screen: End, Home,
// the keys, the wheel, the scroll bars and dragging each show the part of the
// reduced picture they should; copying still takes the whole picture.
TEST_F(Viewer, LargePictureScrollsToEveryPartAndCopiesWhole) {
    dib24 picture;
    fill_picture(picture, 4224, 3168);
    ObservedWin window;
    StdoutToFile quiet;
    window.create_and_show(&picture);
    ASSERT_NE(window.handle(), nullptr);
    HWND hwnd = window.handle();
    RECT outer{}, client{};
    GetWindowRect(hwnd, &outer);
    GetClientRect(hwnd, &client);
    EXPECT_TRUE(outer.left >= 0 && outer.top >= 0 && outer.right <= 1920 && outer.bottom <= 1080)
        << outer.left << "," << outer.top << " " << outer.right << "," << outer.bottom;
    const LONG view_w = client.right, view_h = client.bottom;
    const LONG last_x = 4224 - view_w, last_y = 3168 - view_h;
    const LONG line_x = view_w / 20, line_y = view_h / 20;
    ASSERT_GT(last_x, 0);
    ASSERT_GT(last_y, 0);

    using Act = std::function<void()>;
    auto key = [&](UINT vk) { return Act([=] { test::key_press(hwnd, vk); }); };
    auto wheel = [&](int delta, bool tilt = false) {
        return Act([=] { test::wheel(hwnd, delta, 100, 100, tilt); });
    };
    auto bar_use = [&](int b, UINT code, int pos = 0) {
        return Act([=] {
            test::scroll_bar(hwnd, b, code, pos);
            test::scroll_bar(hwnd, b, SB_ENDSCROLL);
        });
    };
    struct Step {
        const char* what;
        Act act;
        POINT origin;  // where the view should be afterwards
    };
    const Step steps[] = {
        {"End", key(VK_END), {last_x, last_y}},
        {"Down at the bottom", key(VK_DOWN), {last_x, last_y}},
        {"Right at the right", key(VK_RIGHT), {last_x, last_y}},
        {"Home", key(VK_HOME), {0, 0}},
        {"Up at the top", key(VK_UP), {0, 0}},
        {"wheel towards the user", wheel(-WHEEL_DELTA), {0, 3 * line_y}},
        {"half a notch is not yet a line", wheel(-WHEEL_DELTA / 6), {0, 3 * line_y}},
        {"the other half makes one", wheel(-WHEEL_DELTA / 6), {0, 4 * line_y}},
        {"wheel away from the user", wheel(2 * WHEEL_DELTA), {0, 0}},
        {"tilt to the right", wheel(WHEEL_DELTA, true), {3 * line_x, 0}},
        {"Shift and the wheel go sideways",
         [&] {
             test::key(hwnd, VK_SHIFT, true);
             test::wheel(hwnd, WHEEL_DELTA, 100, 100);
             test::key(hwnd, VK_SHIFT, false);
         },
         {0, 0}},
        {"Page Down", key(VK_NEXT), {0, view_h}},
        {"Right", key(VK_RIGHT), {line_x, view_h}},
        {"Page Up", key(VK_PRIOR), {line_x, 0}},
        {"Left", key(VK_LEFT), {0, 0}},
        {"vertical bar: arrow down", bar_use(SB_VERT, SB_LINEDOWN), {0, line_y}},
        {"vertical bar: below the thumb", bar_use(SB_VERT, SB_PAGEDOWN), {0, line_y + view_h}},
        {"vertical bar: thumb dragged",
         [&] {
             test::scroll_bar(hwnd, SB_VERT, SB_THUMBTRACK, 700);
             test::scroll_bar(hwnd, SB_VERT, SB_THUMBTRACK, 1500);
             test::scroll_bar(hwnd, SB_VERT, SB_THUMBPOSITION, 1500);
             test::scroll_bar(hwnd, SB_VERT, SB_ENDSCROLL);
         },
         {0, 1500}},
        {"horizontal bar: thumb beyond the end",
         bar_use(SB_HORZ, SB_THUMBTRACK, 99999),
         {last_x, 1500}},
        {"horizontal bar: left of the thumb",
         bar_use(SB_HORZ, SB_PAGELEFT),
         {last_x - view_w, 1500}},
        {"vertical bar: to the top", bar_use(SB_VERT, SB_TOP), {last_x - view_w, 0}},
        {"horizontal bar: to the left", bar_use(SB_HORZ, SB_LEFT), {0, 0}},
        {"drag up and to the left",
         [&] {
             test::mouse_button(hwnd, MouseButton::left, true, 500, 600);
             test::mouse_move(hwnd, 450, 500);
             test::mouse_move(hwnd, 400, 300);
             test::mouse_button(hwnd, MouseButton::left, false, 400, 300);
         },
         {100, 300}},
        {"a drag goes on outside the window",
         [&] {
             test::mouse_button(hwnd, MouseButton::left, true, 10, 10);
             test::mouse_move(hwnd, -90, -190);
             test::mouse_button(hwnd, MouseButton::left, false, -90, -190);
             test::mouse_move(hwnd, 300, 300);  // released: moving no longer pans
         },
         {200, 500}},
    };
    for (const Step& step : steps) {
        step.act();
        deliver();
        EXPECT_EQ(window.origin.x, step.origin.x) << step.what;
        EXPECT_EQ(window.origin.y, step.origin.y) << step.what;
        EXPECT_EQ(pixels_off(hwnd, picture, step.origin), 0) << step.what;
        for (int b : {SB_HORZ, SB_VERT}) {
            SCROLLINFO info{};
            info.cbSize = sizeof info;
            info.fMask = SIF_POS | SIF_TRACKPOS;
            GetScrollInfo(hwnd, b, &info);
            const LONG want = b == SB_HORZ ? step.origin.x : step.origin.y;
            EXPECT_EQ(info.nPos, want) << step.what;
            EXPECT_EQ(info.nTrackPos, want) << step.what << ": the drag has ended";
        }
    }
    EXPECT_EQ(GetCapture(), nullptr);

    // Ctrl+C and the menu's "copy" both take the whole picture, not the view.
    HGLOBAL block = picture.make_global_dib();
    std::vector<uint8_t> whole(GlobalSize(block));
    std::memcpy(whole.data(), GlobalLock(block), whole.size());
    GlobalUnlock(block);
    GlobalFree(block);
    test::key(hwnd, VK_CONTROL, true);
    test::key_press(hwnd, 'C');
    test::key(hwnd, VK_CONTROL, false);
    deliver();
    EXPECT_EQ(portable::clipboard_dib(), whole);
    portable::reset_clipboard();
    test::choose_popup_item(1);
    test::click(hwnd, MouseButton::right, 700, 800);
    deliver();
    EXPECT_EQ(portable::clipboard_dib(), whole);
    POINT screen{700, 800};
    ClientToScreen(hwnd, &screen);
    EXPECT_EQ(test::last_popup().screen.x, screen.x);
    EXPECT_EQ(test::last_popup().screen.y, screen.y);
}

}  // namespace
