#include "app/viewer_run.h"

int run_viewer(dib24&) {
    // The viewer window arrives with the window framework; until then a
    // loaded image is a successful run.
    return 0;
}
