// Transparent pixels shown over white, which is what a picture without alpha
// shows best.
#pragma once

#include <cstdint>

// An 8-bit channel value `c` with alpha `a` blended over white: c·a + 255·(255 − a),
// divided by 255 with rounding.
inline uint8_t over_white(unsigned c, unsigned a) {
    return static_cast<uint8_t>((c * a + 255 * (255 - a) + 127) / 255);
}
