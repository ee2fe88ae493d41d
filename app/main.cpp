// quantview: reduces a true-colour picture to at most 255 colours and shows it.
#include <cstdio>

#include "app/load_input.h"
#include "app/viewer_run.h"
#include "image/dib24.h"

int main(int argc, char** argv) {
    if (argc <= 1)
        return 1;
    dib24 image;
    if (!load_or_say(image, argv[1], nullptr, stdout))
        return 1;
    return run_viewer(image);
}
