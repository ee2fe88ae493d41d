// quantreduce: reduces true-colour pictures to at most 255 colours and writes
// the results without a window, one picture or a batch of them.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/batch_run.h"
#include "app/command_line.h"
#include "app/outcome_lines.h"
#include "app/reduce_job.h"
#include "platform/file_system.h"
#include "quantize/thread_count.h"

namespace {

// A wrong command line: what is wrong, then the usage (the help's first
// lines), on standard error; nothing is written.
int usage_error(const std::string& error) {
    std::fprintf(stderr, "quantreduce: %s\n", error.c_str());
    const char* end = std::strstr(quantreduce_help, "\n\n");
    std::fwrite(quantreduce_help, 1, end + 1 - quantreduce_help, stderr);
    std::fputs("Try 'quantreduce --help' for more.\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    ReduceCommand command;
    std::string error;
    if (!parse_command_line(argc, argv, command, error))
        return usage_error(error);
    if (command.help) {
        std::fputs(quantreduce_help, stdout);
        return 0;
    }
    if (command.version) {
        std::printf("quantreduce %s\n", QV_VERSION);
        return 0;
    }
    prepare_file_writing();
    const std::vector<ReduceJob> jobs = plan_jobs(command);

    JobSettings settings;
    settings.quantize = command.quantize;
    settings.force = command.force;
    Printing printing;
    printing.lines = command.quiet ? nullptr : stdout;

    if (command.mode == OutputMode::single) {
        // The report as it is made; with the picture on standard output it
        // and every message go to standard error.
        const bool to_stdout = jobs[0].output == "-";
        FILE* messages = to_stdout || command.quiet ? stderr : stdout;
        settings.report = command.quiet ? nullptr : messages;
        printing.failures = messages;
        JobBuffers buffers;
        const JobOutcome outcome = run_job(jobs[0], settings, buffers);
        return print_outcome(jobs, 0, outcome, printing) ? 0 : 1;
    }

    if (command.mode == OutputMode::out_dir) {
        const FileError made = make_folders(command.out_dir.c_str());
        if (made != FileError::none) {
            std::fprintf(stderr, "quantreduce: cannot create the folder %s: %s\n",
                         command.out_dir.c_str(), write_reason(made));
            return 1;
        }
    }
    settings.skip_existing = true;
    settings.keep_report = command.report && !command.quiet;
    BatchSettings batch;
    batch.job = settings;
    batch.threads = quantizer_threads();
    batch.pictures = command.jobs > 0 ? command.jobs : batch.threads;
    batch.progress = !command.quiet && is_terminal(stderr);
    printing.batch = true;
    printing.failures = command.quiet ? stderr : stdout;
    batch.printing = printing;
    return run_batch(jobs, batch) ? 0 : 1;
}
