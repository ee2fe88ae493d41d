// Standard scroll bars and the input that scrolls, against the window
// system: what SetScrollInfo keeps, what the frame gives them, and the
// messages a click on a bar, a turn of the wheel and a key press bring.
#include <gtest/gtest.h>

#include "tests/window/recorder.h"
#include "tests/window/seam.h"
#include "window/nwindow.h"

namespace {

constexpr DWORD viewer_style = 0xCA0000;  // caption, system menu, minimize box
constexpr DWORD both_bars = WS_HSCROLL | WS_VSCROLL;

class ScrollBarTest : public ::testing::Test {
  protected:
    void SetUp() override { seam::reset(); }
};

bool create(NWindow& w, DWORD style, int width = 300, int height = 200) {
    return w.create_window(0, "scroll", style, CW_USEDEFAULT, CW_USEDEFAULT, width, height, nullptr,
                           nullptr, nullptr);
}

SCROLLINFO info_of(UINT mask, int min = 0, int max = 0, UINT page = 0, int pos = 0) {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = mask;
    si.nMin = min;
    si.nMax = max;
    si.nPage = page;
    si.nPos = pos;
    return si;
}

SCROLLINFO read_bar(HWND hwnd, int bar) {
    SCROLLINFO si = info_of(SIF_ALL);
    EXPECT_TRUE(GetScrollInfo(hwnd, bar, &si));
    return si;
}

bool has_style(HWND hwnd, DWORD bits) {
    return (static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)) & bits) == bits;
}

struct ClampCase {
    const char* name;
    SCROLLINFO set;  // applied to a bar at 0..99, page 10, position 40
    int returned;
    int min, max;
    UINT page;
    int pos;
    bool shown;
};

class ScrollInfoTest : public ScrollBarTest, public ::testing::WithParamInterface<ClampCase> {};

TEST_P(ScrollInfoTest, KeepsPageAndPositionInRangeAndTheBarWhileThereIsSomethingToScroll) {
    const ClampCase& c = GetParam();
    Recorder w;
    ASSERT_TRUE(create(w, viewer_style | both_bars));
    SCROLLINFO start = info_of(SIF_RANGE | SIF_PAGE | SIF_POS, 0, 99, 10, 40);
    ASSERT_EQ(SetScrollInfo(w.handle(), SB_VERT, &start, TRUE), 40);
    EXPECT_EQ(SetScrollInfo(w.handle(), SB_VERT, &c.set, TRUE), c.returned);
    const SCROLLINFO got = read_bar(w.handle(), SB_VERT);
    EXPECT_EQ(got.nMin, c.min);
    EXPECT_EQ(got.nMax, c.max);
    EXPECT_EQ(got.nPage, c.page);
    EXPECT_EQ(got.nPos, c.pos);
    EXPECT_EQ(got.nTrackPos, c.pos);  // no thumb is being dragged
    EXPECT_EQ(has_style(w.handle(), WS_VSCROLL), c.shown);
    EXPECT_TRUE(has_style(w.handle(), WS_HSCROLL));  // the other bar is left alone
}

constexpr UINT all_three = SIF_RANGE | SIF_PAGE | SIF_POS;

INSTANTIATE_TEST_SUITE_P(
    Cases, ScrollInfoTest,
    ::testing::Values(
        ClampCase{"within", info_of(all_three, 0, 99, 10, 50), 50, 0, 99, 10, 50, true},
        ClampCase{"position_past_the_last_page", info_of(all_three, 0, 99, 10, 95), 90, 0, 99, 10,
                  90, true},
        ClampCase{"position_before_the_range", info_of(all_three, 10, 99, 10, 3), 10, 10, 99, 10,
                  10, true},
        ClampCase{"no_page_reaches_the_maximum", info_of(all_three, 0, 99, 0, 150), 99, 0, 99, 0,
                  99, true},
        ClampCase{"page_one_short_of_the_range", info_of(all_three, 0, 99, 99, 5), 1, 0, 99, 99, 1,
                  true},
        ClampCase{"page_covering_the_range_takes_the_bar", info_of(all_three, 0, 99, 100, 5), 0, 0,
                  99, 100, 0, false},
        ClampCase{"page_beyond_the_range_is_cut", info_of(all_three, 0, 99, 500, 0), 0, 0, 99, 100,
                  0, false},
        ClampCase{"disabled_instead_of_taken",
                  info_of(all_three | SIF_DISABLENOSCROLL, 0, 99, 100, 5), 0, 0, 99, 100, 0, true},
        ClampCase{"position_alone_keeps_range_and_page", info_of(SIF_POS, 0, 0, 0, 1000), 90, 0, 99,
                  10, 90, true},
        ClampCase{"page_alone_moves_the_position_back", info_of(SIF_PAGE, 0, 0, 70, 0), 30, 0, 99,
                  70, 30, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScrollBarTest, BarsAreOutsideAdjustWindowRectExButInsideTheFrame) {
    // AdjustWindowRectEx leaves the bars out: a window of its size has a
    // client area smaller by the bars.
    RECT plain{0, 0, 200, 120}, barred{0, 0, 200, 120};
    AdjustWindowRectEx(&plain, viewer_style, FALSE, 0);
    AdjustWindowRectEx(&barred, viewer_style | both_bars, FALSE, 0);
    EXPECT_EQ(plain.left, barred.left);
    EXPECT_EQ(plain.top, barred.top);
    EXPECT_EQ(plain.right, barred.right);
    EXPECT_EQ(plain.bottom, barred.bottom);
    const int bar_width = GetSystemMetrics(SM_CXVSCROLL),
              bar_height = GetSystemMetrics(SM_CYHSCROLL);
    EXPECT_GT(bar_width, 0);
    EXPECT_GT(bar_height, 0);

    struct Case {
        DWORD bars;
        int width, height;
    };
    for (const Case& c : {Case{0, 200, 120}, Case{WS_VSCROLL, 200 - bar_width, 120},
                          Case{WS_HSCROLL, 200, 120 - bar_height},
                          Case{both_bars, 200 - bar_width, 120 - bar_height}}) {
        Recorder w;
        ASSERT_TRUE(create(w, viewer_style | c.bars, barred.right - barred.left,
                           barred.bottom - barred.top));
        RECT client{};
        GetClientRect(w.handle(), &client);
        EXPECT_EQ(client.right, c.width) << "bars " << std::hex << c.bars;
        EXPECT_EQ(client.bottom, c.height) << "bars " << std::hex << c.bars;
        // A window with either bar has both, at 0..100; one without has none.
        for (int bar : {SB_HORZ, SB_VERT}) {
            SCROLLINFO si = info_of(SIF_ALL);
            EXPECT_EQ(GetScrollInfo(w.handle(), bar, &si) != FALSE, c.bars != 0);
            if (c.bars == 0)
                continue;
            EXPECT_EQ(si.nMin, 0);
            EXPECT_EQ(si.nMax, 100);
            EXPECT_EQ(si.nPage, 0u);
            EXPECT_EQ(si.nPos, 0);
        }
    }
}

TEST_F(ScrollBarTest, BarThatComesOrGoesChangesTheClientAreaAndTheWindowHearsItsSize) {
    Recorder w;
    ASSERT_TRUE(create(w, viewer_style | WS_VSCROLL));
    ShowWindow(w.handle(), SW_SHOW);
    pump();
    RECT before{};
    GetClientRect(w.handle(), &before);
    const int bar_width = GetSystemMetrics(SM_CXVSCROLL);
    const std::initializer_list<UINT> sizing = {WM_WINDOWPOSCHANGING, WM_NCCALCSIZE,
                                                WM_WINDOWPOSCHANGED, WM_SIZE};

    w.own_log.clear();
    SCROLLINFO nothing_to_scroll = info_of(SIF_RANGE | SIF_PAGE, 0, 9, 10);
    SetScrollInfo(w.handle(), SB_VERT, &nothing_to_scroll, TRUE);
    EXPECT_FALSE(has_style(w.handle(), WS_VSCROLL));
    RECT without{};
    GetClientRect(w.handle(), &without);
    EXPECT_EQ(without.right, before.right + bar_width);
    EXPECT_EQ(only(w.own_log, sizing), std::vector<UINT>(sizing));
    for (const Seen& s : w.own_log)
        if (s.msg == WM_SIZE) {
            EXPECT_EQ(s.lparam, MAKELPARAM(without.right, without.bottom));
        }

    w.own_log.clear();
    SCROLLINFO scrollable = info_of(SIF_RANGE, 0, 99);
    SetScrollInfo(w.handle(), SB_VERT, &scrollable, TRUE);
    EXPECT_TRUE(has_style(w.handle(), WS_VSCROLL));
    RECT with{};
    GetClientRect(w.handle(), &with);
    EXPECT_EQ(with.right, before.right);
    EXPECT_EQ(only(w.own_log, sizing), std::vector<UINT>(sizing));
}

// What a window hears of the user's hand: the message, wParam, and the part
// of lParam that does not depend on the keyboard (repeat count and the
// transition bits for keys; the screen point for the wheel; 0 for a
// window's own scroll bars).
struct Heard {
    UINT msg;
    WPARAM wparam;
    LPARAM lparam;
    bool operator==(const Heard& o) const = default;
};

std::ostream& operator<<(std::ostream& out, const Heard& h) {
    return out << "{0x" << std::hex << h.msg << ", 0x" << h.wparam << ", 0x" << h.lparam << "}"
               << std::dec;
}

constexpr LPARAM key_down_bits = 1;         // repeat count 1, key was up
constexpr LPARAM key_up_bits = 0xC0000001;  // and was down, is released
constexpr UINT input_messages[] = {WM_HSCROLL, WM_VSCROLL, WM_MOUSEWHEEL, WM_KEYDOWN, WM_KEYUP};

std::vector<Heard> heard(const std::vector<Seen>& log) {
    std::vector<Heard> out;
    for (const Seen& s : log) {
        if (std::find(std::begin(input_messages), std::end(input_messages), s.msg) ==
            std::end(input_messages))
            continue;
        LPARAM l = s.lparam;
        if (s.msg == WM_KEYDOWN || s.msg == WM_KEYUP)
            l &= static_cast<LPARAM>(0xC000FFFF);  // the scan code is the keyboard's
        out.push_back(Heard{s.msg, s.wparam, l});
    }
    return out;
}

struct InputCase {
    const char* name;
    std::function<void(HWND, const seam::Arrived&)> act;
    // The wheel's point is filled in: client point (10, 10) on the screen.
    std::vector<Heard> expected;
};

class ScrollInputTest : public ScrollBarTest, public ::testing::WithParamInterface<InputCase> {};

TEST_P(ScrollInputTest, ArrivesAsWin32Messages) {
    const InputCase& c = GetParam();
    Recorder w;
    ASSERT_TRUE(create(w, viewer_style | both_bars));
    for (int bar : {SB_HORZ, SB_VERT}) {
        SCROLLINFO si = info_of(SIF_RANGE | SIF_PAGE | SIF_POS, 0, 999, 100, 0);
        SetScrollInfo(w.handle(), bar, &si, TRUE);
    }
    ShowWindow(w.handle(), SW_SHOW);
    UpdateWindow(w.handle());
    pump();
    POINT at{10, 10};
    ClientToScreen(w.handle(), &at);
    std::vector<Heard> expected = c.expected;
    for (Heard& h : expected)
        if (h.msg == WM_MOUSEWHEEL)
            h.lparam = MAKELPARAM(at.x, at.y);

    w.own_log.clear();
    c.act(w.handle(), [&] { return heard(w.own_log).size() >= expected.size(); });
    EXPECT_EQ(heard(w.own_log), expected);
    // Nobody moved the bars: they follow the program, not the user.
    EXPECT_EQ(read_bar(w.handle(), SB_VERT).nPos, 0);
    EXPECT_EQ(read_bar(w.handle(), SB_HORZ).nPos, 0);
}

auto bar_click(int bar, seam::BarPart part) {
    return [=](HWND hwnd, const seam::Arrived& arrived) {
        seam::click_scroll_bar(hwnd, bar, part, arrived);
    };
}
auto wheel(int delta, bool shift) {
    return [=](HWND hwnd, const seam::Arrived& arrived) {
        seam::turn_wheel(hwnd, delta, shift, arrived);
    };
}
auto key(UINT vk) {
    return [=](HWND hwnd, const seam::Arrived& arrived) { seam::press_key(hwnd, vk, arrived); };
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, ScrollInputTest,
    ::testing::Values(
        InputCase{"vertical_arrow",
                  bar_click(SB_VERT, seam::BarPart::line_down),
                  {{WM_VSCROLL, SB_LINEDOWN, 0}, {WM_VSCROLL, SB_ENDSCROLL, 0}}},
        InputCase{"vertical_track",
                  bar_click(SB_VERT, seam::BarPart::page_down),
                  {{WM_VSCROLL, SB_PAGEDOWN, 0}, {WM_VSCROLL, SB_ENDSCROLL, 0}}},
        InputCase{"horizontal_arrow",
                  bar_click(SB_HORZ, seam::BarPart::line_down),
                  {{WM_HSCROLL, SB_LINERIGHT, 0}, {WM_HSCROLL, SB_ENDSCROLL, 0}}},
        InputCase{"wheel_towards_the_user",
                  wheel(-WHEEL_DELTA, false),
                  {{WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0}}},
        InputCase{"wheel_with_shift",
                  wheel(WHEEL_DELTA, true),
                  {{WM_KEYDOWN, VK_SHIFT, key_down_bits},
                   {WM_MOUSEWHEEL, MAKEWPARAM(MK_SHIFT, WHEEL_DELTA), 0},
                   {WM_KEYUP, VK_SHIFT, key_up_bits}}},
        InputCase{"end",
                  key(VK_END),
                  {{WM_KEYDOWN, VK_END, key_down_bits}, {WM_KEYUP, VK_END, key_up_bits}}},
        InputCase{"page_down",
                  key(VK_NEXT),
                  {{WM_KEYDOWN, VK_NEXT, key_down_bits}, {WM_KEYUP, VK_NEXT, key_up_bits}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
