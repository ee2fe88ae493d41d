#include "app/load_input.h"

#include <cstdio>

#include "image/picture_file.h"

bool load_input(dib24& image, const char* path, LoadError* why) {
    FILE* stream = std::fopen(path, "rb");
    if (stream == nullptr) {
        if (why != nullptr)
            *why = LoadError::unreadable;
        return false;
    }
    bool loaded = load_picture(image, stream, why);
    std::fclose(stream);
    return loaded;
}
