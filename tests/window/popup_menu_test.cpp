// show_popup_menu: the menu built from a list of texts and the index it returns.
#include <gtest/gtest.h>

#include <string>

#include "tests/window/recorder.h"
#include "tests/window/seam.h"
#include "window/popup_menu.h"

namespace {

struct Entry {
    std::string text;
    UINT id;  // 0 for a separator
    bool separator, grayed;

    bool operator==(const Entry& o) const {
        return text == o.text && id == o.id && separator == o.separator && grayed == o.grayed;
    }
};

std::ostream& operator<<(std::ostream& os, const Entry& e) {
    return os << "{\"" << e.text << "\", " << e.id << (e.separator ? ", separator" : "")
              << (e.grayed ? ", grayed" : "") << "}";
}

// The owner reads the menu it is offered at WM_INITMENUPOPUP.
class Owner : public NWindow {
  public:
    std::vector<Entry> entries;
    int menus_offered = 0;

    LRESULT window_proc(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_INITMENUPOPUP) {
            ++menus_offered;
            HMENU menu = reinterpret_cast<HMENU>(wParam);
            seam::menu_offered(menu);
            entries.clear();
            for (int i = 0; i < GetMenuItemCount(menu); ++i) {
                UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
                char text[64] = {};
                GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
                bool separator = (state & MF_SEPARATOR) != 0;
                // Separators count as greyed on Win32; only entries' greying matters here.
                entries.push_back(Entry{text, separator ? 0 : GetMenuItemID(menu, i), separator,
                                        !separator && (state & MF_GRAYED) != 0});
            }
        }
        if (msg == WM_ENTERIDLE)
            seam::menu_idle(handle(), lParam);
        return NWindow::window_proc(msg, wParam, lParam);
    }
};

struct PopupCase {
    const char* name;
    std::vector<const char*> texts;  // without the null end
    std::vector<Entry> entries;
    UINT choice;  // the command id the user picks; 0 dismisses
    int32_t result;
};

class PopupMenuTest : public ::testing::TestWithParam<PopupCase> {
  protected:
    void SetUp() override { seam::reset(); }
};

TEST_P(PopupMenuTest, BuildsTheEntriesAndReturnsTheChosenIndex) {
    const PopupCase& c = GetParam();
    Owner owner;
    ASSERT_TRUE(
        owner.create_window(0, "owner", 0xCA0000, 30, 40, 300, 200, nullptr, nullptr, nullptr));
    std::vector<PopupMenuItem> items;
    for (const char* t : c.texts)
        items.push_back(PopupMenuItem{t});
    items.push_back(PopupMenuItem{nullptr});

    const long menus_before = seam::live_menus();
    const bool scripted = seam::can_choose_popup();
    seam::choose_popup(c.choice);
    const int32_t result = show_popup_menu(12, 34, items.data(), owner.handle());
    EXPECT_EQ(owner.menus_offered, 1);
    EXPECT_EQ(owner.entries, c.entries);
    EXPECT_EQ(result, scripted ? c.result : -1);

    POINT expected{12, 34};
    ClientToScreen(owner.handle(), &expected);
    POINT shown{};
    if (seam::last_popup_point(shown)) {
        EXPECT_EQ(shown.x, expected.x);
        EXPECT_EQ(shown.y, expected.y);
    }
    if (menus_before >= 0) {
        EXPECT_EQ(seam::live_menus(), menus_before);  // both menus freed
    }
}

INSTANTIATE_TEST_SUITE_P(
    Menus, PopupMenuTest,
    ::testing::Values(
        PopupCase{"copy", {"copy"}, {{"copy", 1, false, false}}, 1, 0},
        PopupCase{"copy_dismissed", {"copy"}, {{"copy", 1, false, false}}, 0, -1},
        PopupCase{"quit_of_four",
                  {"open", "-", "-save", "quit"},
                  {{"open", 1, false, false},
                   {"", 0, true, false},
                   {"save", 2, false, true},
                   {"quit", 3, false, false}},
                  3,
                  2},
        PopupCase{"greyed_cannot_be_chosen",
                  {"open", "-", "-save", "quit"},
                  {{"open", 1, false, false},
                   {"", 0, true, false},
                   {"save", 2, false, true},
                   {"quit", 3, false, false}},
                  2,
                  -1},
        PopupCase{"two_hyphens", {"--"}, {{"-", 1, false, true}}, 1, -1},
        PopupCase{"empty_text", {"", "b"}, {{"", 1, false, false}, {"b", 2, false, false}}, 2, 1},
        PopupCase{"empty_list", {}, {}, 1, -1}),
    [](const auto& info) { return std::string(info.param.name); });

// Win32 reports a separator greyed and disabled: it can never be chosen.
TEST(MenuState, SeparatorReportsGreyed) {
    HMENU menu = CreateMenu();
    ASSERT_NE(menu, nullptr);
    AppendMenuA(menu, MF_STRING, 1, "open");
    AppendMenuA(menu, MF_SEPARATOR, 0, "");
    EXPECT_EQ(GetMenuState(menu, 0, MF_BYPOSITION), static_cast<UINT>(MF_STRING));
    EXPECT_EQ(GetMenuState(menu, 1, MF_BYPOSITION),
              static_cast<UINT>(MF_SEPARATOR | MF_GRAYED | MF_DISABLED));
    DestroyMenu(menu);
}

}  // namespace
