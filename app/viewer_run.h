#pragma once

#include "image/dib24.h"

// Shows the loaded image until the user is done with it; the exit status.
int run_viewer(dib24& image);
