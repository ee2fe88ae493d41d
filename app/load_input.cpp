#include "app/load_input.h"

#include <cstdio>

#include "image/picture_file.h"

bool load_input(dib24& image, const char* path) {
    FILE* stream = std::fopen(path, "rb");
    if (stream == nullptr)
        return false;
    bool loaded = load_picture(image, stream);
    std::fclose(stream);
    return loaded;
}
