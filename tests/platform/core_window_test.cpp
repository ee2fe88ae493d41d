// The portable core's windows: creation and destruction order, re-entrant
// sending, default handling, properties, window longs and classes.
#include <gtest/gtest.h>

#include "tests/platform/core_support.h"

namespace {

class CoreWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { fresh_core(); }
};

// The sequences are those Win32 sends (checked against a real implementation),
// less the messages of features the core does not have (palettes, IME).
TEST_F(CoreWindowTest, CreationSendsWin32sMessagesInOrder) {
    HWND hwnd = make_window();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(messages_of(hwnd),
              (std::vector<UINT>{WM_GETMINMAXINFO, WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE}));
    char title[16] = {};
    GetWindowTextA(hwnd, title, sizeof title);
    EXPECT_STREQ(title, "core");  // set by the default WM_NCCREATE

    // A visible window is shown and activated before CreateWindowExA returns;
    // a top-level window hears its size when it is first shown.
    delivered.clear();
    HWND shown = make_window(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    EXPECT_EQ(messages_of(shown),
              (std::vector<UINT>{WM_GETMINMAXINFO, WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE,
                                 WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_ACTIVATE, WM_SETFOCUS,
                                 WM_WINDOWPOSCHANGED, WM_SIZE, WM_MOVE}));
    EXPECT_TRUE(IsWindowVisible(shown));
    EXPECT_EQ(GetFocus(), shown);
    delivered.clear();
    ShowWindow(shown, SW_HIDE);
    ShowWindow(shown, SW_SHOW);
    EXPECT_EQ(messages_of(shown),
              (std::vector<UINT>{WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED,
                                 WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED}));

    // A child asks no minimum and maximum size, hears its size at once and
    // tells its parent.
    delivered.clear();
    HWND child = make_window(WS_CHILD, hwnd);
    EXPECT_EQ(messages_of(child),
              (std::vector<UINT>{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE}));
    EXPECT_EQ(messages_of(hwnd), (std::vector<UINT>{WM_PARENTNOTIFY}));
    EXPECT_EQ(GetParent(child), hwnd);
    EXPECT_TRUE(IsChild(hwnd, child));
}

TEST_F(CoreWindowTest, CreationFailures) {
    EXPECT_EQ(
        CreateWindowExA(0, "No Such Class", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    EXPECT_EQ(make_window(WS_CHILD, nullptr), nullptr);  // a child needs a parent

    // Refused at WM_NCCREATE: only WM_NCDESTROY follows. At WM_CREATE: a full destroy.
    struct Case {
        UINT msg;
        LRESULT answer;
        std::vector<UINT> tail;
    };
    for (const Case& c : {Case{WM_NCCREATE, 0, {WM_NCCREATE, WM_NCDESTROY}},
                          Case{WM_CREATE, -1, {WM_CREATE, WM_DESTROY, WM_NCDESTROY}}}) {
        delivered.clear();
        react = [&c](HWND, UINT msg, WPARAM, LPARAM, LRESULT& result) {
            if (msg != c.msg)
                return false;
            result = c.answer;
            return true;
        };
        EXPECT_EQ(make_window(), nullptr);
        std::vector<UINT> got = messages_of();
        ASSERT_GE(got.size(), c.tail.size());
        EXPECT_EQ(std::vector<UINT>(got.end() - static_cast<long>(c.tail.size()), got.end()),
                  c.tail);
    }
    react = nullptr;
    EXPECT_TRUE(portable::visible_top_level_windows().empty());
}

TEST_F(CoreWindowTest, DestroyWindowGoesOwnedFirstThenDestroyDownAndNcDestroyUp) {
    HWND parent = make_window();
    HWND child = make_window(WS_CHILD | WS_VISIBLE, parent);
    HWND grandchild = make_window(WS_CHILD | WS_VISIBLE, child);
    HWND owned = make_window(WS_OVERLAPPED, parent);
    ASSERT_EQ(GetWindow(owned, GW_OWNER), parent);
    delivered.clear();
    EXPECT_TRUE(DestroyWindow(parent));
    std::vector<Delivered> expected = {
        {owned, WM_DESTROY, 0, 0},      {owned, WM_NCDESTROY, 0, 0},
        {parent, WM_DESTROY, 0, 0},     {child, WM_DESTROY, 0, 0},
        {grandchild, WM_DESTROY, 0, 0}, {grandchild, WM_NCDESTROY, 0, 0},
        {child, WM_NCDESTROY, 0, 0},    {parent, WM_NCDESTROY, 0, 0}};
    std::vector<Delivered> got;
    for (const Delivered& d : delivered)
        if (d.msg == WM_DESTROY || d.msg == WM_NCDESTROY)
            got.push_back(d);
    EXPECT_EQ(got, expected);
    for (HWND h : {parent, child, grandchild, owned})
        EXPECT_FALSE(IsWindow(h));
    EXPECT_FALSE(DestroyWindow(parent));
}

TEST_F(CoreWindowTest, DestroyWindowInsideDestroyIsRefusedAndQueuedMessagesGo) {
    HWND hwnd = make_window();
    int nested = -1;
    react = [&](HWND h, UINT msg, WPARAM, LPARAM, LRESULT&) {
        if (msg == WM_DESTROY)
            nested = DestroyWindow(h);
        return false;
    };
    PostMessageA(hwnd, WM_USER, 0, 0);
    DestroyWindow(hwnd);
    EXPECT_EQ(nested, FALSE);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(CoreWindowTest, SendMessageReentersTheProcedureAtOnce) {
    HWND hwnd = make_window();
    std::vector<std::string> trace;
    react = [&](HWND h, UINT msg, WPARAM depth, LPARAM, LRESULT& result) {
        if (msg != WM_USER)
            return false;
        trace.push_back("enter " + std::to_string(depth));
        if (depth < 2)
            result = SendMessageA(h, WM_USER, depth + 1, 0) + 1;
        trace.push_back("leave " + std::to_string(depth));
        return true;
    };
    EXPECT_EQ(SendMessageA(hwnd, WM_USER, 0, 0), 2);
    EXPECT_EQ(trace, (std::vector<std::string>{"enter 0", "enter 1", "enter 2", "leave 2",
                                               "leave 1", "leave 0"}));
    EXPECT_EQ(SendMessageA(reinterpret_cast<HWND>(0x1234), WM_USER, 0, 0), 0);
}

TEST_F(CoreWindowTest, DefaultHandling) {
    HWND hwnd = make_window(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HICON icon = LoadIconA(nullptr, IDI_APPLICATION);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)), 0);
    EXPECT_EQ(SendMessageA(hwnd, WM_SETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(icon));
    EXPECT_EQ(SendMessageA(hwnd, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_EQ(LoadIconA(GetModuleHandleA(nullptr), "IDR_MAINFRAME"), nullptr);  // no resources
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);

    EXPECT_TRUE(SetWindowTextA(hwnd, "renamed"));
    EXPECT_EQ(GetWindowTextLengthA(hwnd), 7);

    delivered.clear();
    SendMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    // Hidden, deactivated and unfocused before WM_DESTROY, as on Win32.
    EXPECT_EQ(messages_of(hwnd),
              (std::vector<UINT>{WM_SYSCOMMAND, WM_CLOSE, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED,
                                 WM_ACTIVATE, WM_KILLFOCUS, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_EQ(GetActiveWindow(), nullptr);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(CoreWindowTest, PropertiesAreOnePointerPerNameIgnoringCase) {
    HWND hwnd = make_window();
    int a = 0, b = 0;
    EXPECT_EQ(GetPropA(hwnd, "NWindow Prop Name"), nullptr);
    EXPECT_TRUE(SetPropA(hwnd, "NWindow Prop Name", &a));
    EXPECT_TRUE(SetPropA(hwnd, "nwindow prop name", &b));  // the same property
    EXPECT_EQ(GetPropA(hwnd, "NWINDOW PROP NAME"), &b);
    EXPECT_EQ(RemovePropA(hwnd, "NWindow Prop Name"), &b);
    EXPECT_EQ(GetPropA(hwnd, "NWindow Prop Name"), nullptr);
    EXPECT_EQ(RemovePropA(hwnd, "NWindow Prop Name"), nullptr);
    EXPECT_FALSE(SetPropA(reinterpret_cast<HWND>(0x99), "x", &a));
}

LRESULT CALLBACK other_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER)
        return 42;
    return recording_proc(hwnd, msg, wParam, lParam);
}

TEST_F(CoreWindowTest, WindowProcedureIsReplacedThroughThePointerSizedLong) {
    HWND hwnd = make_window();
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd, GWLP_WNDPROC)), &recording_proc);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(
                  SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(other_proc))),
              &recording_proc);
    EXPECT_EQ(SendMessageA(hwnd, WM_USER, 0, 0), 42);
    EXPECT_EQ(CallWindowProcA(recording_proc, hwnd, WM_USER, 0, 0), 0);
    EXPECT_EQ(SetWindowLongPtrA(hwnd, GWLP_WNDPROC, 0), 0);  // a window keeps a procedure
    EXPECT_EQ(SendMessageA(hwnd, WM_USER, 0, 0), 42);
    if (sizeof(void*) > sizeof(LONG)) {
        // As on 64-bit Windows, a 32-bit long cannot carry the procedure.
        EXPECT_EQ(GetWindowLongA(hwnd, GWL_WNDPROC), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    }
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)) & WS_THICKFRAME,
              static_cast<DWORD>(WS_THICKFRAME));
}

TEST_F(CoreWindowTest, ClassesRegisterOncePerNameAndInstance) {
    WNDCLASSA wc{};
    EXPECT_NE(GetClassInfoA(GetModuleHandleA(nullptr), "core test", &wc), 0);
    EXPECT_EQ(wc.lpfnWndProc, &recording_proc);
    EXPECT_NE(GetClassInfoA(nullptr, "Core Test", &wc), 0);  // null means the program's module

    WNDCLASSEXA again{};
    again.cbSize = sizeof again;
    again.lpfnWndProc = recording_proc;
    again.lpszClassName = "CORE TEST";
    EXPECT_EQ(RegisterClassExA(&again), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

    again.lpszClassName = "Core Test 2";
    again.cbSize = 48 + 1;  // a structure the core does not know
    EXPECT_EQ(RegisterClassExA(&again), 0);
    again.cbSize = sizeof again;
    EXPECT_NE(RegisterClassExA(&again), 0);

    HWND hwnd = make_window();
    EXPECT_FALSE(UnregisterClassA("Core Test", nullptr));  // a window of it exists
    DestroyWindow(hwnd);
    EXPECT_TRUE(UnregisterClassA("Core Test", nullptr));
    EXPECT_EQ(GetClassInfoA(nullptr, "Core Test", &wc), 0);
}

TEST_F(CoreWindowTest, EnableWindowReportsThePreviousStateAndTellsTheWindow) {
    HWND hwnd = make_window();
    delivered.clear();
    EXPECT_FALSE(EnableWindow(hwnd, FALSE));  // was enabled
    EXPECT_FALSE(IsWindowEnabled(hwnd));
    EXPECT_TRUE(EnableWindow(hwnd, FALSE));  // was disabled; nothing sent
    EXPECT_TRUE(EnableWindow(hwnd, TRUE));
    EXPECT_EQ(messages_of(hwnd), (std::vector<UINT>{WM_ENABLE, WM_ENABLE}));
}

TEST_F(CoreWindowTest, WindowsKeepWithinTheirTrackingSize) {
    HWND huge = make_window(WS_OVERLAPPEDWINDOW, nullptr, 0, 0, 100000, 50);
    RECT r;
    GetWindowRect(huge, &r);
    EXPECT_EQ(r.right - r.left, 16384);
    EXPECT_EQ(r.bottom - r.top, 50);

    int created_width = 0;
    react = [&created_width](HWND, UINT msg, WPARAM, LPARAM lParam, LRESULT&) {
        if (msg == WM_GETMINMAXINFO)
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = POINT{300, 200};
        if (msg == WM_NCCREATE)
            created_width = reinterpret_cast<const CREATESTRUCTA*>(lParam)->cx;
        return false;
    };
    HWND grown = make_window(WS_OVERLAPPEDWINDOW, nullptr, 0, 0, 10, 10);
    GetWindowRect(grown, &r);
    EXPECT_EQ(r.right - r.left, 300);
    EXPECT_EQ(r.bottom - r.top, 200);
    EXPECT_EQ(created_width, 300);
}

TEST_F(CoreWindowTest, ThePopupParentIsTheOwnerAndAnOverlappedWindowHasNone) {
    HWND owner = make_window();
    HWND popup = make_window(WS_POPUP, owner);
    HWND overlapped = make_window(WS_OVERLAPPED, owner);
    EXPECT_EQ(GetParent(popup), owner);
    EXPECT_EQ(GetParent(overlapped), nullptr);
    EXPECT_EQ(GetWindow(overlapped, GW_OWNER), owner);
    EXPECT_EQ(GetWindow(owner, GW_OWNER), nullptr);
}

}  // namespace
