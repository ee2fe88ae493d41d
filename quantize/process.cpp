#include "quantize/process.h"

#include <algorithm>

#include "quantize/palette_build.h"
#include "quantize/remap.h"
#include "quantize/thread_count.h"

void process(dib24& image) {
    process(image, stdout);
}

void process(dib24& image, FILE* report) {
    process(image, report, nullptr, nullptr, quantizer_threads());
}

void process(dib24& image, FILE* report, Palette* palette, IndexRows* indices) {
    process(image, report, palette, indices, quantizer_threads());
}

void process(dib24& image, FILE* report, Palette* palette, IndexRows* indices, int32_t threads) {
    QuantizeOptions options;
    options.threads = threads;
    process(image, report, palette, indices, options);
}

int32_t quantizer_threads(const QuantizeOptions& options) {
    return options.threads > 0 ? options.threads : quantizer_threads();
}

void process(dib24& image, FILE* report, Palette* palette_out, IndexRows* indices,
             const QuantizeOptions& options, ColorCounting* counted, RemapWatch* remapped) {
    const int32_t threads = quantizer_threads(options);
    Palette palette;
    {
        ColorTable table;
        if (counted != nullptr)
            counted->finish(image, table);
        else
            fill_color_table(image, table, threads);
        std::fprintf(report, "color count: %d\n", static_cast<int>(table.size()));
        const int32_t count = build_clusters(table, std::clamp(options.colors, 1, 255));
        std::fprintf(report, "palette count:%d\n", count);
        palette = average_palette(table, count, report);
    }
    uint8_t* index_bytes = nullptr;
    if (indices != nullptr) {
        const bool pixels = image.bits != nullptr && image.width > 0 && image.height > 0;
        // Emptied first, so that growing it copies nothing.
        indices->clear();
        indices->resize(pixels ? static_cast<size_t>(image.width) * image.height : 0);
        index_bytes = indices->data();
    }
    if (remapped != nullptr)
        remapped->remapping(palette);
    remap_image(image, palette, report, fastest_remap(), threads, options.dither, index_bytes,
                remapped);
    std::fflush(report);
    if (palette_out != nullptr)
        *palette_out = std::move(palette);
}
