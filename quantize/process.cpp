#include "quantize/process.h"

#include "quantize/color_table.h"
#include "quantize/palette_average.h"
#include "quantize/palette_build.h"
#include "quantize/remap.h"

namespace {

constexpr int32_t palette_limit = 255;

}  // namespace

void process(dib24& image) {
    process(image, stdout);
}

void process(dib24& image, FILE* report) {
    Palette palette;
    {
        ColorTable table;
        fill_color_table(image, table);
        std::fprintf(report, "color count: %d\n", static_cast<int>(table.size()));
        const int32_t count = build_clusters(table, palette_limit);
        std::fprintf(report, "palette count:%d\n", count);
        palette = average_palette(table, count, report);
    }
    remap_image(image, palette, report);
    std::fflush(report);
}
