// What quantreduce prints about each picture, in a user's words.
#pragma once

#include <cstdio>
#include <vector>

#include "app/reduce_job.h"

struct Printing {
    FILE* lines = nullptr;     // a batch's line for each picture; null: none (--quiet)
    FILE* failures = nullptr;  // "Cannot load input file" and "Cannot write output file"
    bool batch = false;
};

// Prints what became of jobs[i]: in a batch its line ("IN -> OUT (...)", the
// report when one was kept, or "IN: skipped, OUT exists"); for a failure the
// "Cannot ..." line and, on standard error, one line saying why. True when
// the picture was written or skipped.
bool print_outcome(const std::vector<ReduceJob>& jobs, size_t i, const JobOutcome& outcome,
                   const Printing& printing);

// Why a file or folder could not be written, in a user's words.
const char* write_reason(FileError error);
