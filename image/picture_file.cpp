#include "image/picture_file.h"

#include <cstring>
#include <new>
#include <vector>

#include "image/bitmap_file.h"
#include "image/dib_layout.h"
#include "image/jpeg_markers.h"
#include "image/orientation.h"
#include "image/picture_codec.h"
#include "image/stream_bytes.h"

PictureKind picture_kind(const uint8_t* head, size_t size) {
    static const uint8_t png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= 8 && std::memcmp(head, png_signature, 8) == 0)
        return PictureKind::png;
    // Start of image, then the first marker.
    if (size >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
        return PictureKind::jpeg;
    if (size >= 2 && head[0] == 'B' && head[1] == 'M')
        return PictureKind::bitmap;
    return PictureKind::unknown;
}

namespace {

// Decoded rows (top first, red, green, blue) to the store (bottom-up, blue,
// green, red).
bool load_decoded(dib24& image, const DecodedPicture& picture) {
    if (!dib_layout::store_fits(picture.width, picture.height) ||
        picture.rgb.size() != size_t{3} * picture.width * picture.height)
        return false;
    image.create(picture.width, picture.height, 0);
    if (image.bits == nullptr)
        return false;
    const size_t row = size_t{3} * picture.width;
    for (int32_t y = 0; y < picture.height; ++y) {
        const uint8_t* from = picture.rgb.data() + row * y;
        uint8_t* to = image.bits + size_t(image.height - 1 - y) * image.stride;
        for (size_t i = 0; i < row; i += 3) {
            to[i] = from[i + 2];
            to[i + 1] = from[i + 1];
            to[i + 2] = from[i];
        }
    }
    return true;
}

}  // namespace

bool load_picture(dib24& image, FILE* stream, LoadError* why) {
    LoadError error = LoadError::none;
    try {
        std::vector<uint8_t> file;
        if (!read_stream(stream, file)) {
            error = LoadError::unreadable;
        } else {
            DecodedPicture picture;
            // Until the decoders tell their reasons, a picture of a known kind
            // that does not load is taken as damaged.
            error = LoadError::damaged;
            switch (picture_kind(file.data(), file.size())) {
                case PictureKind::bitmap:
                    if (load_bitmap_file(image, file.data(), file.size()) == LoadError::none)
                        error = LoadError::none;
                    break;
                case PictureKind::png:
                    if (decode_png(file.data(), file.size(), picture)) {
                        file = {};
                        if (load_decoded(image, picture))
                            error = LoadError::none;
                    }
                    break;
                case PictureKind::jpeg:
                    // Not every platform's decoder tells of data it had to make
                    // up: a file cut short or with stray bytes is refused here.
                    if (jpeg_markers_sound(file.data(), file.size()) &&
                        decode_jpeg(file.data(), file.size(), picture)) {
                        apply_orientation(picture, jpeg_orientation(file.data(), file.size()));
                        file = {};
                        if (load_decoded(image, picture))
                            error = LoadError::none;
                    }
                    break;
                case PictureKind::unknown:
                    error = LoadError::not_a_picture;
                    break;
            }
        }
    } catch (const std::bad_alloc&) {
        error = LoadError::too_large;
    }
    if (why != nullptr)
        *why = error;
    return error == LoadError::none;
}

bool save_palette_png(FILE* stream, int32_t width, int32_t height, const uint8_t* palette,
                      int colors, const uint8_t* indices) {
    try {
        std::vector<uint8_t> png;
        return stream != nullptr &&
               encode_palette_png(width, height, palette, colors, indices, png) &&
               std::fwrite(png.data(), 1, png.size(), stream) == png.size();
    } catch (const std::bad_alloc&) {
        return false;
    }
}
