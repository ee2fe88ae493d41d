// The installed icon pictures (packaging/icons, remade by make_icons.sh) are
// the window icon the driver draws, at every size.
#include "platform/gtk/app_icon.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(AppIcon, InstalledPicturesAreTheDrawnIcon) {
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const std::string path = "packaging/icons/quantview-" + std::to_string(size) + ".png";
        SCOPED_TRACE(path);
        GError* error = nullptr;
        GdkPixbuf* file = gdk_pixbuf_new_from_file(path.c_str(), &error);
        ASSERT_NE(file, nullptr) << (error != nullptr ? error->message : "");
        GdkPixbuf* drawn = portable::gtk::application_icon(size);
        ASSERT_EQ(gdk_pixbuf_get_width(file), size);
        ASSERT_EQ(gdk_pixbuf_get_height(file), size);
        const int channels = gdk_pixbuf_get_n_channels(file);
        int differing = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const guchar* a =
                    gdk_pixbuf_get_pixels(file) + y * gdk_pixbuf_get_rowstride(file) + x * channels;
                const guchar* b =
                    gdk_pixbuf_get_pixels(drawn) + y * gdk_pixbuf_get_rowstride(drawn) + x * 4;
                const int alpha = channels == 4 ? a[3] : 255;
                differing += a[0] != b[0] || a[1] != b[1] || a[2] != b[2] || alpha != b[3];
            }
        EXPECT_EQ(differing, 0) << "pixels differ: run packaging/icons/make_icons.sh";
        g_object_unref(file);
        g_object_unref(drawn);
    }
}

}  // namespace
