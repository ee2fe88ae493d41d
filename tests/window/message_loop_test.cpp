// run_modal and end_modal against the window system's message queue.
#include <gtest/gtest.h>

#include "tests/window/recorder.h"
#include "tests/window/seam.h"
#include "window/nwindow.h"

namespace {

using Inside = seam::NWindowInside;

constexpr DWORD viewer_style = 0xCA0000;

class MessageLoopTest : public ::testing::Test {
  protected:
    void SetUp() override { seam::reset(); }
};

bool create(NWindow& w, HWND owner = nullptr) {
    return w.create_window(0, "loop", viewer_style, 10, 10, 200, 120, owner, nullptr, nullptr);
}

// Takes every WM_QUIT waiting in the queue.
std::vector<WPARAM> take_quits() {
    std::vector<WPARAM> codes;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message == WM_QUIT)
            codes.push_back(msg.wParam);
        else
            DispatchMessageA(&msg);
    return codes;
}

TEST_F(MessageLoopTest, WithoutAWindowReturnsZeroAndChangesNothing) {
    NWindow w;
    Inside::modal_result(w) = 5;
    EXPECT_EQ(w.run_modal(false), 0);
    EXPECT_FALSE(Inside::in_modal_loop(w));
    EXPECT_EQ(Inside::modal_result(w), 5);
}

TEST_F(MessageLoopTest, EndModalEnablesTheOwnerFirstAndReturnsItsResult) {
    Recorder owner;
    ASSERT_TRUE(create(owner));
    Recorder modal;
    ASSERT_TRUE(create(modal, owner.handle()));
    ASSERT_EQ(GetWindow(modal.handle(), GW_OWNER), owner.handle());
    bool owner_disabled_in_loop = false, in_loop = false, owner_enabled_at_destroy = false;
    modal.on = [&](Recorder& self, UINT msg, WPARAM, LPARAM, LRESULT&) {
        if (msg == WM_USER) {
            owner_disabled_in_loop = !IsWindowEnabled(owner.handle());
            in_loop = Inside::in_modal_loop(self);
            self.end_modal(7);
            return true;
        }
        if (msg == WM_DESTROY)
            owner_enabled_at_destroy = IsWindowEnabled(owner.handle()) != FALSE;
        return false;
    };
    PostMessageA(modal.handle(), WM_USER, 0, 0);
    EXPECT_EQ(modal.run_modal(false), 7);
    EXPECT_TRUE(owner_disabled_in_loop);
    EXPECT_TRUE(in_loop);
    EXPECT_TRUE(owner_enabled_at_destroy);
    EXPECT_FALSE(Inside::in_modal_loop(modal));
    EXPECT_EQ(modal.handle(), nullptr);
    EXPECT_TRUE(IsWindowEnabled(owner.handle()));
}

TEST_F(MessageLoopTest, WindowDestroyedDuringADispatchEndsTheLoopRightAfterIt) {
    Recorder other;
    ASSERT_TRUE(create(other));
    Recorder w;
    ASSERT_TRUE(create(w));
    w.on = [](Recorder& self, UINT msg, WPARAM, LPARAM, LRESULT&) {
        if (msg != WM_USER)
            return false;
        DestroyWindow(self.handle());
        return true;
    };
    PostMessageA(w.handle(), WM_USER, 0, 0);
    PostMessageA(other.handle(), WM_USER + 1, 0, 0);
    EXPECT_EQ(w.run_modal(false), 0);
    EXPECT_EQ(w.handle(), nullptr);
    // The loop stopped before the next message.
    EXPECT_FALSE(contains(other.own_log, WM_USER + 1));
    pump();
    EXPECT_TRUE(contains(other.own_log, WM_USER + 1));
}

TEST_F(MessageLoopTest, QuitEndsTheLoopAndIsQueuedAgainExactlyOnce) {
    Recorder w;
    ASSERT_TRUE(create(w));
    w.on = [](Recorder& self, UINT msg, WPARAM, LPARAM, LRESULT&) {
        if (msg != WM_USER)
            return false;
        Inside::modal_result(self) = 3;
        PostQuitMessage(5);
        return true;
    };
    PostMessageA(w.handle(), WM_USER, 0, 0);
    EXPECT_EQ(w.run_modal(false), 3);
    EXPECT_NE(w.handle(), nullptr);  // the window is still there
    EXPECT_FALSE(Inside::in_modal_loop(w));
    EXPECT_EQ(take_quits(), (std::vector<WPARAM>{5}));
}

TEST_F(MessageLoopTest, MessagesOfOtherWindowsAreDispatchedToo) {
    Recorder other;
    ASSERT_TRUE(create(other));
    Recorder w;
    ASSERT_TRUE(create(w));
    w.on = [](Recorder& self, UINT msg, WPARAM, LPARAM, LRESULT&) {
        if (msg != WM_USER + 3)
            return false;
        self.end_modal(1);
        return true;
    };
    PostMessageA(other.handle(), WM_USER + 2, 0, 0);
    PostMessageA(w.handle(), WM_USER + 3, 0, 0);
    EXPECT_EQ(w.run_modal(false), 1);
    EXPECT_TRUE(contains(other.own_log, WM_USER + 2));
}

struct DialogKeysCase {
    bool dialog_keys;
    bool key_reaches_window;
    bool command_reaches_window;
};

class DialogKeysTest : public MessageLoopTest,
                       public ::testing::WithParamInterface<DialogKeysCase> {};

TEST_P(DialogKeysTest, EscapeIsADialogCommandOnlyWithDialogKeys) {
    const DialogKeysCase& c = GetParam();
    Recorder w;
    ASSERT_TRUE(create(w));
    w.on = [](Recorder& self, UINT msg, WPARAM, LPARAM, LRESULT&) {
        if (msg == WM_USER)
            self.end_modal(2);
        return msg == WM_USER;
    };
    PostMessageA(w.handle(), WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageA(w.handle(), WM_USER, 0, 0);
    EXPECT_EQ(w.run_modal(c.dialog_keys), 2);
    EXPECT_EQ(contains(w.own_log, WM_KEYDOWN), c.key_reaches_window);
    bool cancel = false;
    for (const Seen& s : w.own_log)
        if (s.msg == WM_COMMAND && LOWORD(s.wparam) == IDCANCEL)
            cancel = true;
    EXPECT_EQ(cancel, c.command_reaches_window);
}

INSTANTIATE_TEST_SUITE_P(Keys, DialogKeysTest,
                         ::testing::Values(DialogKeysCase{false, true, false},
                                           DialogKeysCase{true, false, true}));

TEST_F(MessageLoopTest, BlocksWhileWaitingAndEndsWhenTheUserClosesTheWindow) {
    Recorder w;
    ASSERT_TRUE(create(w));
    ShowWindow(w.handle(), SW_SHOW);
    UpdateWindow(w.handle());
    int passes = 0;
    w.on = [&passes](Recorder&, UINT, WPARAM, LPARAM, LRESULT&) {
        ++passes;
        return false;
    };
    if (seam::wait_calls() < 0)
        GTEST_SKIP() << "no scripted user here";
    const int waits_before = seam::wait_calls();
    EXPECT_EQ(w.run_modal(false), 0);
    EXPECT_EQ(w.handle(), nullptr);
    // One wait, after which the user (the headless driver) closed the window;
    // the loop did not go round while nothing happened.
    EXPECT_EQ(seam::wait_calls() - waits_before, 1);
    EXPECT_LT(passes, 20);
}

}  // namespace
