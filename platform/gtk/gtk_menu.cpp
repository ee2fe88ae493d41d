#include "platform/gtk/gtk_menu.h"

namespace portable::gtk {

namespace {

struct MenuRun {
    UINT chosen = 0;
    bool closed = false;
};

const char kCommandKey[] = "quantview-command";

void on_item_activate(GtkMenuItem* item, gpointer data) {
    auto* run = static_cast<MenuRun*>(data);
    run->chosen = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), kCommandKey));
}

void on_menu_deactivate(GtkMenuShell*, gpointer data) {
    static_cast<MenuRun*>(data)->closed = true;
}

void append_entries(GtkMenuShell* shell, const std::vector<MenuEntry>& entries, MenuRun* run) {
    for (const MenuEntry& e : entries) {
        GtkWidget* item = nullptr;
        std::string label = mnemonic_label(e.text);
        switch (e.kind) {
            case MenuEntry::Kind::separator:
                item = gtk_separator_menu_item_new();
                break;
            case MenuEntry::Kind::submenu: {
                item = gtk_menu_item_new_with_mnemonic(label.c_str());
                GtkWidget* sub = gtk_menu_new();
                append_entries(GTK_MENU_SHELL(sub), e.children, run);
                gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), sub);
                break;
            }
            case MenuEntry::Kind::item:
                if (e.checked) {
                    item = gtk_check_menu_item_new_with_mnemonic(label.c_str());
                    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), TRUE);
                } else {
                    item = gtk_menu_item_new_with_mnemonic(label.c_str());
                }
                g_object_set_data(G_OBJECT(item), kCommandKey, GUINT_TO_POINTER(e.id));
                g_signal_connect(item, "activate", G_CALLBACK(on_item_activate), run);
                break;
        }
        gtk_widget_set_sensitive(item, !e.grayed);
        gtk_menu_shell_append(shell, item);
    }
}

// The entries' texts, for the menu window's name: tools that look for windows
// by name (and screen readers) find the menu by what it offers.
std::string entries_title(const std::vector<MenuEntry>& entries) {
    std::string title;
    for (const MenuEntry& e : entries) {
        if (e.kind == MenuEntry::Kind::separator)
            continue;
        if (!title.empty())
            title += " | ";
        title += e.text;
    }
    return title;
}

}  // namespace

std::string mnemonic_label(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '_') {
            out += "__";
        } else if (c == '&' && i + 1 < text.size()) {
            ++i;
            out += text[i] == '&' ? "&" : (text[i] == '_' ? "__" : std::string("_") + text[i]);
        } else {
            out += c;
        }
    }
    return out;
}

UINT run_popup_menu(const std::vector<MenuEntry>& entries, POINT screen, GtkWidget* owner,
                    const GdkEvent* trigger) {
    MenuRun run;
    GtkWidget* menu = gtk_menu_new();
    g_object_ref_sink(menu);
    append_entries(GTK_MENU_SHELL(menu), entries, &run);
    gtk_widget_show_all(menu);
    g_signal_connect(menu, "deactivate", G_CALLBACK(on_menu_deactivate), &run);

    // The menu is placed relative to a window of ours when there is one (GTK
    // needs that to find the monitor), else relative to the root window.
    GdkWindow* anchor = owner != nullptr ? gtk_widget_get_window(owner) : nullptr;
    GdkRectangle at{static_cast<int>(screen.x), static_cast<int>(screen.y), 1, 1};
    if (anchor != nullptr) {
        int ox = 0, oy = 0;
        gdk_window_get_origin(anchor, &ox, &oy);
        at.x -= ox;
        at.y -= oy;
        gtk_menu_set_screen(GTK_MENU(menu), gtk_widget_get_screen(owner));
    } else {
        anchor = gdk_get_default_root_window();
    }
    gtk_menu_popup_at_rect(GTK_MENU(menu), anchor, &at, GDK_GRAVITY_NORTH_WEST,
                           GDK_GRAVITY_NORTH_WEST, trigger);

    GtkWidget* top = gtk_widget_get_toplevel(menu);
    if (GTK_IS_WINDOW(top))
        gtk_window_set_title(GTK_WINDOW(top), entries_title(entries).c_str());

    // A menu that could not take the pointer and keyboard never shows; then
    // nothing was chosen. Otherwise "deactivate" comes in the same dispatch as
    // the chosen item's "activate", so both are known when it ends the loop.
    if (gtk_widget_get_visible(menu)) {
        while (!run.closed)
            gtk_main_iteration_do(TRUE);
    } else {
        run.chosen = 0;
    }
    g_signal_handlers_disconnect_by_data(menu, &run);
    gtk_widget_destroy(menu);
    g_object_unref(menu);
    return run.chosen;
}

}  // namespace portable::gtk
