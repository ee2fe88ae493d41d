#include "quantize/color_convert.h"

#include <cmath>

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
    const double y = (r * 0.299 + g * 0.587) + b * 0.114;
    const double dr = (r * 0.5 - g * 0.419) - b * 0.081;
    const double db = b * 0.5 - (r * 0.169 + g * 0.332);
    const double s = dr >= 0 ? 1.0 : -1.0;
    const double h = (s * std::pow(2 * std::fabs(dr), 0.7142857142857143)) * 0.5 + 0.5;
    out.c[0] = unit_to_byte(y);
    out.c[1] = unit_to_byte(h);
    out.c[2] = unit_to_byte(db + 0.5);
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
