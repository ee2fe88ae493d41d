// The quantizer's colour space: Y, Cr, Cb formed in linear light, and the
// transfer functions between gamma-encoded and linear values.
#pragma once

#include <cstdint>

// Three channel values: red, green, blue on the picture side; Y, Cr, Cb on
// the quantizer side. Inputs are expected in 0..255, outputs are in 0..255.
struct ColorTriple {
    int32_t c[3];
};

// Inverse of the ITU-R BT.709 transfer characteristic (knee at 0.0812).
double to_linear(double v);
// The ITU-R BT.709 transfer characteristic (knee at 0.018044444444444443).
double to_gamma(double v);

// Red, green, blue to Y, Cr, Cb: BT.601 luma and colour differences taken in
// linear light, the red difference companded by a signed power law.
void rgb_to_ycc(const ColorTriple& in, ColorTriple& out);
// Y, Cr, Cb back to red, green, blue. Not an exact inverse of rgb_to_ycc.
void ycc_to_rgb(const ColorTriple& in, ColorTriple& out);

// 1/255: byte to unit range, always multiplied (never divided) so that
// results that land on integer boundaries truncate the same way everywhere.
inline constexpr double byte_to_unit = 0.00392156862745098;

// Unit range to byte: scaled by 255, clamped to 0..255, truncated.
inline int32_t unit_to_byte(double x) {
    double p = x * 255.0;
    if (p > 255) {
        p = 255;
    } else if (p < 0) {
        p = 0;
    }
    return static_cast<int32_t>(p);
}

// The pieces of the two conversions, for callers that take them apart to
// reuse partial results. Each computes exactly what the conversion computes.
// rgb_to_ycc after the transfer function: r, g, b are linear values.
void linear_to_ycc(double r, double g, double b, ColorTriple& out);
// The expanded red difference for a = Cr / 255 - 0.5.
double red_difference(double a);
inline double ycc_red(double y, double dr) {
    return dr * 1.402 + y;
}
inline double ycc_green(double y, double dr, double db) {
    return (y - dr * 0.714) - db * 0.344;
}
inline double ycc_blue(double y, double db) {
    return db * 1.772 + y;
}

// to_linear of every byte value v / 255, computed once.
const double* linear_of_byte();
