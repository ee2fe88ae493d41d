// The portable core's global memory blocks and clipboard keep Win32's rules.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/portable/clipboard_control.h"
#include "platform/win32.h"

namespace {

HWND window(int n) {
    static HWND__ windows[4];
    return &windows[n];
}

// A movable block holding `bytes`.
HGLOBAL block_with(std::vector<uint8_t> bytes) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(GlobalLock(h), bytes.data(), bytes.size());
    GlobalUnlock(h);
    return h;
}

class PortableClipboard : public ::testing::Test {
  protected:
    void SetUp() override {
        portable::reset_clipboard();
        blocks_before = portable::live_global_blocks();
    }
    void TearDown() override {
        portable::reset_clipboard();
        portable::set_clipboard_host(nullptr);
        EXPECT_EQ(portable::live_global_blocks(), blocks_before) << "a global block leaked";
    }
    size_t blocks_before = 0;
};

TEST_F(PortableClipboard, GlobalBlocksKnowTheirSizeAndLockCount) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 10);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GlobalSize(h), 10u);
    auto* p = static_cast<uint8_t*>(GlobalLock(h));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(p[i], 0);
    EXPECT_EQ(GlobalLock(h), p);    // lock count 2
    EXPECT_TRUE(GlobalUnlock(h));   // 1: still locked
    EXPECT_FALSE(GlobalUnlock(h));  // 0
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_FALSE(GlobalUnlock(h));  // not locked at all
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_LOCKED));
    EXPECT_EQ(GlobalFree(h), nullptr);  // success
    EXPECT_EQ(GlobalFree(h), h);        // a stale handle is refused
    EXPECT_EQ(GlobalLock(h), nullptr);
    EXPECT_EQ(GlobalSize(h), 0u);
    HGLOBAL next = GlobalAlloc(GMEM_MOVEABLE, 10);
    EXPECT_NE(next, h);  // handles are not reused
    GlobalFree(next);
    EXPECT_EQ(GlobalLock(reinterpret_cast<HGLOBAL>(&next)), nullptr);  // not a block at all
    EXPECT_EQ(GMEM_MOVEABLE | GMEM_ZEROINIT, 0x0042);
}

TEST_F(PortableClipboard, OneOpenerAtATime) {
    ASSERT_TRUE(OpenClipboard(window(0)));
    EXPECT_EQ(GetOpenClipboardWindow(), window(0));
    EXPECT_TRUE(OpenClipboard(window(0)));  // the same window again
    EXPECT_FALSE(OpenClipboard(window(1)));
    EXPECT_FALSE(OpenClipboard(nullptr));
    EXPECT_FALSE(portable::occupy_clipboard());
    EXPECT_TRUE(CloseClipboard());
    EXPECT_FALSE(CloseClipboard());  // not open any more

    ASSERT_TRUE(portable::occupy_clipboard());
    EXPECT_FALSE(OpenClipboard(window(0)));
    EXPECT_FALSE(EmptyClipboard());
    EXPECT_FALSE(CloseClipboard());  // another program holds it
    portable::release_clipboard();
    EXPECT_TRUE(OpenClipboard(nullptr));
    EXPECT_TRUE(CloseClipboard());
}

TEST_F(PortableClipboard, EmptyMakesTheOpenerTheOwnerAndSetNeedsOne) {
    HGLOBAL h = block_with({1, 2, 3});
    EXPECT_FALSE(EmptyClipboard());                   // not open
    EXPECT_EQ(SetClipboardData(CF_DIB, h), nullptr);  // not open

    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_TRUE(EmptyClipboard());
    EXPECT_EQ(GetClipboardOwner(), nullptr);
    // Opened for no window: emptying leaves no owner, so the data is refused
    // and the block stays the caller's.
    EXPECT_EQ(SetClipboardData(CF_DIB, h), nullptr);
    EXPECT_EQ(GlobalSize(h), 3u);
    CloseClipboard();

    ASSERT_TRUE(OpenClipboard(window(0)));
    EXPECT_TRUE(EmptyClipboard());
    EXPECT_EQ(GetClipboardOwner(), window(0));
    EXPECT_EQ(SetClipboardData(CF_DIB, nullptr), nullptr);  // no delayed rendering
    EXPECT_EQ(SetClipboardData(CF_DIB, h), h);
    EXPECT_EQ(GetClipboardData(CF_DIB), h);
    EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);
    EXPECT_TRUE(CloseClipboard());
    EXPECT_EQ(GetClipboardData(CF_DIB), nullptr);  // closed
    EXPECT_EQ(portable::clipboard_dib(), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_DIB));
}

TEST_F(PortableClipboard, HandedOverBlocksAreFreedWhenReplacedOrEmptied) {
    const size_t before = portable::live_global_blocks();
    ASSERT_TRUE(OpenClipboard(window(0)));
    EmptyClipboard();
    HGLOBAL first = block_with({1});
    HGLOBAL second = block_with({2, 2});
    HGLOBAL text = block_with({'h', 'i', 0});
    ASSERT_EQ(SetClipboardData(CF_DIB, first), first);
    ASSERT_EQ(SetClipboardData(CF_TEXT, text), text);
    ASSERT_EQ(SetClipboardData(CF_DIB, second), second);
    EXPECT_EQ(GlobalSize(first), 0u);  // replaced: freed
    EXPECT_EQ(portable::live_global_blocks(), before + 2);
    EXPECT_TRUE(EmptyClipboard());
    EXPECT_EQ(GlobalSize(second), 0u);
    EXPECT_EQ(GlobalSize(text), 0u);
    EXPECT_EQ(portable::live_global_blocks(), before);
    EXPECT_EQ(GetClipboardData(CF_DIB), nullptr);
    CloseClipboard();
}

struct RecordingHost : portable::ClipboardHost {
    std::vector<std::vector<uint8_t>> changes;
    std::vector<uint8_t> offered;
    int asked = 0;
    void dib_changed(const uint8_t* dib, size_t size) override {
        changes.emplace_back(dib, dib + size);
    }
    bool foreign_dib(std::vector<uint8_t>& out) override {
        ++asked;
        out = offered;
        return !offered.empty();
    }
};

TEST_F(PortableClipboard, TheHostHearsOfChangesAndMayOfferAForeignPicture) {
    RecordingHost host;
    portable::set_clipboard_host(&host);
    const size_t before = portable::live_global_blocks();

    // Nothing on the clipboard: the host's picture, in a block of the clipboard's.
    host.offered = {9, 8, 7, 6};
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE foreign = GetClipboardData(CF_DIB);
    ASSERT_NE(foreign, nullptr);
    EXPECT_EQ(GlobalSize(foreign), 4u);
    EXPECT_EQ(static_cast<uint8_t*>(GlobalLock(foreign))[0], 9);
    GlobalUnlock(foreign);
    HANDLE again = GetClipboardData(CF_DIB);  // the earlier wrapper is freed
    EXPECT_EQ(GlobalSize(foreign), 0u);
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(portable::live_global_blocks(), before + 1);
    CloseClipboard();

    ASSERT_TRUE(OpenClipboard(window(0)));
    EXPECT_TRUE(EmptyClipboard());  // frees the wrapper, tells the host
    EXPECT_EQ(portable::live_global_blocks(), before);
    ASSERT_EQ(host.changes.size(), 1u);
    EXPECT_TRUE(host.changes[0].empty());
    SetClipboardData(CF_DIB, block_with({5, 5}));
    ASSERT_EQ(host.changes.size(), 2u);
    EXPECT_EQ(host.changes[1], (std::vector<uint8_t>{5, 5}));
    // The core's own picture comes first; the host is not asked.
    const int asked = host.asked;
    EXPECT_NE(GetClipboardData(CF_DIB), nullptr);
    EXPECT_EQ(host.asked, asked);
    SetClipboardData(CF_TEXT, block_with({0}));
    EXPECT_EQ(host.changes.size(), 2u);  // only CF_DIB is told
    CloseClipboard();

    // Another program's picture replaces the contents.
    const uint8_t other[] = {1, 2};
    EXPECT_TRUE(portable::put_foreign_clipboard_dib(other, sizeof other));
    EXPECT_EQ(GetClipboardOwner(), portable::foreign_clipboard_window());
    EXPECT_EQ(portable::clipboard_dib(), (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(host.changes.back(), (std::vector<uint8_t>{1, 2}));
    ASSERT_TRUE(portable::occupy_clipboard());
    EXPECT_FALSE(portable::put_foreign_clipboard_dib(other, sizeof other));
    portable::release_clipboard();
}

TEST_F(PortableClipboard, ADesktopProgramTakingTheClipboardEndsTheCoresContents) {
    RecordingHost host;
    portable::set_clipboard_host(&host);
    host.offered = {4, 3};
    ASSERT_TRUE(OpenClipboard(window(1)));
    EmptyClipboard();
    SetClipboardData(CF_DIB, block_with({7, 7, 7}));
    SetClipboardData(CF_TEXT, block_with({0}));
    const size_t changes = host.changes.size();

    // Not while the clipboard is open: the contents stay until it is closed.
    portable::host_clipboard_taken();
    EXPECT_EQ(portable::clipboard_dib(), (std::vector<uint8_t>{7, 7, 7}));
    CloseClipboard();

    portable::host_clipboard_taken();
    EXPECT_TRUE(portable::clipboard_dib().empty());
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
    EXPECT_EQ(GetClipboardOwner(), portable::foreign_clipboard_window());
    EXPECT_EQ(host.changes.size(), changes);  // the host knows already
    // CF_DIB is now the other program's picture, read through the host.
    ASSERT_TRUE(OpenClipboard(window(1)));
    HANDLE picture = GetClipboardData(CF_DIB);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(GlobalSize(picture), 2u);
    EXPECT_EQ(static_cast<uint8_t*>(GlobalLock(picture))[0], 4);
    GlobalUnlock(picture);
    CloseClipboard();
}

}  // namespace
