#include "app/write_output.h"

#include <cerrno>

#include "image/picture_file.h"

FileError write_output(const std::string& path, bool png, const dib24& image,
                       const Palette& palette, const IndexRows& indices) {
    OutputFile file;
    const FileError opened = open_output(file, path);
    if (opened != FileError::none)
        return opened;
    errno = 0;
    const bool written =
        png ? save_palette_png(file.stream(), image.width, image.height, palette.data(),
                               static_cast<int>(palette.size() / 3), indices.data())
            : image.save(file.stream());
    return file.finish(written, errno);
}

FileError open_output(OutputFile& file, const std::string& path) {
    return path == "-" ? file.open_standard_output() : file.open(path.c_str());
}
