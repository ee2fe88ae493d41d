// HEIF files (HEIC and AVIF) on libheif, with HEVC through libde265 and AV1
// through libaom.
#include <libheif/heif.h>

#include <memory>
#include <new>

#include "image/picture_codec.h"
#include "image/pixel_rows.h"

namespace {

LoadError reason(const heif_error& error) {
    switch (error.code) {
        case heif_error_Ok:
            return LoadError::none;
        case heif_error_Memory_allocation_error:
            return LoadError::too_large;
        case heif_error_Unsupported_feature:
            // A coding that this libheif has no decoder for, or a feature it
            // does not read.
            return error.subcode == heif_suberror_Unsupported_codec ? LoadError::no_decoder
                                                                    : LoadError::not_a_picture;
        case heif_error_Unsupported_filetype:
            return LoadError::not_a_picture;
        default:
            return error.subcode == heif_suberror_Security_limit_exceeded ? LoadError::too_large
                                                                          : LoadError::damaged;
    }
}

template <class T, void (*release)(T*)>
struct Released {
    void operator()(T* p) const { release(p); }
};
using Context = std::unique_ptr<heif_context, Released<heif_context, heif_context_free>>;
using Handle = std::unique_ptr<heif_image_handle,
                               Released<const heif_image_handle, heif_image_handle_release>>;
using Image = std::unique_ptr<heif_image, Released<const heif_image, heif_image_release>>;
using Options = std::unique_ptr<heif_decoding_options,
                                Released<heif_decoding_options, heif_decoding_options_free>>;

// The profile or the colour description of the image's colr box.
void read_colour(const heif_image_handle* handle, ColourSpace& colour) {
    switch (heif_image_handle_get_color_profile_type(handle)) {
        case heif_color_profile_type_prof:
        case heif_color_profile_type_rICC:
            colour.icc.resize(heif_image_handle_get_raw_color_profile_size(handle));
            if (heif_image_handle_get_raw_color_profile(handle, colour.icc.data()).code !=
                heif_error_Ok)
                colour.icc.clear();
            break;
        case heif_color_profile_type_nclx: {
            heif_color_profile_nclx* nclx = nullptr;
            if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code == heif_error_Ok) {
                colour.primaries = static_cast<uint16_t>(nclx->color_primaries);
                colour.transfer = static_cast<uint16_t>(nclx->transfer_characteristics);
            }
            heif_nclx_color_profile_free(nclx);
            break;
        }
        default:
            break;
    }
}

LoadError read_heif(const uint8_t* file, size_t size, DecodedPicture& picture) {
    const Context context(heif_context_alloc());
    if (context == nullptr)
        return LoadError::too_large;
    // Sides beyond any store are refused before anything else is read.
    heif_context_set_maximum_image_size_limit(context.get(), 1 << 16);
    LoadError error =
        reason(heif_context_read_from_memory_without_copy(context.get(), file, size, nullptr));
    heif_image_handle* h = nullptr;
    if (error == LoadError::none)
        error = reason(heif_context_get_primary_image_handle(context.get(), &h));
    const Handle handle(h);
    if (error != LoadError::none)
        return error;
    // The size shown, after the file's own turns and cuts.
    const int w = heif_image_handle_get_width(h), ht = heif_image_handle_get_height(h);
    if (const LoadError refused = size_refusal(w, ht); refused != LoadError::none)
        return refused;
    read_colour(h, picture.colour);

    const bool alpha = heif_image_handle_has_alpha_channel(h);
    const bool premultiplied = heif_image_handle_is_premultiplied_alpha(h);
    const Options options(heif_decoding_options_alloc());
    if (options == nullptr)
        return LoadError::too_large;
    // Samples of more than 8 bits to their high byte.
    options->convert_hdr_to_8bit = 1;
    // AV1 through libaom: dav1d, as libheif drives it, prints what it finds
    // wrong in a damaged file on standard error. (A HEVC picture gets its
    // own decoder whatever this names.)
    options->decoder_id = "aom";
    options->strict_decoding = 1;
    heif_image* decoded = nullptr;
    error = reason(heif_decode_image(
        h, &decoded, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get()));
    const Image image(decoded);
    if (error != LoadError::none)
        return error;
    int stride = 0;
    const uint8_t* rows = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(decoded, heif_channel_interleaved);
    const int height = heif_image_get_height(decoded, heif_channel_interleaved);
    // The coded picture must be the size the file declares.
    if (rows == nullptr ||
        heif_image_get_bits_per_pixel_range(decoded, heif_channel_interleaved) != 8 || width != w ||
        height != ht)
        return LoadError::damaged;
    if (!picture.start(width, height))
        return LoadError::too_large;
    const Alpha kind = !alpha          ? Alpha::none
                       : premultiplied ? Alpha::premultiplied
                                       : Alpha::straight;
    for (int y = 0; y < height; ++y)
        rgb_row_to_bgr(rows + static_cast<ptrdiff_t>(stride) * y, width, kind, picture.row(y));
    picture.rows_done(height);
    return LoadError::none;
}

}  // namespace

LoadError decode_heif(const uint8_t* file, size_t size, DecodedPicture& picture) {
    try {
        return read_heif(file, size, picture);
    } catch (const std::bad_alloc&) {
        return LoadError::too_large;
    }
}
