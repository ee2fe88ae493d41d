#include "app/load_input.h"

#include "image/picture_file.h"

bool load_input(dib24& image, const char* path, LoadError* why, RowWatch* watch) {
    FILE* stream = std::fopen(path, "rb");
    if (stream == nullptr) {
        if (why != nullptr)
            *why = LoadError::unreadable;
        return false;
    }
    bool loaded = load_picture(image, stream, why, watch);
    std::fclose(stream);
    return loaded;
}

bool load_or_say(dib24& image, const char* path, FILE* stream, FILE* say_to, LoadError* why,
                 RowWatch* watch) {
    image.create(1, 1, 0);
    const bool loaded = stream != nullptr ? load_picture(image, stream, why, watch)
                                          : load_input(image, path, why, watch);
    if (!loaded && say_to != nullptr)
        say_cannot_load(say_to, path);
    return loaded;
}

void say_cannot_load(FILE* to, const char* path) {
    std::fprintf(to, "Cannot load input file : %s\n", path);
}
