// quantreduce: reduces a true-colour bitmap to at most 255 colours and writes
// the result as a 24-bit bitmap file, without a window.
#include <cstdio>
#include <cstring>

#include "app/load_input.h"
#include "image/dib24.h"
#include "quantize/process.h"

namespace {

const char usage[] =
    "Usage: quantreduce IN.bmp OUT.bmp\n"
    "Reduces the picture in IN.bmp to at most 255 colours with error-diffusion\n"
    "dithering and writes it to OUT.bmp as a 24-bit bitmap file. The colour count,\n"
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
    process(image);
    FILE* out = std::fopen(argv[2], "wb");
    bool saved = out != nullptr && image.save(out);
    if (out != nullptr && std::fclose(out) != 0)
        saved = false;
    if (!saved) {
        std::printf("Cannot write output file : %s\n", argv[2]);
        return 1;
    }
    return 0;
}
