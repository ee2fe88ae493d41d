#include "image/picture_file.h"

#include <cstring>
#include <new>

#include "image/bitmap_file.h"
#include "image/heif_boxes.h"
#include "image/jpeg_markers.h"
#include "image/orientation.h"
#include "image/png_chunks.h"
#include "image/stream_bytes.h"
#include "image/tiff_directory.h"
#include "image/webp_chunks.h"

PictureKind picture_kind(const uint8_t* head, size_t size) {
    static const uint8_t png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= 8 && std::memcmp(head, png_signature, 8) == 0)
        return PictureKind::png;
    // Start of image, then the first marker.
    if (size >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
        return PictureKind::jpeg;
    if (size >= 2 && head[0] == 'B' && head[1] == 'M')
        return PictureKind::bitmap;
    if (webp_signature(head, size))
        return PictureKind::webp;
    if (size >= 4 && (std::memcmp(head, "II*\0", 4) == 0 || std::memcmp(head, "MM\0*", 4) == 0))
        return PictureKind::tiff;
    if (heif_brand(head, size))
        return PictureKind::heif;
    return PictureKind::unknown;
}

namespace {

// True when every pixel is grey (red = green = blue).
bool all_grey(const DecodedPicture& picture) {
    for (int32_t y = 0; y < picture.height(); ++y) {
        const uint8_t* p = picture.row(y);
        for (int32_t x = 0; x < picture.width(); ++x, p += 3)
            if (p[0] != p[1] || p[0] != p[2])
                return false;
    }
    return true;
}

// The pixels in sRGB, converted where their colour space asks for it. A grey
// profile describes grey pixels only; with colour pixels it is not used.
void to_srgb(DecodedPicture& picture) {
    const Conversion conversion = conversion_for(picture.colour);
    if (conversion == Conversion::rgb || (conversion == Conversion::grey && all_grey(picture)))
        convert_to_srgb(picture, conversion == Conversion::grey);
}

// Cancels a watch that was told of rows of a store about to go, unless the
// picture loaded.
struct CancelUnlessLoaded {
    RowWatch* watch;
    bool loaded = false;
    ~CancelUnlessLoaded() {
        if (watch != nullptr && !loaded)
            watch->cancel();
    }
};

}  // namespace

LoadError decode_picture(const uint8_t* file, size_t size, DecodedPicture& picture,
                         RowWatch* watch) {
    // Not every platform's decoder tells of damage it passed over or data it
    // had to make up: the structure is checked here, on every platform.
    LoadError error = LoadError::damaged;
    // Rows to be turned are not final as they are decoded.
    int orientation = 1;
    const auto decode = [&](LoadError (*decoder)(const uint8_t*, size_t, DecodedPicture&)) {
        picture.watch = orientation == 1 ? watch : nullptr;
        return decoder(file, size, picture);
    };
    switch (picture_kind(file, size)) {
        case PictureKind::png:
            if (png_chunks_sound(file, size))
                error = decode(decode_png);
            break;
        case PictureKind::jpeg:
            if (jpeg_markers_sound(file, size)) {
                orientation = jpeg_orientation(file, size);
                error = decode(decode_jpeg);
            }
            break;
        case PictureKind::webp:
            if (webp_chunks_sound(file, size))
                error = decode(decode_webp);
            break;
        case PictureKind::tiff:
            if (tiff_sound(file, size)) {
                orientation = tiff_orientation(file, size);
                error = decode(decode_tiff);
            }
            break;
        case PictureKind::heif:
            if (heif_boxes_sound(file, size))
                error = decode(decode_heif);
            break;
        default:
            return LoadError::not_a_picture;
    }
    if (error != LoadError::none)
        return error;
    // What every decoder promises, checked once more before it is relied on.
    if (picture.store.bits == nullptr)
        return LoadError::damaged;
    to_srgb(picture);
    return apply_orientation(picture, orientation) ? LoadError::none : LoadError::too_large;
}

bool load_picture(dib24& image, FILE* stream, LoadError* why, RowWatch* watch) {
    LoadError error = LoadError::none;
    try {
        StreamBytes file;
        if (!file.take(stream)) {
            error = LoadError::unreadable;
        } else if (picture_kind(file.data(), file.size()) == PictureKind::bitmap) {
            error = load_bitmap_file(image, file);
        } else {
            DecodedPicture picture;
            CancelUnlessLoaded cancel{watch};
            error = decode_picture(file.data(), file.size(), picture, watch);
            if (error == LoadError::none) {
                image.swap(picture.store);
                cancel.loaded = true;
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
    return stream != nullptr &&
           encode_palette_png(width, height, palette, colors, indices,
                              [stream](const uint8_t* bytes, size_t count) {
                                  return std::fwrite(bytes, 1, count, stream) == count;
                              });
}
