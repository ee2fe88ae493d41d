// The remapping's working values: linear light as integers on 0..65280
// (255 * 256, full intensity), in four lanes: red, green, blue and luma.
#pragma once

#include <cstdint>

inline constexpr int32_t full_scale = 65280;

// The ITU-R BT.601 luma weights 0.299, 0.587 and 0.114, to four places,
// truncated toward zero.
inline constexpr int32_t luma_of(int32_t red, int32_t green, int32_t blue) {
    return (2989 * red + 5866 * green + 1145 * blue) / 10000;
}

// Channel weights of the distance between two colours: red, green, blue,
// luma.
inline constexpr int32_t distance_weight[4] = {10, 13, 6, 10};

// Four lanes, one per channel (red, green, blue, luma): the working values
// of a pixel as integers, and the error sums of a slot as doubles. Every
// operation works lane by lane and rounds each lane as written; with GCC and
// Clang a value fits one vector register where the processor has one.
#if defined(__GNUC__)
typedef int32_t Lanes __attribute__((vector_size(16)));
typedef double Sums __attribute__((vector_size(32)));
#else
struct Lanes {
    int32_t c[4];
    int32_t& operator[](int i) { return c[i]; }
    int32_t operator[](int i) const { return c[i]; }
};
inline Lanes operator-(Lanes a, const Lanes& b) {
    for (int i = 0; i < 4; ++i)
        a.c[i] -= b.c[i];
    return a;
}
inline Lanes operator*(Lanes a, const Lanes& b) {
    for (int i = 0; i < 4; ++i)
        a.c[i] *= b.c[i];
    return a;
}
inline Lanes operator+(Lanes a, const Lanes& b) {
    for (int i = 0; i < 4; ++i)
        a.c[i] += b.c[i];
    return a;
}
inline Lanes operator*(Lanes a, int32_t k) {
    for (int i = 0; i < 4; ++i)
        a.c[i] *= k;
    return a;
}
struct Sums {
    double c[4];
    double& operator[](int i) { return c[i]; }
    double operator[](int i) const { return c[i]; }
};
inline Sums operator+(Sums a, const Sums& b) {
    for (int i = 0; i < 4; ++i)
        a.c[i] += b.c[i];
    return a;
}
inline Sums operator*(Sums a, double k) {
    for (int i = 0; i < 4; ++i)
        a.c[i] *= k;
    return a;
}
#endif

// The colour of a pixel stored blue, green, red as one number, red highest.
inline uint32_t rgb_at(const uint8_t* px) {
    return (uint32_t{px[2]} << 16) | (uint32_t{px[1]} << 8) | px[0];
}

inline constexpr Lanes weight_lanes = {distance_weight[0], distance_weight[1], distance_weight[2],
                                       distance_weight[3]};
