#include "app/load_input.h"

#include <cstdio>

bool load_input(dib24& image, const char* path) {
    FILE* stream = std::fopen(path, "rb");
    if (stream == nullptr) return false;
    bool loaded = image.load(stream);
    std::fclose(stream);
    return loaded;
}
