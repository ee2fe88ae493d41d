#include "app/write_output.h"

#include "image/picture_file.h"

FileError write_output(const std::string& path, bool png, const dib24& image,
                       const Palette& palette, const IndexRows& indices) {
    const auto write = [&](FILE* stream) {
        return png ? save_palette_png(stream, image.width, image.height, palette.data(),
                                      static_cast<int>(palette.size() / 3), indices.data())
                   : image.save(stream);
    };
    return write_output_with(path, write);
}

FileError write_output_with(const std::string& path, const std::function<bool(FILE*)>& write) {
    return path == "-" ? write_standard_output(write) : replace_file(path.c_str(), write);
}
