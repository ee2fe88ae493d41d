#include "quantize/color_convert.h"

#include <cmath>
#include <cstring>

double to_linear(double v) {
    if (v < 0.0812)
        return v * 0.2222222222222222;
    return std::pow((v + 0.099) * 0.9099181073703367, 2.2222222222222223);
}

double to_gamma(double v) {
    // Every negative value takes the straight segment.
    if (v < 0.018044444444444443)
        return v * 4.5;
    return std::pow(v, 0.45) * 1.099 - 0.099;
}

void rgb_to_ycc(const ColorTriple& in, ColorTriple& out) {
    linear_to_ycc(to_linear(in.c[0] * byte_to_unit), to_linear(in.c[1] * byte_to_unit),
                  to_linear(in.c[2] * byte_to_unit), out);
}

void linear_to_ycc(double r, double g, double b, ColorTriple& out) {
    out.c[0] = unit_to_byte(ycc_luma(r, g, b));
    out.c[1] = cr_of_red_difference(ycc_red_difference(r, g, b));
    out.c[2] = unit_to_byte(ycc_blue_difference(r, g, b) + 0.5);
}

int32_t cr_of_red_difference(double dr) {
    // A signed power law on twice the magnitude, centred on one half.
    const double s = dr >= 0 ? 1.0 : -1.0;
    return unit_to_byte((s * std::pow(2 * std::fabs(dr), 0.7142857142857143)) * 0.5 + 0.5);
}

void ycc_to_rgb(const ColorTriple& in, ColorTriple& out) {
    const double y = in.c[0] * byte_to_unit;
    const double a = in.c[1] * byte_to_unit - 0.5;
    const double db = in.c[2] * byte_to_unit - 0.5;
    const double dr = red_difference(a);
    out.c[0] = unit_to_byte(to_gamma(ycc_red(y, dr)));
    out.c[1] = unit_to_byte(to_gamma(ycc_green(y, dr, db)));
    out.c[2] = unit_to_byte(to_gamma(ycc_blue(y, db)));
}

double red_difference(double a) {
    const double s = a >= 0 ? 1.0 : -1.0;
    return (s * std::pow(2 * std::fabs(a), 1.4)) * 0.5;
}

namespace {

struct LinearTable {
    double value[256];
    LinearTable() {
        for (int v = 0; v < 256; ++v)
            value[v] = to_linear(v * byte_to_unit);
    }
};

}  // namespace

const double* linear_of_byte() {
    static const LinearTable table;
    return table.value;
}

namespace {

// Doubles in an order-keeping integer form, for bisection over them.
int64_t ordered(double x) {
    int64_t i;
    std::memcpy(&i, &x, sizeof i);
    return i < 0 ? -(i & INT64_MAX) : i;
}
double from_ordered(int64_t o) {
    const int64_t i = o < 0 ? ((-o) | INT64_MIN) : o;
    double x;
    std::memcpy(&x, &i, sizeof x);
    return x;
}

struct StepTable {
    YccSteps steps;
    StepTable() {
        steps.linear = linear_of_byte();
        // The red difference lies in [-0.5, 0.5], where Cr goes from 0 to
        // 255: the least difference with Cr >= c, for each c.
        steps.cr_step[0] = -1.0;
        for (int c = 1; c <= 255; ++c) {
            int64_t low = ordered(-0.5), high = ordered(0.5);  // Cr(low) < c <= Cr(high)
            while (high - low > 1) {
                const int64_t mid = low + (high - low) / 2;
                if (cr_of_red_difference(from_ordered(mid)) >= c) {
                    high = mid;
                } else {
                    low = mid;
                }
            }
            steps.cr_step[c] = from_ordered(high);
        }
        steps.cr_step[256] = steps.cr_step[257] = 2.0;
        for (int part = 0; part < 1024; ++part) {
            const double start = -0.5 + (part - 1) / 1024.0;
            int count = 0;
            while (count < 255 && steps.cr_step[count + 1] <= start)
                ++count;
            steps.steps_below[part] = static_cast<uint8_t>(count);
        }
    }
};

}  // namespace

const YccSteps& ycc_steps() {
    static const StepTable table;
    return table.steps;
}
