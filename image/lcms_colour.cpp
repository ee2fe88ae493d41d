// Colour conversion to sRGB on lcms2.
#include <lcms2.h>

#include <cstring>
#include <memory>
#include <vector>

#include "image/colour_space.h"
#include "image/picture_codec.h"

namespace {

// lcms2's messages are not printed.
void no_message(cmsContext, cmsUInt32Number, const char*) {}

struct ContextDeleter {
    void operator()(cmsContext c) const { cmsDeleteContext(c); }
};
struct ProfileDeleter {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
struct TransformDeleter {
    void operator()(void* t) const { cmsDeleteTransform(t); }
};
using Profile = std::unique_ptr<void, ProfileDeleter>;

// An RGB profile for an H.273 colour description: its primaries and white
// point, and its transfer characteristics: linear (8), the pure gammas 2.2 (4)
// and 2.8 (5), otherwise sRGB's curve (IEC 61966-2-1).
Profile profile_of_description(cmsContext context, uint16_t primaries, uint16_t transfer) {
    double xy[4][2];
    if (!primaries_of(primaries, xy))
        return nullptr;
    const cmsCIExyY white = {xy[3][0], xy[3][1], 1};
    const cmsCIExyYTRIPLE colorants = {
        {xy[0][0], xy[0][1], 1}, {xy[1][0], xy[1][1], 1}, {xy[2][0], xy[2][1], 1}};
    static const double srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = transfer == 8   ? cmsBuildGamma(context, 1.0)
                          : transfer == 4 ? cmsBuildGamma(context, 2.2)
                          : transfer == 5 ? cmsBuildGamma(context, 2.8)
                                          : cmsBuildParametricToneCurve(context, 4, srgb);
    if (curve == nullptr)
        return nullptr;
    cmsToneCurve* curves[3] = {curve, curve, curve};
    Profile profile(cmsCreateRGBProfileTHR(context, &white, &colorants, curves));
    cmsFreeToneCurve(curve);
    return profile;
}

}  // namespace

bool convert_to_srgb(DecodedPicture& picture, bool grey) {
    const std::unique_ptr<_cmsContext_struct, ContextDeleter> context(
        cmsCreateContext(nullptr, nullptr));
    if (context == nullptr)
        return false;
    cmsSetLogErrorHandlerTHR(context.get(), no_message);
    const ColourSpace& colour = picture.colour;
    const Profile source(
        !colour.icc.empty()
            ? cmsOpenProfileFromMemTHR(context.get(), colour.icc.data(),
                                       static_cast<cmsUInt32Number>(colour.icc.size()))
            : profile_of_description(context.get(), colour.primaries, colour.transfer).release());
    const Profile srgb(cmsCreate_sRGBProfileTHR(context.get()));
    if (source == nullptr || srgb == nullptr ||
        cmsGetColorSpace(source.get()) != (grey ? cmsSigGrayData : cmsSigRgbData))
        return false;
    // Grey pixels are read from their first sample, the other two passed over.
    const cmsUInt32Number input =
        grey ? COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(2) : TYPE_BGR_8;
    const std::unique_ptr<void, TransformDeleter> transform(cmsCreateTransformTHR(
        context.get(), source.get(), input, srgb.get(), TYPE_BGR_8, INTENT_PERCEPTUAL, 0));
    if (transform == nullptr)
        return false;
    const size_t row_bytes = size_t{3} * picture.width();
    std::vector<uint8_t> row(row_bytes);
    for (int32_t y = 0; y < picture.height(); ++y) {
        uint8_t* pixels = picture.row(y);
        std::memcpy(row.data(), pixels, row_bytes);
        cmsDoTransform(transform.get(), row.data(), pixels,
                       static_cast<cmsUInt32Number>(picture.width()));
    }
    return true;
}
