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
// Its luma and colour differences, and Cr from the red difference.
inline double ycc_luma(double r, double g, double b) {
    return (r * 0.299 + g * 0.587) + b * 0.114;
}
inline double ycc_red_difference(double r, double g, double b) {
    return (r * 0.5 - g * 0.419) - b * 0.081;
}
inline double ycc_blue_difference(double r, double g, double b) {
    return b * 0.5 - (r * 0.169 + g * 0.332);
}
int32_t cr_of_red_difference(double dr);
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

// rgb_to_ycc of byte values without a power function, giving the same three
// values for every colour. Y and Cb are formed exactly as rgb_to_ycc forms
// them. Cr is a step function of the red difference that never decreases (a
// power law; the tests check every colour with the library's power
// function): it is the number of the 255 differences where it steps up,
// found once by bisection on cr_of_red_difference itself, that are at most
// the difference. A table over 1024 equal parts of the range of the
// difference gives how many steps lie below each part, and no two parts side
// by side hold more than two steps, so two comparisons finish the count.
struct YccSteps {
    const double* linear;       // linear_of_byte()
    double cr_step[258];        // cr_step[c]: where Cr reaches c; above 255, never
    uint8_t steps_below[1024];  // steps at or below the start of the part before
};
const YccSteps& ycc_steps();

// The color_key of rgb_to_ycc(red, green, blue).
inline int32_t ycc_key_of(const YccSteps& t, uint32_t red, uint32_t green, uint32_t blue) {
    const double r = t.linear[red], g = t.linear[green], b = t.linear[blue];
    const double dr = ycc_red_difference(r, g, b);
    // dr lies in [-0.5, 0.5]; the part's index is exact up to the rounding of
    // the sum, which the table's one part of slack covers.
    int32_t part = static_cast<int32_t>((dr + 0.5) * 1024);
    part = part > 1023 ? 1023 : part;
    const int32_t below = t.steps_below[part];
    const int32_t cr = below + (dr >= t.cr_step[below + 1]) + (dr >= t.cr_step[below + 2]);
    return (unit_to_byte(ycc_luma(r, g, b)) << 16) | (cr << 8) |
           unit_to_byte(ycc_blue_difference(r, g, b) + 0.5);
}
