#include "image/decoded_picture.h"

bool DecodedPicture::start(int64_t width, int64_t height) {
    store.create(static_cast<int32_t>(width), static_cast<int32_t>(height), 0);
    if (store.bits == nullptr)
        return false;
    // Pixels that are converted to another colour space after decoding are
    // not final yet.
    if (watch != nullptr && conversion_for(colour) != Conversion::none)
        watch = nullptr;
    if (watch != nullptr)
        watch->begin(store);
    return true;
}
