// A batch of quantreduce: many pictures at once, each told of as it is done.
#pragma once

#include <cstdint>
#include <vector>

#include "app/outcome_lines.h"
#include "app/reduce_job.h"

struct BatchSettings {
    JobSettings job;        // the quantizer's thread count is set here
    int32_t pictures = 1;   // how many pictures are reduced at once
    int32_t threads = 1;    // hardware threads for all of them together
    bool progress = false;  // a progress line on standard error
    Printing printing;
};

// Runs every job, settings.pictures at a time, and prints what became of each
// in the order of `jobs` (print_outcome). Threads that no whole picture takes
// go to the pictures' own remapping; the bytes written do not depend on how
// the threads are shared. True when every picture was written or skipped.
bool run_batch(const std::vector<ReduceJob>& jobs, const BatchSettings& settings);
