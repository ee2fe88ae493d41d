// quantreduce: reduces a true-colour picture to at most 255 colours and writes
// the result without a window: as an 8-bit palette PNG when the output's name
// ends in ".png" (in any case), as a 24-bit bitmap file otherwise.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/load_input.h"
#include "image/dib24.h"
#include "image/picture_file.h"
#include "quantize/process.h"

namespace {

bool names_png(const char* path) {
    const size_t n = std::strlen(path);
    if (n < 4)
        return false;
    const char* ext = path + n - 4;
    return ext[0] == '.' && std::tolower(static_cast<unsigned char>(ext[1])) == 'p' &&
           std::tolower(static_cast<unsigned char>(ext[2])) == 'n' &&
           std::tolower(static_cast<unsigned char>(ext[3])) == 'g';
}

const char usage[] =
    "Usage: quantreduce IN OUT\n"
    "Reduces the picture in IN (a BMP, PNG or JPEG file) to at most 255 colours\n"
    "with error-diffusion dithering and writes it to OUT: as an 8-bit palette PNG\n"
    "when OUT ends in .png, as a 24-bit bitmap file otherwise. The colour count,\n"
    "the palette and the remapping time are reported on standard output.\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("quantreduce %s\n", QV_VERSION);
        return 0;
    }
    if (argc < 3)
        return 1;
    dib24 image;
    image.create(1, 1, 0);
    if (!load_input(image, argv[1])) {
        std::printf("Cannot load input file : %s\n", argv[1]);
        return 1;
    }
    const bool png = names_png(argv[2]);
    // The remapping hands back each pixel's palette entry as it writes it.
    Palette palette;
    std::vector<uint8_t> indices;
    process(image, stdout, png ? &palette : nullptr, png ? &indices : nullptr);
    FILE* out = std::fopen(argv[2], "wb");
    bool saved = out != nullptr &&
                 (png ? save_palette_png(out, image.width, image.height, palette.data(),
                                         static_cast<int>(palette.size() / 3), indices.data())
                      : image.save(out));
    if (out != nullptr && std::fclose(out) != 0)
        saved = false;
    if (!saved) {
        std::printf("Cannot write output file : %s\n", argv[2]);
        return 1;
    }
    return 0;
}
