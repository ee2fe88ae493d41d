// dib24's clipboard exchange against the portable clipboard, with another
// program played by the core's test controls.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image/dib24.h"
#include "platform/portable/clipboard_control.h"
#include "tests/image/packed_dib_bytes.h"

namespace {

HWND viewer_window() {
    static HWND__ w;
    return &w;
}

struct CountingHost : portable::ClipboardHost {
    int changes = 0;
    std::vector<uint8_t> offered;
    void dib_changed(const uint8_t*, size_t) override { ++changes; }
    bool foreign_dib(std::vector<uint8_t>& out) override {
        out = offered;
        return !offered.empty();
    }
};

class ClipboardExchange : public ::testing::Test {
  protected:
    void SetUp() override {
        portable::reset_clipboard();
        portable::set_clipboard_host(&host);
        blocks_before = portable::live_global_blocks();
        image.create(5, 2, 72);
        for (int i = 0; i < 32; ++i)
            image.bits[i] = static_cast<uint8_t>(3 * i + 1);
    }
    void TearDown() override {
        // Nothing left open by the image: another window can open the clipboard.
        EXPECT_TRUE(OpenClipboard(nullptr));
        EXPECT_TRUE(CloseClipboard());
        portable::reset_clipboard();
        portable::set_clipboard_host(nullptr);
        EXPECT_EQ(portable::live_global_blocks(), blocks_before) << "a global block leaked";
    }
    // The picture that another program has put on the clipboard.
    void put_foreign(const Bytes& dib) {
        ASSERT_TRUE(portable::put_foreign_clipboard_dib(dib.data(), dib.size()));
    }
    static Bytes export_of(const dib24& image) {
        HGLOBAL h = image.make_global_dib();
        Bytes b = global_bytes(h);
        GlobalFree(h);
        return b;
    }
    CountingHost host;
    size_t blocks_before = 0;
    dib24 image;
};

TEST_F(ClipboardExchange, CopyPutsThePackedDibOnTheClipboard) {
    ASSERT_TRUE(image.copy_to_clipboard(viewer_window()));
    const Bytes on_clipboard = portable::clipboard_dib();
    EXPECT_EQ(on_clipboard.size(), 72u);
    EXPECT_EQ(on_clipboard, export_of(image));
    EXPECT_EQ(GetClipboardOwner(), viewer_window());
    EXPECT_EQ(portable::live_global_blocks(), blocks_before + 1);  // the clipboard's block
    // Copying again replaces (and frees) the earlier block.
    ASSERT_TRUE(image.copy_to_clipboard(viewer_window()));
    EXPECT_EQ(portable::live_global_blocks(), blocks_before + 1);
    EXPECT_EQ(host.changes, 4);  // emptied and set, twice
}

TEST_F(ClipboardExchange, CopyWhileAnotherHolderHasItOpenFailsAndFreesTheBlock) {
    const Bytes old = packed_header(1, 1, 24);
    Bytes old_dib = old;
    old_dib.resize(44, 9);
    put_foreign(old_dib);
    const int changes = host.changes;
    ASSERT_TRUE(portable::occupy_clipboard());
    EXPECT_FALSE(image.copy_to_clipboard(viewer_window()));
    portable::release_clipboard();
    EXPECT_EQ(portable::clipboard_dib(), old_dib);  // old contents kept
    EXPECT_EQ(host.changes, changes);
    EXPECT_EQ(portable::live_global_blocks(), blocks_before + 1);  // only the old contents
}

TEST_F(ClipboardExchange, CopyWithoutOwnerOrStoreFails) {
    // For no window, EmptyClipboard leaves no owner and the data is refused:
    // the block is freed, nothing leaks.
    EXPECT_FALSE(image.copy_to_clipboard(nullptr));
    EXPECT_TRUE(portable::clipboard_dib().empty());
    EXPECT_EQ(portable::live_global_blocks(), blocks_before);

    image.release();
    const int changes = host.changes;
    EXPECT_FALSE(image.copy_to_clipboard(viewer_window()));
    EXPECT_EQ(host.changes, changes);  // the clipboard was not even emptied
}

TEST_F(ClipboardExchange, PasteLoadsAnotherProgramsPicture) {
    Bytes dib = packed_header(2, 1, 32, BI_RGB, 0, 3780);
    for (int v : {1, 2, 3, 0, 4, 5, 6, 0})
        dib.push_back(static_cast<uint8_t>(v));
    put_foreign(dib);
    ASSERT_TRUE(image.paste_clipboard(viewer_window()));
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.height, 1);
    EXPECT_EQ(image.dpi, 96);
    EXPECT_EQ(image.bits[3], 4);
    EXPECT_EQ(image.bits[5], 6);
    // The data stays the clipboard's, and unlocked.
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE h = GetClipboardData(CF_DIB);
    ASSERT_NE(h, nullptr);
    EXPECT_FALSE(GlobalUnlock(h));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_LOCKED));
    CloseClipboard();
    // Our own copy pasted back.
    dib24 back;
    ASSERT_TRUE(image.copy_to_clipboard(viewer_window()));
    ASSERT_TRUE(back.paste_clipboard(nullptr));
    EXPECT_EQ(export_of(back), export_of(image));
}

TEST_F(ClipboardExchange, PasteFromTheHostsDisplay) {
    Bytes dib = packed_header(1, 1, 24);
    for (int v : {7, 8, 9, 0})
        dib.push_back(static_cast<uint8_t>(v));
    host.offered = dib;
    ASSERT_TRUE(image.paste_clipboard(nullptr));
    EXPECT_EQ(image.width, 1);
    EXPECT_EQ(image.bits[2], 9);
}

TEST_F(ClipboardExchange, RefusedPastesLeaveTheImageAlone) {
    auto unchanged = [&] { return image.width == 5 && image.height == 2 && image.bits[31] == 94; };
    EXPECT_FALSE(image.paste_clipboard(viewer_window()));  // nothing there
    EXPECT_TRUE(unchanged());

    Bytes sixteen = packed_header(2, 2, 16);
    sixteen.resize(sixteen.size() + 8, 0);
    put_foreign(sixteen);
    EXPECT_FALSE(image.paste_clipboard(viewer_window()));
    EXPECT_TRUE(unchanged());

    Bytes truncated = packed_header(4, 4, 24);
    truncated.resize(truncated.size() + 47, 0);
    put_foreign(truncated);
    EXPECT_FALSE(image.paste_clipboard(viewer_window()));
    EXPECT_TRUE(unchanged());

    Bytes good = packed_header(1, 1, 24);
    good.resize(44, 1);
    put_foreign(good);
    ASSERT_TRUE(portable::occupy_clipboard());
    EXPECT_FALSE(image.paste_clipboard(viewer_window()));
    portable::release_clipboard();
    EXPECT_TRUE(unchanged());
}

}  // namespace
