// quantview: reduces a true-colour bitmap to at most 255 colours and shows it.
#include <cstdio>

#include "app/load_input.h"
#include "app/viewer_run.h"
#include "image/dib24.h"

int main(int argc, char** argv) {
    if (argc <= 1)
        return 1;
    dib24 image;
    image.create(1, 1, 0);
    if (!load_input(image, argv[1])) {
        std::printf("Cannot load input file : %s\n", argv[1]);
        return 1;
    }
    return run_viewer(image);
}
