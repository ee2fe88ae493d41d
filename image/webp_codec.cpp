// WebP files on libwebp: still pictures decoded whole, animations through
// libwebpdemux's animation decoder, which composes the first frame on its
// canvas.
#include <webp/decode.h>
#include <webp/demux.h>

#include <memory>
#include <new>

#include "image/picture_codec.h"
#include "image/pixel_rows.h"

namespace {

LoadError reason(VP8StatusCode status) {
    switch (status) {
        case VP8_STATUS_OK:
            return LoadError::none;
        case VP8_STATUS_OUT_OF_MEMORY:
            return LoadError::too_large;
        case VP8_STATUS_UNSUPPORTED_FEATURE:
            return LoadError::not_a_picture;
        default:
            return LoadError::damaged;
    }
}

// Rows of `width` pixels, `stride` bytes apart, with or without alpha, to the
// picture's store.
LoadError take_rows(const uint8_t* rows, int width, int height, int stride, bool alpha,
                    DecodedPicture& picture) {
    if (!picture.start(width, height))
        return LoadError::too_large;
    for (int y = 0; y < height; ++y)
        rgb_row_to_bgr(rows + static_cast<ptrdiff_t>(stride) * y, width,
                       alpha ? Alpha::straight : Alpha::none, picture.row(y));
    picture.rows_done(height);
    return LoadError::none;
}

// The profile of the ICCP chunk, when the file has one.
void read_profile(const WebPData& data, DecodedPicture& picture) {
    const std::unique_ptr<WebPDemuxer, void (*)(WebPDemuxer*)> demux(WebPDemux(&data),
                                                                     WebPDemuxDelete);
    WebPChunkIterator chunk;
    if (demux == nullptr || !(WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG) ||
        !WebPDemuxGetChunk(demux.get(), "ICCP", 1, &chunk))
        return;
    // The chunk points into the file: nothing to release but the iterator.
    const uint8_t* bytes = chunk.chunk.bytes;
    const size_t n = chunk.chunk.size;
    WebPDemuxReleaseChunkIterator(&chunk);
    picture.colour.icc.assign(bytes, bytes + n);
}

LoadError first_frame(const WebPData& data, DecodedPicture& picture) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        return LoadError::damaged;
    options.color_mode = MODE_RGBA;
    options.use_threads = 0;
    const std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder*)> decoder(
        WebPAnimDecoderNew(&data, &options), WebPAnimDecoderDelete);
    WebPAnimInfo info;
    uint8_t* canvas = nullptr;
    int timestamp;
    if (decoder == nullptr || !WebPAnimDecoderGetInfo(decoder.get(), &info) ||
        !WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp))
        return LoadError::damaged;
    const int w = static_cast<int>(info.canvas_width);
    return take_rows(canvas, w, static_cast<int>(info.canvas_height), 4 * w, true, picture);
}

LoadError still_picture(const uint8_t* file, size_t size, bool alpha, DecodedPicture& picture) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return LoadError::damaged;
    // libwebp allocates the output, which is touched only as rows are decoded.
    config.output.colorspace = alpha ? MODE_RGBA : MODE_RGB;
    const LoadError error = reason(WebPDecode(file, size, &config));
    const std::unique_ptr<WebPDecBuffer, void (*)(WebPDecBuffer*)> output(&config.output,
                                                                          WebPFreeDecBuffer);
    if (error != LoadError::none)
        return error;
    const WebPRGBABuffer& rows = config.output.u.RGBA;
    return take_rows(rows.rgba, config.output.width, config.output.height, rows.stride, alpha,
                     picture);
}

}  // namespace

LoadError decode_webp(const uint8_t* file, size_t size, DecodedPicture& picture) {
    WebPBitstreamFeatures features;
    const LoadError error = reason(WebPGetFeatures(file, size, &features));
    if (error != LoadError::none)
        return error;
    // An animation's features give its canvas.
    if (const LoadError refused = size_refusal(features.width, features.height);
        refused != LoadError::none)
        return refused;
    try {
        const WebPData data = {file, size};
        read_profile(data, picture);
        return features.has_animation ? first_frame(data, picture)
                                      : still_picture(file, size, features.has_alpha, picture);
    } catch (const std::bad_alloc&) {
        return LoadError::too_large;
    }
}
