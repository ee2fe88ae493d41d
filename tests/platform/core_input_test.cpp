// Host input through the headless driver, popup menus, the headless user
// who closes windows, and the call log.
#include <gtest/gtest.h>

#include "tests/platform/core_support.h"

namespace {

using portable::MouseButton;
namespace test = portable::test;

class CoreInputTest : public ::testing::Test {
  protected:
    void SetUp() override { fresh_core(); }
};

std::vector<UINT> mouse_messages(HWND hwnd) {
    std::vector<UINT> out;
    for (UINT m : messages_of(hwnd))
        if (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST)
            out.push_back(m);
    return out;
}

TEST_F(CoreInputTest, DoubleClicksNeedTheClassStyle) {
    HWND hwnd = make_window(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    test::double_click(hwnd, MouseButton::left, 7, 9);
    dispatch_all();
    EXPECT_EQ(mouse_messages(hwnd),
              (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}));
    for (const Delivered& d : delivered)
        if (d.msg == WM_LBUTTONDOWN) {
            EXPECT_EQ(GET_X_LPARAM(d.lparam), 7);
            EXPECT_EQ(GET_Y_LPARAM(d.lparam), 9);
            EXPECT_EQ(d.wparam & MK_LBUTTON, static_cast<WPARAM>(MK_LBUTTON));
        }

    fresh_core(0);
    HWND plain = make_window(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    test::double_click(plain, MouseButton::right, 1, 1);
    dispatch_all();
    EXPECT_EQ(mouse_messages(plain),
              (std::vector<UINT>{WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP}));
}

TEST_F(CoreInputTest, RightButtonUpBringsAContextMenuMessageAtTheScreenPoint) {
    HWND hwnd = make_window(0xCA0000 | WS_VISIBLE);
    test::click(hwnd, MouseButton::right, 3, 4);
    dispatch_all();
    POINT p{3, 4};
    ClientToScreen(hwnd, &p);
    bool found = false;
    for (const Delivered& d : delivered)
        if (d.msg == WM_CONTEXTMENU) {
            found = true;
            EXPECT_EQ(GET_X_LPARAM(d.lparam), p.x);
            EXPECT_EQ(GET_Y_LPARAM(d.lparam), p.y);
        }
    EXPECT_TRUE(found);
}

TEST_F(CoreInputTest, ClicksGoToTheChildUnderThePointInItsCoordinates) {
    HWND parent = make_window(WS_POPUP | WS_VISIBLE, nullptr, 0, 0, 100, 100);
    HWND child = make_window(WS_CHILD | WS_VISIBLE, parent, 20, 30, 10, 10);
    test::click(parent, MouseButton::left, 25, 33);
    dispatch_all();
    EXPECT_TRUE(mouse_messages(parent).empty());
    ASSERT_EQ(mouse_messages(child).size(), 2u);
    for (const Delivered& d : delivered)
        if (d.msg == WM_LBUTTONDOWN) {
            EXPECT_EQ(d.lparam, MAKELPARAM(5, 3));
        }
}

TEST_F(CoreInputTest, DisabledWindowsTakeNoInputAndCannotBeClosed) {
    HWND hwnd = make_window(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    EnableWindow(hwnd, FALSE);
    test::click(hwnd, MouseButton::left, 1, 1);
    test::key_press(hwnd, 'A');
    test::close_request(hwnd);
    dispatch_all();
    EXPECT_TRUE(mouse_messages(hwnd).empty());
    EXPECT_TRUE(IsWindow(hwnd));
}

TEST_F(CoreInputTest, KeysAreTranslatedToCharacters) {
    HWND hwnd = make_window(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    test::key_press(hwnd, 'Q');
    test::key(hwnd, VK_SHIFT, true);
    test::key_press(hwnd, 'Q');
    test::key(hwnd, VK_SHIFT, false);
    dispatch_all();
    std::vector<WPARAM> chars;
    for (const Delivered& d : delivered)
        if (d.msg == WM_CHAR)
            chars.push_back(d.wparam);
    EXPECT_EQ(chars, (std::vector<WPARAM>{'q', 'Q'}));
    // WM_CHAR comes between its key's down and up.
    std::vector<UINT> keys;
    for (UINT m : messages_of(hwnd))
        if (m == WM_KEYDOWN || m == WM_KEYUP || m == WM_CHAR)
            keys.push_back(m);
    EXPECT_EQ(std::vector<UINT>(keys.begin(), keys.begin() + 3),
              (std::vector<UINT>{WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
}

TEST_F(CoreInputTest, CloseRequestEndsInWmClose) {
    HWND hwnd = make_window(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    test::close_request(hwnd);
    MSG msg;
    while (IsWindow(hwnd) && GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    EXPECT_FALSE(IsWindow(hwnd));
    std::vector<UINT> closing;
    for (UINT m : messages_of(hwnd))
        if (m == WM_SYSCOMMAND || m == WM_CLOSE || m == WM_DESTROY)
            closing.push_back(m);
    EXPECT_EQ(closing, (std::vector<UINT>{WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY}));
}

TEST_F(CoreInputTest, HeadlessUserClosesWhatIsLeftAndWaitingForNothingReturns) {
    // No windows: WaitMessage must come back rather than hang.
    EXPECT_TRUE(WaitMessage());
    EXPECT_EQ(test::driver_wait_calls(), 1);

    HWND a = make_window(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HWND b = make_window(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HWND hidden = make_window(WS_OVERLAPPEDWINDOW);
    MSG msg;
    int passes = 0;
    while ((IsWindow(a) || IsWindow(b)) && passes < 100) {
        ++passes;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        else
            WaitMessage();
    }
    EXPECT_FALSE(IsWindow(a));
    EXPECT_FALSE(IsWindow(b));
    EXPECT_EQ(test::driver_close_requests(), 2);
    EXPECT_LT(passes, 20);
    EXPECT_TRUE(IsWindow(hidden));
}

TEST_F(CoreInputTest, ProgramWaitingForWhatCannotComeIsToldToQuit) {
    HWND hidden = make_window(WS_OVERLAPPEDWINDOW);  // no user can close it
    MSG msg;
    int dispatched = 0;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0 && dispatched < 1000) {
        ++dispatched;
        DispatchMessageA(&msg);
    }
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_EQ(test::driver_quit_requests(), 1);
    EXPECT_EQ(test::driver_wait_calls(), 64);
    EXPECT_TRUE(IsWindow(hidden));
}

TEST_F(CoreInputTest, ScriptedInputIsDeliveredBeforeAnyoneIsAskedToClose) {
    HWND hwnd = make_window(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    UpdateWindow(hwnd);
    test::set_close_when_idle(false);
    EXPECT_TRUE(WaitMessage());  // nothing scripted, nobody closes: returns all the same
    EXPECT_TRUE(IsWindow(hwnd));
    test::set_close_when_idle(true);
    test::click(hwnd, MouseButton::left, 2, 2);
    EXPECT_EQ(test::pending_input(), 2u);
    dispatch_all();
    EXPECT_EQ(test::pending_input(), 0u);
    EXPECT_EQ(mouse_messages(hwnd).size(), 2u);
    EXPECT_EQ(test::driver_close_requests(), 0);
}

struct TrackCase {
    const char* name;
    UINT flags;
    UINT scripted;
    BOOL result;
    bool command_posted;
};

class TrackPopupTest : public CoreInputTest, public ::testing::WithParamInterface<TrackCase> {};

TEST_P(TrackPopupTest, ReturnsOrPostsOnlyChoosableCommands) {
    const TrackCase& c = GetParam();
    HWND hwnd = make_window(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HMENU sub = CreatePopupMenu();
    AppendMenuA(sub, MF_STRING, 21, "deep");
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, 11, "one");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_GRAYED, 12, "grey");
    AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "more");
    EXPECT_EQ(GetMenuItemCount(menu), 4);
    EXPECT_EQ(GetMenuItemID(menu, 3), static_cast<UINT>(-1));
    test::choose_popup_item(c.scripted);
    delivered.clear();
    EXPECT_EQ(TrackPopupMenu(menu, c.flags, 300, 200, 0, hwnd, nullptr), c.result);
    const test::PopupRecord& shown = test::last_popup();
    EXPECT_EQ(shown.screen.x, 300);
    EXPECT_EQ(shown.screen.y, 200);
    EXPECT_EQ(shown.owner, hwnd);
    ASSERT_EQ(shown.entries.size(), 4u);
    EXPECT_EQ(shown.entries[1].kind, portable::MenuEntry::Kind::separator);
    EXPECT_TRUE(shown.entries[2].grayed);
    EXPECT_EQ(shown.entries[3].children.at(0).id, 21u);
    EXPECT_EQ(messages_of(hwnd),
              (std::vector<UINT>{WM_ENTERMENULOOP, WM_INITMENU, WM_INITMENUPOPUP,
                                 WM_UNINITMENUPOPUP, WM_MENUSELECT, WM_EXITMENULOOP}));
    dispatch_all();
    bool posted = false;
    for (const Delivered& d : delivered)
        if (d.msg == WM_COMMAND)
            posted = true;
    EXPECT_EQ(posted, c.command_posted);
    EXPECT_TRUE(DestroyMenu(menu));
    EXPECT_FALSE(IsMenu(sub));  // submenus go with their menu
}

INSTANTIATE_TEST_SUITE_P(Choices, TrackPopupTest,
                         ::testing::Values(TrackCase{"returned", TPM_RETURNCMD, 11, 11, false},
                                           TrackCase{"submenu_entry", TPM_RETURNCMD, 21, 21, false},
                                           TrackCase{"greyed_refused", TPM_RETURNCMD, 12, 0, false},
                                           TrackCase{"unknown_refused", TPM_RETURNCMD, 99, 0,
                                                     false},
                                           TrackCase{"dismissed", TPM_RETURNCMD, 0, 0, false},
                                           TrackCase{"posted", 0, 11, TRUE, true},
                                           TrackCase{"posted_dismissed", 0, 0, FALSE, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CoreInputTest, SystemMenuHasTheStandardCommandsAndTellsTheDriverItsFrame) {
    HWND hwnd = make_window(0xCA0000);
    HMENU menu = GetSystemMenu(hwnd, FALSE);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetSystemMenu(hwnd, FALSE), menu);
    for (UINT command : {SC_RESTORE, SC_MOVE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_CLOSE})
        EXPECT_NE(GetMenuState(menu, command, MF_BYCOMMAND), static_cast<UINT>(-1)) << command;
    EXPECT_TRUE(RemoveMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND));
    EXPECT_FALSE(RemoveMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND));
    EXPECT_EQ(GetMenuState(menu, SC_MAXIMIZE, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_EQ(GetSystemMenu(hwnd, TRUE), nullptr);  // reverted
    HMENU fresh = GetSystemMenu(hwnd, FALSE);
    EXPECT_NE(GetMenuState(fresh, SC_MAXIMIZE, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_EQ(GetSystemMenu(make_window(WS_POPUP), FALSE), nullptr);  // no system menu style
}

}  // namespace
