// Painting and geometry in the portable core: generated WM_PAINT, BeginPaint
// and EndPaint, surfaces, and frame metrics that agree everywhere.
#include <gtest/gtest.h>

#include "tests/platform/core_support.h"

namespace {

class CorePaintTest : public ::testing::Test {
  protected:
    void SetUp() override { fresh_core(); }
};

TEST_F(CorePaintTest, PaintComesOnlyWhenTheQueueIsEmptyAndUntilValidated) {
    HWND hwnd = make_window(WS_OVERLAPPEDWINDOW);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));  // hidden: nothing to paint
    ShowWindow(hwnd, SW_SHOW);
    PostMessageA(hwnd, WM_USER, 0, 0);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
    // WM_PAINT is not removed by taking it: it comes again while the window is invalid.
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
        EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
        EXPECT_EQ(msg.hwnd, hwnd);
    }
    DispatchMessageA(&msg);  // the default handling validates
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

    RECT part{5, 6, 10, 12};
    InvalidateRect(hwnd, &part, FALSE);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
    ValidateRect(hwnd, nullptr);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(CorePaintTest, BeginPaintErasesOnceAndValidatesTheBoundingRectangle) {
    HWND hwnd = make_window(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    ValidateRect(hwnd, nullptr);
    RECT a{10, 10, 20, 20}, b{30, 5, 40, 15};
    InvalidateRect(hwnd, &a, TRUE);
    InvalidateRect(hwnd, &b, FALSE);
    delivered.clear();
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(ps.hdc, dc);
    EXPECT_EQ(ps.rcPaint.left, 10);
    EXPECT_EQ(ps.rcPaint.top, 5);
    EXPECT_EQ(ps.rcPaint.right, 40);
    EXPECT_EQ(ps.rcPaint.bottom, 20);
    EXPECT_TRUE(ps.fErase);  // the class has no brush, so nothing was erased
    EXPECT_EQ(messages_of(hwnd), (std::vector<UINT>{WM_ERASEBKGND}));
    RECT left{};
    EXPECT_FALSE(GetUpdateRect(hwnd, &left, FALSE));
    EXPECT_TRUE(EndPaint(hwnd, &ps));
    EXPECT_EQ(portable::test::driver_presents(), 1);
}

TEST_F(CorePaintTest, ClassBrushErasesTheBackground) {
    fresh_core(CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    HWND hwnd = make_window(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    UpdateWindow(hwnd);
    EXPECT_EQ(portable::test::pixel(hwnd, 0, 0), 0xFFFFFFu);
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(portable::test::pixel(hwnd, client.right - 1, client.bottom - 1), 0xFFFFFFu);
}

TEST_F(CorePaintTest, StretchDIBitsInWmPaintReachesTheWindowsSurface) {
    // A 2 x 2 bottom-up 24-bit picture: bottom row blue, green; top row red, white.
    const uint8_t bits[16] = {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 2;
    info.bmiHeader.biHeight = 2;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    react = [&](HWND h, UINT msg, WPARAM, LPARAM, LRESULT&) {
        if (msg != WM_PAINT)
            return false;
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        StretchDIBits(dc, 0, 0, 2, 2, 0, 0, 2, 2, bits, &info, DIB_RGB_COLORS, SRCCOPY);
        EndPaint(h, &ps);
        return true;
    };
    HWND hwnd = make_window(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    UpdateWindow(hwnd);
    EXPECT_EQ(portable::test::pixel(hwnd, 0, 0), 0xFF0000u);
    EXPECT_EQ(portable::test::pixel(hwnd, 1, 0), 0xFFFFFFu);
    EXPECT_EQ(portable::test::pixel(hwnd, 0, 1), 0x0000FFu);
    EXPECT_EQ(portable::test::pixel(hwnd, 1, 1), 0x00FF00u);
    EXPECT_EQ(portable::test::driver_presents(), 1);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));  // painted and valid
    EXPECT_EQ(portable::live_gdi_objects(), 0u);                 // the paint context went
}

TEST_F(CorePaintTest, ContextOfAWindowDestroyedWhilePaintingDrawsNowhere) {
    const uint8_t bits[4] = {1, 2, 3, 0};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 1;
    info.bmiHeader.biHeight = 1;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    react = [&](HWND h, UINT msg, WPARAM, LPARAM, LRESULT&) {
        if (msg != WM_PAINT)
            return false;
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        DestroyWindow(h);
        StretchDIBits(dc, 0, 0, 50, 50, 0, 0, 1, 1, bits, &info, DIB_RGB_COLORS, SRCCOPY);
        EndPaint(h, &ps);
        return true;
    };
    HWND hwnd = make_window(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    UpdateWindow(hwnd);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(portable::live_gdi_objects(), 0u);
}

struct FrameCase {
    const char* name;
    DWORD style;
    DWORD ex_style;
};

class FrameTest : public CorePaintTest, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(FrameTest, AdjustWindowRectExGivesWindowsWithExactlyThatClientArea) {
    const FrameCase& c = GetParam();
    RECT r{0, 0, 317, 211};
    ASSERT_TRUE(AdjustWindowRectEx(&r, c.style, FALSE, c.ex_style));
    const int width = r.right - r.left, height = r.bottom - r.top;
    HWND hwnd = CreateWindowExA(c.ex_style, "Core Test", "", c.style, 100, 50, width, height,
                                nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    RECT client, window;
    GetClientRect(hwnd, &client);
    GetWindowRect(hwnd, &window);
    EXPECT_EQ(client.right, 317);
    EXPECT_EQ(client.bottom, 211);
    EXPECT_EQ(window.left, 100);
    EXPECT_EQ(window.top, 50);
    EXPECT_EQ(window.right - window.left, width);
    EXPECT_EQ(window.bottom - window.top, height);
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    EXPECT_EQ(origin.x, 100 - r.left);
    EXPECT_EQ(origin.y, 50 - r.top);
    ScreenToClient(hwnd, &origin);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);
    const portable::Surface* s = portable::test::surface(hwnd);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->width, 317);
    EXPECT_EQ(s->height, 211);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, FrameTest,
    ::testing::Values(FrameCase{"viewer", 0xCA0000, 0},
                      FrameCase{"overlapped_window", WS_OVERLAPPEDWINDOW, 0},
                      FrameCase{"tool", 0xCA0000, WS_EX_TOOLWINDOW},
                      FrameCase{"modal_frame", WS_POPUP | WS_CAPTION, WS_EX_DLGMODALFRAME},
                      FrameCase{"bordered_popup", WS_POPUP | WS_BORDER, WS_EX_CLIENTEDGE},
                      FrameCase{"bare_popup", WS_POPUP, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CorePaintTest, FrameMetricsAreTheSystemMetrics) {
    RECT r{0, 0, 0, 0};
    AdjustWindowRectEx(&r, 0xCA0000, FALSE, 0);
    EXPECT_EQ(-r.left, GetSystemMetrics(SM_CXDLGFRAME));
    EXPECT_EQ(-r.top, GetSystemMetrics(SM_CYDLGFRAME) + GetSystemMetrics(SM_CYCAPTION));
    RECT m{0, 0, 0, 0};
    AdjustWindowRectEx(&m, WS_OVERLAPPEDWINDOW, TRUE, 0);
    EXPECT_EQ(-m.left, GetSystemMetrics(SM_CXFRAME));
    EXPECT_EQ(-m.top, GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) +
                          GetSystemMetrics(SM_CYMENU));
}

TEST_F(CorePaintTest, ChildPaintingShowsInItsTopLevelWindow) {
    HWND parent = make_window(WS_POPUP | WS_VISIBLE, nullptr, 0, 0, 50, 40);
    HWND child = make_window(WS_CHILD | WS_VISIBLE, parent, 10, 5, 8, 6);
    UpdateWindow(parent);
    react = [](HWND h, UINT msg, WPARAM, LPARAM, LRESULT&) {
        if (msg != WM_PAINT)
            return false;
        PAINTSTRUCT ps;
        BeginPaint(h, &ps);
        portable::DeviceContext* dc = portable::dc_from_handle(ps.hdc);
        for (uint32_t& p : dc->surface->pixels)
            p = 0x123456;
        EndPaint(h, &ps);
        return true;
    };
    InvalidateRect(child, nullptr, FALSE);
    UpdateWindow(child);
    EXPECT_EQ(portable::test::pixel(parent, 10, 5), 0x123456u);
    EXPECT_EQ(portable::test::pixel(parent, 17, 10), 0x123456u);
    EXPECT_EQ(portable::test::pixel(parent, 18, 10), 0u);
    EXPECT_EQ(portable::test::pixel(child, 0, 0), 0x123456u);

    // A grandchild larger than its parent shows only within it.
    HWND grandchild = make_window(WS_CHILD | WS_VISIBLE, child, 2, 2, 20, 20);
    react = [](HWND h, UINT msg, WPARAM, LPARAM, LRESULT&) {
        if (msg != WM_PAINT)
            return false;
        PAINTSTRUCT ps;
        BeginPaint(h, &ps);
        for (uint32_t& p : portable::dc_from_handle(ps.hdc)->surface->pixels)
            p = 0xABCDEF;
        EndPaint(h, &ps);
        return true;
    };
    ValidateRect(child, nullptr);
    InvalidateRect(grandchild, nullptr, FALSE);
    UpdateWindow(grandchild);
    EXPECT_EQ(portable::test::pixel(parent, 12, 7), 0xABCDEFu);
    EXPECT_EQ(portable::test::pixel(parent, 17, 10), 0xABCDEFu);
    EXPECT_EQ(portable::test::pixel(parent, 18, 10), 0u);
    EXPECT_EQ(portable::test::pixel(parent, 11, 6), 0x123456u);
}

}  // namespace
