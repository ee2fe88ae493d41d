#include "quantize/palette_average.h"

#include <memory>

#include "quantize/color_convert.h"

namespace {

struct Sums {
    double red = 0, green = 0, blue = 0, weight = 0;
};

// ycc_to_rgb taken apart: red depends only on (Y, Cr) and blue only on
// (Y, Cb), so those bytes are kept once computed; green needs all three.
class YccToRgb {
  public:
    YccToRgb() : red_(new int16_t[1 << 16]), blue_(new int16_t[1 << 16]) {
        for (int i = 0; i < (1 << 16); ++i)
            red_[i] = blue_[i] = -1;
        for (int v = 0; v < 256; ++v) {
            unit_[v] = v * byte_to_unit;
            red_difference_[v] = red_difference(unit_[v] - 0.5);
        }
    }
    void convert(const uint8_t ycc[3], int32_t rgb[3]) {
        const double y = unit_[ycc[0]];
        const double dr = red_difference_[ycc[1]];
        const double db = unit_[ycc[2]] - 0.5;
        int16_t& red = red_[(ycc[0] << 8) | ycc[1]];
        if (red < 0)
            red = static_cast<int16_t>(unit_to_byte(to_gamma(ycc_red(y, dr))));
        int16_t& blue = blue_[(ycc[0] << 8) | ycc[2]];
        if (blue < 0)
            blue = static_cast<int16_t>(unit_to_byte(to_gamma(ycc_blue(y, db))));
        rgb[0] = red;
        rgb[1] = unit_to_byte(to_gamma(ycc_green(y, dr, db)));
        rgb[2] = blue;
    }

  private:
    std::unique_ptr<int16_t[]> red_, blue_;
    double unit_[256];
    double red_difference_[256];
};

uint8_t to_palette_byte(double value) {
    // The mean of linear values in 0..1 stays in range up to rounding; the
    // clamp only guards that.
    const int32_t v = static_cast<int32_t>(value + 0.5);
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

}  // namespace

Palette average_palette(const ColorTable& table, int32_t count, FILE* report) {
    const double* lin = linear_of_byte();
    // All entries in one pass; each entry's sums still grow in table order.
    std::vector<Sums> sums(count);
    YccToRgb convert;
    for (const ColorEntry& e : table) {
        int32_t rgb[3];
        convert.convert(e.channels, rgb);
        Sums& s = sums[e.cluster];
        const double m = e.weight;
        s.red = s.red + m * lin[rgb[0]];
        s.green = s.green + m * lin[rgb[1]];
        s.blue = s.blue + m * lin[rgb[2]];
        s.weight = s.weight + m;
    }
    Palette palette(3 * static_cast<size_t>(count), 0);
    for (int32_t j = 0; j < count; ++j) {
        const Sums& s = sums[j];
        double red = 0, green = 0, blue = 0;
        if (s.weight > 0) {
            const double k = 1.0 / s.weight;
            red = to_gamma(k * s.red) * 255.0;
            green = to_gamma(k * s.green) * 255.0;
            blue = to_gamma(k * s.blue) * 255.0;
        }
        uint8_t* p = &palette[3 * static_cast<size_t>(j)];
        p[0] = to_palette_byte(red);
        p[1] = to_palette_byte(green);
        p[2] = to_palette_byte(blue);
        std::fprintf(report, "pal[%d] (count:%g) : %d, %d, %d\n", j, s.weight, p[0], p[1], p[2]);
    }
    return palette;
}
