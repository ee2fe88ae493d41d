#include "image/icc_profile.h"

#include <cmath>

#include "image/byte_reader.h"

namespace {

constexpr size_t header_bytes = 128;

// sRGB's colorants as profiles hold them: adapted to the D50 white of the
// profile connection space (Bradford), red, green, blue, each X, Y, Z.
constexpr double srgb_colorants[3][3] = {
    {0.4361, 0.2225, 0.0139}, {0.3851, 0.7169, 0.0971}, {0.1431, 0.0606, 0.7141}};
// Profiles round them differently (fixed point, other adaptation matrices);
// the nearest other spaces (Display P3, Adobe RGB) lie 0.08 and more away.
constexpr double colorant_tolerance = 0.002;

// sRGB's curve (IEC 61966-2-1) from linear values to encoded ones.
double srgb_from_linear(double y) {
    return y <= 0.0031308 ? 12.92 * y : 1.055 * std::pow(y, 1 / 2.4) - 0.055;
}

class Profile {
  public:
    explicit Profile(ByteReader data) : data_(data) {}

    // The tag `sig` as a reader over its bytes.
    bool tag(uint32_t sig, ByteReader& body) {
        uint32_t count;
        if (!data_.seek(header_bytes) || !data_.u32(count))
            return false;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t s, offset, size;
            if (!data_.u32(s) || !data_.u32(offset) || !data_.u32(size))
                return false;
            if (s != sig)
                continue;
            const size_t at = data_.offset();
            const bool found = data_.seek(offset) && data_.part(size, body);
            data_.seek(at);
            return found;
        }
        return false;
    }

    // An XYZType tag: X, Y, Z as s15Fixed16 numbers.
    bool xyz(uint32_t sig, double out[3]) {
        ByteReader body;
        uint32_t type, reserved;
        if (!tag(sig, body) || !body.u32(type) || type != fourcc("XYZ ") || !body.u32(reserved))
            return false;
        for (int i = 0; i < 3; ++i) {
            uint32_t v;
            if (!body.u32(v))
                return false;
            out[i] = static_cast<int32_t>(v) / 65536.0;
        }
        return true;
    }

    // True when the curve tag `sig` (curveType or parametricCurveType) maps
    // every 8-bit value to a linear value that sRGB's curve encodes back to
    // the same 8-bit value: then converting changes nothing.
    bool srgb_curve(uint32_t sig) {
        Curve curve;
        if (!read_curve(sig, curve))
            return false;
        for (int i = 0; i < 256; ++i) {
            const double x = i / 255.0;
            const double back = 255 * srgb_from_linear(std::fmin(1, std::fmax(0, curve.at(x))));
            if (!(std::fabs(back - i) <= 0.5))  // NaN too
                return false;
        }
        return true;
    }

  private:
    struct Curve {
        ByteReader table;  // curveType: entries of 16 bits
        uint32_t entries = 0;
        int function = -1;  // parametricCurveType: function type 0-4
        double p[7] = {};   // g, a, b, c, d, e, f

        double at(double x) const {
            if (function < 0) {
                if (entries == 0)
                    return x;
                ByteReader t = table;
                uint16_t v0, v1;
                if (entries == 1)
                    return t.u16(v0) ? std::pow(x, v0 / 256.0) : NAN;
                const double pos = x * (entries - 1);
                const uint32_t i = std::fmin(entries - 2, std::floor(pos));
                if (!t.seek(2 * size_t{i}) || !t.u16(v0) || !t.u16(v1))
                    return NAN;
                return (v0 + (pos - i) * (v1 - v0)) / 65535.0;
            }
            const double g = p[0], a = p[1], b = p[2], c = p[3], d = p[4], e = p[5], f = p[6];
            switch (function) {
                case 0:
                    return std::pow(x, g);
                case 1:
                    return x >= -b / a ? std::pow(a * x + b, g) : 0;
                case 2:
                    return x >= -b / a ? std::pow(a * x + b, g) + c : c;
                case 3:
                    return x >= d ? std::pow(a * x + b, g) : c * x;
                default:
                    return x >= d ? std::pow(a * x + b, g) + e : c * x + f;
            }
        }
    };

    bool read_curve(uint32_t sig, Curve& curve) {
        ByteReader body;
        uint32_t type, reserved;
        if (!tag(sig, body) || !body.u32(type) || !body.u32(reserved))
            return false;
        if (type == fourcc("curv")) {
            if (!body.u32(curve.entries) || curve.entries > body.left() / 2)
                return false;
            curve.table = body;
            return true;
        }
        static const int parameters[5] = {1, 3, 4, 5, 7};
        uint16_t function, unused;
        if (type != fourcc("para") || !body.u16(function) || !body.u16(unused) || function > 4)
            return false;
        curve.function = function;
        for (int i = 0; i < parameters[function]; ++i) {
            uint32_t v;
            if (!body.u32(v))
                return false;
            curve.p[i] = static_cast<int32_t>(v) / 65536.0;
        }
        return true;
    }

    ByteReader data_;
};

}  // namespace

ProfileKind read_icc_profile(const uint8_t* data, size_t size) {
    ByteReader header(data, size, ByteOrder::big);
    uint32_t declared, device_class, space, connection, magic;
    if (!header.u32(declared) || declared < header_bytes + 4 || declared > size ||
        !header.skip(8) || !header.u32(device_class) || !header.u32(space) ||
        !header.u32(connection) || !header.seek(36) || !header.u32(magic) ||
        magic != fourcc("acsp"))
        return ProfileKind::unusable;
    // Device links, abstract and named-colour profiles do not describe the
    // pixels of a picture.
    if (device_class == fourcc("link") || device_class == fourcc("abst") ||
        device_class == fourcc("nmcl") ||
        (connection != fourcc("XYZ ") && connection != fourcc("Lab ")))
        return ProfileKind::unusable;
    Profile profile(ByteReader(data, declared, ByteOrder::big));
    if (space == fourcc("GRAY"))
        return profile.srgb_curve(fourcc("kTRC")) ? ProfileKind::srgb : ProfileKind::grey;
    if (space != fourcc("RGB "))
        return ProfileKind::unusable;

    static constexpr uint32_t colorant_tags[3] = {fourcc("rXYZ"), fourcc("gXYZ"), fourcc("bXYZ")};
    static constexpr uint32_t curve_tags[3] = {fourcc("rTRC"), fourcc("gTRC"), fourcc("bTRC")};
    for (int c = 0; c < 3; ++c) {
        double xyz[3];
        if (!profile.xyz(colorant_tags[c], xyz))
            return ProfileKind::rgb;  // not a matrix profile
        for (int i = 0; i < 3; ++i)
            if (std::fabs(xyz[i] - srgb_colorants[c][i]) > colorant_tolerance)
                return ProfileKind::rgb;
        if (!profile.srgb_curve(curve_tags[c]))
            return ProfileKind::rgb;
    }
    return ProfileKind::srgb;
}
