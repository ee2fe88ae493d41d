// The window framework against the window system: creation, the link
// between object and window, dispatch, subclassing and teardown.
#include <gtest/gtest.h>

#include "tests/window/recorder.h"
#include "tests/window/seam.h"
#include "window/nwindow.h"

namespace {

using Inside = seam::NWindowInside;

constexpr DWORD viewer_style = 0xCA0000;  // caption, system menu, minimize box

class NWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { seam::reset(); }
};

bool create(NWindow& w, DWORD style = viewer_style, DWORD ex_style = 0, NWindow* handler = nullptr,
            HWND parent = nullptr) {
    return w.create_window(ex_style, "test", style, CW_USEDEFAULT, CW_USEDEFAULT, 200, 120, parent,
                           nullptr, handler);
}

bool has_command(HWND hwnd, UINT command) {
    HMENU menu = GetSystemMenu(hwnd, FALSE);
    return menu != nullptr && GetMenuState(menu, command, MF_BYCOMMAND) != static_cast<UINT>(-1);
}

TEST_F(NWindowTest, CreationLinksTheObjectAtNcCreateAndSetsTheIconFirst) {
    Recorder w;
    ASSERT_TRUE(create(w));
    ASSERT_NE(w.handle(), nullptr);
    EXPECT_EQ(NWindow::from_handle(w.handle()), &w);

    // Nothing before WM_NCCREATE reaches the object; WM_NCCREATE comes with
    // hwnd already set, after the two icon messages sent while linking.
    std::vector<UINT> expected = {WM_SETICON, WM_SETICON, WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE};
    EXPECT_EQ(
        only(w.own_log, {WM_GETMINMAXINFO, WM_SETICON, WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE}),
        expected);
    ASSERT_GE(w.own_log.size(), 3u);
    for (const Seen& s : w.own_log)
        EXPECT_TRUE(s.linked) << "message " << s.msg;

    HICON standard = LoadIconA(nullptr, IDI_APPLICATION);
    ASSERT_NE(standard, nullptr);
    std::vector<Seen> icons;
    for (const Seen& s : w.own_log)
        if (s.msg == WM_SETICON)
            icons.push_back(s);
    ASSERT_EQ(icons.size(), 2u);
    EXPECT_EQ(icons[0].wparam, static_cast<WPARAM>(ICON_BIG));
    EXPECT_EQ(icons[1].wparam, static_cast<WPARAM>(ICON_SMALL));
    EXPECT_EQ(icons[0].lparam, reinterpret_cast<LPARAM>(standard));
    EXPECT_EQ(icons[1].lparam, reinterpret_cast<LPARAM>(standard));
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(w.handle(), WM_GETICON, ICON_BIG, 0)), standard);
}

TEST_F(NWindowTest, CreateStructCarriesTheObjectAndStyles) {
    Recorder w;
    void* params = nullptr;
    DWORD style = 0, ex_style = 0;
    w.on = [&](Recorder&, UINT msg, WPARAM, LPARAM lParam, LRESULT&) {
        if (msg == WM_NCCREATE) {
            auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            params = cs->lpCreateParams;
            style = static_cast<DWORD>(cs->style);
            ex_style = cs->dwExStyle;
        }
        return false;
    };
    ASSERT_TRUE(create(w, viewer_style, WS_EX_APPWINDOW));
    EXPECT_EQ(params, &w);
    EXPECT_EQ(style, viewer_style);
    EXPECT_EQ(ex_style & WS_EX_APPWINDOW, static_cast<DWORD>(WS_EX_APPWINDOW));
}

struct FrameCase {
    const char* name;
    DWORD style;
    DWORD ex_style;
    bool minimize, maximize, size, icon;
};

class SystemMenuTest : public NWindowTest, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(SystemMenuTest, TrimsTheSystemMenuOfFixedFramesAndIconsAllButToolWindows) {
    const FrameCase& c = GetParam();
    Recorder w;
    ASSERT_TRUE(create(w, c.style, c.ex_style));
    EXPECT_EQ(has_command(w.handle(), SC_MINIMIZE), c.minimize);
    EXPECT_EQ(has_command(w.handle(), SC_MAXIMIZE), c.maximize);
    EXPECT_EQ(has_command(w.handle(), SC_SIZE), c.size);
    EXPECT_TRUE(has_command(w.handle(), SC_CLOSE));
    EXPECT_TRUE(has_command(w.handle(), SC_MOVE));
    EXPECT_EQ(contains(w.own_log, WM_SETICON), c.icon);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, SystemMenuTest,
    ::testing::Values(
        FrameCase{"viewer", viewer_style, 0, true, false, false, true},
        FrameCase{"sizing", WS_OVERLAPPEDWINDOW, 0, true, true, true, true},
        FrameCase{"tool", viewer_style, WS_EX_TOOLWINDOW, false, false, false, false},
        FrameCase{"modal_frame", viewer_style, WS_EX_DLGMODALFRAME, false, false, false, false},
        FrameCase{"sizing_tool", WS_OVERLAPPEDWINDOW, WS_EX_TOOLWINDOW, true, true, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct ClickCase {
    const char* name;
    UINT down, up, dblclk;
};

class DoubleClickTest : public NWindowTest, public ::testing::WithParamInterface<ClickCase> {};

TEST_P(DoubleClickTest, ArrivesAsDownUpDownDoubleUp) {
    const ClickCase& c = GetParam();
    Recorder w;
    ASSERT_TRUE(create(w));
    const LPARAM at = MAKELPARAM(10, 20);
    PostMessageA(w.handle(), c.down, 0, at);
    PostMessageA(w.handle(), c.up, 0, at);
    PostMessageA(w.handle(), c.dblclk, 0, at);
    PostMessageA(w.handle(), c.up, 0, at);
    pump();
    std::vector<UINT> expected = {c.down, c.up, c.down, c.dblclk, c.up};
    EXPECT_EQ(only(w.own_log, {c.down, c.up, c.dblclk}), expected);
    for (const Seen& s : w.own_log)
        if (s.msg == c.down) {
            EXPECT_EQ(s.lparam, at);
        }
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, DoubleClickTest,
    ::testing::Values(ClickCase{"left", WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK},
                      ClickCase{"right", WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK},
                      ClickCase{"middle", WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(NWindowTest, DestroyingTheObjectDestroysTheWindowWithoutTellingTheObject) {
    std::vector<Seen> log;
    auto* w = new Recorder;
    w->log = &log;
    ASSERT_TRUE(create(*w));
    HWND hwnd = w->handle();
    log.clear();
    delete w;
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(contains(log, WM_DESTROY));
    EXPECT_FALSE(contains(log, WM_NCDESTROY));
}

TEST_F(NWindowTest, WindowClosedByTheUserLeavesTheObjectUnlinked) {
    Recorder w;
    ASSERT_TRUE(create(w));
    HWND hwnd = w.handle();
    SendMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(w.handle(), nullptr);
    EXPECT_FALSE(IsWindow(hwnd));
    std::vector<UINT> expected = {WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY, WM_NCDESTROY};
    EXPECT_EQ(only(w.own_log, {WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY, WM_NCDESTROY}), expected);
    // The destructor at the end of the test finds nothing left to do.
}

TEST_F(NWindowTest, AutoDeleteObjectDeletesItselfAfterNcDestroy) {
    bool destroyed = false;
    auto* w = new Recorder;
    w->destroyed = &destroyed;
    Inside::auto_delete(*w) = true;
    std::vector<Seen> log;
    w->log = &log;
    ASSERT_TRUE(create(*w));
    DestroyWindow(w->handle());
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(only(log, {WM_DESTROY, WM_NCDESTROY}), (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
}

TEST_F(NWindowTest, ObjectDeletedWhileHandlingItsOwnMessagesIsNotTouchedAgain) {
    // Deleted while handling WM_CLOSE: the destructor destroys the window.
    bool destroyed = false;
    auto* closing = new Recorder;
    closing->destroyed = &destroyed;
    closing->on = [](Recorder& self, UINT msg, WPARAM, LPARAM, LRESULT&) {
        if (msg != WM_CLOSE)
            return false;
        delete &self;
        return true;
    };
    ASSERT_TRUE(create(*closing));
    HWND hwnd = closing->handle();
    SendMessageA(hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(destroyed);
    EXPECT_FALSE(IsWindow(hwnd));

    // Deleted while handling its own WM_NCDESTROY: the link is already cut
    // when the framework would clear it.
    destroyed = false;
    auto* last = new Recorder;
    last->destroyed = &destroyed;
    last->on = [](Recorder& self, UINT msg, WPARAM, LPARAM, LRESULT&) {
        if (msg == WM_NCDESTROY)
            delete &self;
        return msg == WM_NCDESTROY;
    };
    ASSERT_TRUE(create(*last));
    hwnd = last->handle();
    DestroyWindow(hwnd);
    EXPECT_TRUE(destroyed);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(NWindowTest, HandlerGetsEveryMessageFromNcCreateOn) {
    Handler h;
    Recorder w;
    ASSERT_TRUE(create(w, viewer_style, 0, &h));
    EXPECT_EQ(Inside::handler(w), &h);
    EXPECT_TRUE(w.own_log.empty());
    ASSERT_FALSE(h.log.empty());
    std::vector<UINT> expected = {WM_SETICON, WM_SETICON, WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE};
    EXPECT_EQ(only(h.log, {WM_GETMINMAXINFO, WM_SETICON, WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE}),
              expected);
    for (const Seen& s : h.log)
        EXPECT_EQ(s.target, &w);
    // The default handler answers with the platform's default handling, so
    // WM_CLOSE still destroys the window.
    SendMessageA(w.handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(w.handle(), nullptr);
    EXPECT_TRUE(w.own_log.empty());
}

TEST_F(NWindowTest, RefusedCreationLeavesTheObjectUnlinked) {
    struct Case {
        UINT msg;
        LRESULT answer;
    };
    for (Case c : {Case{WM_NCCREATE, 0}, Case{WM_CREATE, -1}}) {
        Recorder w;
        w.on = [c](Recorder&, UINT msg, WPARAM, LPARAM, LRESULT& result) {
            if (msg != c.msg)
                return false;
            result = c.answer;
            return true;
        };
        EXPECT_FALSE(create(w)) << "refused at " << c.msg;
        EXPECT_EQ(w.handle(), nullptr);
        EXPECT_TRUE(contains(w.own_log, WM_NCDESTROY));
    }
}

TEST_F(NWindowTest, WindowOfTheClassWithoutAnObjectGetsDefaultHandling) {
    NWindow::register_window_class(nullptr, nullptr);
    HWND hwnd = CreateWindowExA(0, "NWindow Class Name", "bare", viewer_style, 0, 0, 100, 100,
                                nullptr, nullptr, Inside::module_instance(), nullptr);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(NWindow::from_handle(hwnd), nullptr);
    SendMessageA(hwnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(NWindowTest, SecondRegistrationOfAClassRegistersNothing) {
    NWindow::register_window_class("NWindow Test Class Twice", nullptr);
    // Registering the name again would fail with ERROR_CLASS_ALREADY_EXISTS.
    SetLastError(0);
    NWindow::register_window_class("NWindow Test Class Twice", nullptr);
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    WNDCLASSA wc{};
    ASSERT_NE(GetClassInfoA(Inside::module_instance(), "NWindow Test Class Twice", &wc), 0);
    EXPECT_EQ(wc.style, static_cast<UINT>(CS_DBLCLKS));
    EXPECT_EQ(wc.lpfnWndProc, Inside::class_window_proc());
    EXPECT_EQ(wc.hbrBackground, nullptr);
    EXPECT_EQ(wc.hCursor, LoadCursorA(nullptr, IDC_ARROW));
}

TEST_F(NWindowTest, CreateWindowInClassUsesItsOwnClass) {
    Recorder w;
    ASSERT_TRUE(Inside::create_window_in_class(w, "NWindow Test Own Class", nullptr, 0, "own",
                                               viewer_style, 0, 0, 100, 100, nullptr, nullptr,
                                               nullptr));
    char name[64] = {};
    GetClassNameA(w.handle(), name, sizeof name);
    EXPECT_STREQ(name, "NWindow Test Own Class");
    EXPECT_EQ(NWindow::from_handle(w.handle()), &w);
}

// A class of its own, registered outside the framework.
std::vector<UINT> foreign_log;

LRESULT CALLBACK foreign_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    foreign_log.push_back(msg);
    if (msg == WM_USER + 7)
        return 77;
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void register_foreign_class() {
    WNDCLASSA existing{};
    if (GetClassInfoA(GetModuleHandleA(nullptr), "Foreign Test Class", &existing))
        return;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = foreign_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "Foreign Test Class";
    ASSERT_NE(RegisterClassExA(&wc), 0);
}

TEST_F(NWindowTest, SubclassedForeignWindowIsAttachedFirstAndRestoredAtNcDestroy) {
    register_foreign_class();
    NWindow::register_window_class(nullptr, nullptr);  // module_instance set
    foreign_log.clear();
    Recorder w;
    ASSERT_TRUE(Inside::create_subclassed_window(w, "Foreign Test Class", 0, "foreign",
                                                 WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                                                 nullptr));
    ASSERT_NE(w.handle(), nullptr);
    // The creation messages went to the class's own procedure only.
    EXPECT_NE(std::find(foreign_log.begin(), foreign_log.end(), WM_NCCREATE), foreign_log.end());
    ASSERT_FALSE(w.own_log.empty());
    EXPECT_EQ(w.own_log.front().msg, WM_NWINDOW_ATTACHED);
    EXPECT_EQ(Inside::prev_wnd_proc(w), &foreign_proc);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(w.handle(), GWLP_WNDPROC)),
              Inside::subclass_window_proc());
    EXPECT_EQ(NWindow::from_handle(w.handle()), &w);

    // The default window_proc passes messages on to the previous procedure.
    foreign_log.clear();
    EXPECT_EQ(SendMessageA(w.handle(), WM_USER + 7, 0, 0), 77);
    EXPECT_EQ(foreign_log, (std::vector<UINT>{WM_USER + 7}));
    EXPECT_EQ(w.own_log.back().msg, static_cast<UINT>(WM_USER + 7));

    HWND hwnd = w.handle();
    DestroyWindow(hwnd);
    EXPECT_EQ(w.handle(), nullptr);
    EXPECT_EQ(Inside::prev_wnd_proc(w), &foreign_proc);  // keeps its value
    EXPECT_EQ(only(w.own_log, {WM_DESTROY, WM_NCDESTROY}),
              (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
    EXPECT_NE(std::find(foreign_log.begin(), foreign_log.end(), WM_NCDESTROY), foreign_log.end());
}

TEST_F(NWindowTest, DestroyingASubclassedObjectPutsTheProcedureBack) {
    register_foreign_class();
    NWindow::register_window_class(nullptr, nullptr);
    HWND hwnd = CreateWindowExA(0, "Foreign Test Class", "plain", WS_OVERLAPPED, 0, 0, 50, 50,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(hwnd, nullptr);
    {
        Recorder w;
        Inside::link(w, hwnd);
        ASSERT_TRUE(Inside::subclass(w));
        EXPECT_EQ(NWindow::from_handle(hwnd), &w);
        // Destroying the object destroys the window, through the foreign procedure.
        foreign_log.clear();
    }
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_NE(std::find(foreign_log.begin(), foreign_log.end(), WM_NCDESTROY), foreign_log.end());
}

TEST_F(NWindowTest, SubclassFailsWithoutAWindowOrOnAFrameworkWindow) {
    Recorder unlinked;
    EXPECT_FALSE(Inside::subclass(unlinked));
    EXPECT_EQ(Inside::prev_wnd_proc(unlinked), nullptr);

    // A framework window subclassed again would hand its messages back to itself.
    Recorder w;
    ASSERT_TRUE(create(w));
    EXPECT_FALSE(Inside::subclass(w));
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(w.handle(), GWLP_WNDPROC)),
              Inside::class_window_proc());
}

TEST_F(NWindowTest, FromHandleIsNullForWindowsWithoutTheLink) {
    register_foreign_class();
    HWND hwnd = CreateWindowExA(0, "Foreign Test Class", "plain", WS_OVERLAPPED, 0, 0, 50, 50,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(NWindow::from_handle(hwnd), nullptr);
    EXPECT_EQ(Inside::call_prev_window_proc(hwnd, WM_USER, 0, 0), 0);
    DestroyWindow(hwnd);
}

TEST_F(NWindowTest, DefaultWindowProcOfAnUnlinkedObjectAnswersZero) {
    NWindow w;
    EXPECT_EQ(w.window_proc(WM_USER, 0, 0), 0);
    EXPECT_EQ(w.window_proc_for(&w, WM_USER, 0, 0), 0);
}

}  // namespace
