// One picture of quantreduce: where it comes from and goes to, and what
// became of it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "image/load_error.h"
#include "platform/file_system.h"
#include "quantize/process.h"

struct ReduceJob {
    std::string input;   // "-": standard input
    std::string output;  // "-": standard output
    bool png = true;     // a palette PNG, otherwise a 24-bit bitmap file
    // Another job that has this output (or whose input it is); -1: none.
    // This one is then refused before anything is written for it.
    int32_t clash = -1;
};

// The jobs of a command line, in the order of its inputs, their outputs named.
std::vector<ReduceJob> plan_jobs(const ReduceCommand& command);

// How the jobs of one run are done.
struct JobSettings {
    QuantizeOptions quantize;
    bool force = false;          // replace existing outputs, also the input itself
    bool skip_existing = false;  // a batch: an output file that exists is left alone
    // Where the report goes: a stream, or, when null, into JobOutcome::report
    // if `keep_report`, otherwise nowhere.
    FILE* report = nullptr;
    bool keep_report = false;
};

enum class JobResult {
    written,
    skipped,       // the output exists (a batch without --force)
    load_failed,   // see load_error
    write_failed,  // see write_error
    is_input,      // the output is the input file itself (without --force)
    clash,         // another job's output or input has that name
};

struct JobOutcome {
    JobResult result = JobResult::written;
    LoadError load_error = LoadError::none;
    FileError write_error = FileError::none;
    int32_t width = 0;
    int32_t height = 0;
    int32_t colors = 0;  // palette entries
    int64_t milliseconds = 0;
    std::string report;
};

// What one job after another reuses rather than allocating it anew.
struct JobBuffers {
    IndexRows indices;
};

// Loads, reduces and writes one picture; prints nothing.
JobOutcome run_job(const ReduceJob& job, const JobSettings& settings, JobBuffers& buffers);

// The name an input's output takes: `DIR/NAME.png` (or .bmp) for --out-dir,
// `IN-without-extension SUFFIX` for --ext (exposed for the tests).
std::string output_name(const ReduceCommand& command, const std::string& input);
