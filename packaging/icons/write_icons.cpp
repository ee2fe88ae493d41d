// Writes the program icon, as the GTK display driver draws it, to PNG files
// quantview-SIZE.png in the folder given, one per size given:
//   write_icons FOLDER SIZE...
// packaging/icons/make_icons.sh runs it to remake the committed pictures.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/gtk/app_icon.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: write_icons FOLDER SIZE...\n", stderr);
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const std::string path = std::string(argv[1]) + "/quantview-" + argv[i] + ".png";
        GdkPixbuf* icon = portable::gtk::application_icon(size);
        GError* error = nullptr;
        if (icon == nullptr || !gdk_pixbuf_save(icon, path.c_str(), "png", &error, nullptr)) {
            std::fprintf(stderr, "write_icons: cannot write %s: %s\n", path.c_str(),
                         error != nullptr ? error->message : "no picture");
            return 1;
        }
        g_object_unref(icon);
    }
    return 0;
}
