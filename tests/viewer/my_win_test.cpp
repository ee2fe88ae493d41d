// The viewer as a user meets it, run through the headless driver: the report
// before the window shows, the picture 1 : 1, the "copy" menu, closing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
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
        ASSERT_NE(window.hwnd, nullptr);
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
    GetClientRect(window.hwnd, &client);
    EXPECT_EQ(client.right - client.left, image.width);
    EXPECT_EQ(client.bottom - client.top, image.height);

    // The image was reduced in place exactly as the quantizer alone does it,
    // and the window shows it pixel for pixel.
    ASSERT_EQ(
        0, std::memcmp(image.bits, reduced.bits, static_cast<size_t>(image.stride) * image.height));
    const portable::Surface* shown = test::surface(window.hwnd);
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
    GetWindowTextA(window.hwnd, title, MAX_PATH);
    EXPECT_EQ(std::string(title), MyWin::module_file_path());
    EXPECT_FALSE(std::string(title).empty());
}

TEST_F(Viewer, RightClickOffersCopyAtTheClickAndCopyPutsTheReducedImageOnTheClipboard) {
    ObservedWin window;
    StdoutToFile quiet;
    open(window);
    POINT screen{30, 40};
    ClientToScreen(window.hwnd, &screen);
    test::choose_popup_item(1);
    test::click(window.hwnd, MouseButton::right, 30, 40);
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
    test::click(window.hwnd, MouseButton::right, 5, 5);
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
    test::close_request(window.hwnd);
    EXPECT_EQ(window.run_modal(false), 0);
    EXPECT_EQ(window.hwnd, nullptr);
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

TEST_F(Viewer, AFailedWindowCreationStillEndsTheRunWithStatusZero) {
    RefusedWin window;
    StdoutToFile output;
    EXPECT_EQ(run_window(window, image), 0);
    EXPECT_EQ(window.hwnd, nullptr);
    EXPECT_EQ(output.text(), "");  // nothing was processed, nothing reported
}

TEST_F(Viewer, TheWholeRunEndsByItselfWithoutADisplay) {
    StdoutToFile output;
    EXPECT_EQ(run_viewer(image), 0);
    EXPECT_NE(output.text().find("cache hit: 0% ["), std::string::npos);
    EXPECT_GE(test::driver_close_requests(), 1);
    EXPECT_TRUE(portable::visible_top_level_windows().empty());
}

}  // namespace
