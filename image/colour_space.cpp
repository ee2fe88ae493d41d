#include "image/colour_space.h"

#include "image/icc_profile.h"

namespace {

constexpr double d65[2] = {0.3127, 0.3290};
constexpr double illuminant_c[2] = {0.310, 0.316};

struct Primaries {
    uint16_t code;
    double red[2], green[2], blue[2];
    const double* white;
};

// ITU-T H.273, table 2.
const Primaries known_primaries[] = {
    {1, {0.640, 0.330}, {0.300, 0.600}, {0.150, 0.060}, d65},           // BT.709, sRGB
    {4, {0.67, 0.33}, {0.21, 0.71}, {0.14, 0.08}, illuminant_c},        // BT.470 M
    {5, {0.64, 0.33}, {0.29, 0.60}, {0.15, 0.06}, d65},                 // BT.601 625 lines
    {6, {0.630, 0.340}, {0.310, 0.595}, {0.155, 0.070}, d65},           // BT.601 525 lines
    {7, {0.630, 0.340}, {0.310, 0.595}, {0.155, 0.070}, d65},           // SMPTE 240M
    {8, {0.681, 0.319}, {0.243, 0.692}, {0.145, 0.049}, illuminant_c},  // generic film
    {9, {0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}, d65},           // BT.2020
    {11, {0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, nullptr},      // DCI-P3 (own white)
    {12, {0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, d65},          // Display P3
    {22, {0.630, 0.340}, {0.295, 0.605}, {0.155, 0.077}, d65},          // EBU 3213-E
};
constexpr double dci_white[2] = {0.314, 0.351};

}  // namespace

bool primaries_of(uint16_t code, double xy[4][2]) {
    if (code == 2)
        code = 1;  // unspecified: taken as sRGB's
    for (const Primaries& p : known_primaries) {
        if (p.code != code)
            continue;
        const double* white = p.white != nullptr ? p.white : dci_white;
        const double* points[4] = {p.red, p.green, p.blue, white};
        for (int i = 0; i < 4; ++i) {
            xy[i][0] = points[i][0];
            xy[i][1] = points[i][1];
        }
        return true;
    }
    return false;
}

Conversion conversion_for(const ColourSpace& space) {
    if (!space.icc.empty()) {
        switch (read_icc_profile(space.icc.data(), space.icc.size())) {
            case ProfileKind::rgb:
                return Conversion::rgb;
            case ProfileKind::grey:
                return Conversion::grey;
            default:
                return Conversion::none;
        }
    }
    // BT.709 primaries (sRGB's), or unspecified ones, with sRGB's curve or
    // one taken as it (every transfer but linear and the pure gammas 2.2 and
    // 2.8: BT.709's own, unspecified, and the HDR curves PQ and HLG, whose
    // samples are taken as they are) are sRGB. Primaries without a table here
    // cannot be converted.
    const bool srgb_curve = space.transfer != 4 && space.transfer != 5 && space.transfer != 8;
    double xy[4][2];
    if (!primaries_of(space.primaries, xy) ||
        ((space.primaries == 1 || space.primaries == 2) && srgb_curve))
        return Conversion::none;
    return Conversion::rgb;
}
