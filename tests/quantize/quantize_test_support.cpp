#include "tests/quantize/quantize_test_support.h"

#include <algorithm>
#include <cmath>
#include <regex>

namespace {

uint8_t byte(double v) {
    return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
}

}  // namespace

Rgb photo_like(int32_t x, int32_t y, uint32_t seed) {
    const double fx = x * 0.021, fy = y * 0.017;
    const uint32_t h =
        (static_cast<uint32_t>(x) * 73856093u) ^ (static_cast<uint32_t>(y) * 19349663u) ^ seed;
    const double noise = static_cast<double>((h * 2654435761u) >> 28) - 7.5;
    const bool edge = ((x / 37) + (y / 23)) % 5 == 0;
    return {byte(128 + 100 * std::sin(fx + 1.3 * std::cos(fy)) + noise),
            byte(110 + 90 * std::cos(fx * 0.7 - fy) + (edge ? 60 : 0) + noise),
            byte(90 + 80 * std::sin(fy * 1.9) * std::cos(fx * 0.3) + noise)};
}

void fill_image(dib24& image, int32_t width, int32_t height,
                const std::function<Rgb(int32_t, int32_t)>& color) {
    image.create(width, height, 0);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = image.bits + static_cast<int64_t>(height - 1 - y) * image.stride;
        for (int32_t x = 0; x < width; ++x) {
            const Rgb c = color(x, y);
            row[3 * x] = c.b;
            row[3 * x + 1] = c.g;
            row[3 * x + 2] = c.r;
        }
    }
}

Rgb pixel_at(const dib24& image, int32_t x, int32_t y) {
    const uint8_t* px =
        image.bits + static_cast<int64_t>(image.height - 1 - y) * image.stride + 3 * x;
    return {px[2], px[1], px[0]};
}

std::vector<uint8_t> image_bytes(const dib24& image) {
    if (image.bits == nullptr)
        return {};
    return std::vector<uint8_t>(image.bits,
                                image.bits + static_cast<size_t>(image.stride) * image.height);
}

std::string capture(const std::function<void(FILE*)>& write) {
    FILE* stream = std::tmpfile();
    if (stream == nullptr)
        return "<no temporary file>";
    write(stream);
    std::fflush(stream);
    std::rewind(stream);
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stream)) > 0)
        text.append(buffer, n);
    std::fclose(stream);
    return text;
}

std::string without_time(const std::string& report) {
    static const std::regex time(R"(\[-?[0-9]+msec\])");
    return std::regex_replace(report, time, "[Tmsec]");
}
