#include "app/outcome_lines.h"

#include <string>

#include "app/load_input.h"

namespace {

const char* load_reason(const ReduceJob& job, LoadError error) {
    switch (error) {
        case LoadError::none:
            break;
        case LoadError::unreadable:
            if (job.input == "-")
                return "standard input could not be read";
            switch (path_kind(job.input.c_str())) {
                case PathKind::missing:
                    return "no such file";
                case PathKind::folder:
                    return "a folder, not a picture file";
                default:
                    return "the file cannot be read (no permission?)";
            }
        case LoadError::not_a_picture:
            return "not a kind of picture quantreduce reads";
        case LoadError::damaged:
            return "the picture is damaged or cut short";
        case LoadError::too_large:
            return "the picture is too large to hold in memory";
        case LoadError::no_decoder:
            return "this system has no decoder for this kind of picture";
    }
    return "it cannot be loaded";
}

}  // namespace

const char* write_reason(FileError error) {
    switch (error) {
        case FileError::none:
            break;
        case FileError::no_folder:
            return "its folder does not exist";
        case FileError::denied:
            return "no permission to write there";
        case FileError::read_only:
            return "the disk is read-only";
        case FileError::full:
            return "the disk is full";
        case FileError::too_large:
            return "the file would be larger than this process may write";
        case FileError::is_folder:
            return "a folder has that name";
        case FileError::failed:
            break;
    }
    return "the system could not write it";
}

bool print_outcome(const std::vector<ReduceJob>& jobs, size_t i, const JobOutcome& outcome,
                   const Printing& printing) {
    const ReduceJob& job = jobs[i];
    const char* in = job.input.c_str();
    const char* out = job.output.c_str();
    std::string why;
    switch (outcome.result) {
        case JobResult::written:
            if (printing.batch && printing.lines != nullptr) {
                std::fprintf(printing.lines, "%s -> %s (%d x %d, %d colours, %lld ms)\n", in, out,
                             outcome.width, outcome.height, outcome.colors,
                             static_cast<long long>(outcome.milliseconds));
                std::fputs(outcome.report.c_str(), printing.lines);
            }
            return true;
        case JobResult::skipped:
            if (printing.lines != nullptr)
                std::fprintf(printing.lines, "%s: skipped, %s exists\n", in, out);
            return true;
        case JobResult::load_failed:
            say_cannot_load(printing.failures, in);
            std::fflush(printing.failures);  // before the reason, where both reach one file
            std::fprintf(stderr, "quantreduce: %s: %s\n", in, load_reason(job, outcome.load_error));
            return false;
        case JobResult::write_failed:
            why = write_reason(outcome.write_error);
            break;
        case JobResult::is_input:
            why = "it is the input file itself (--force replaces it)";
            break;
        case JobResult::clash: {
            const ReduceJob& other = jobs[job.clash];
            why = file_name_key(other.output) == file_name_key(job.output)
                      ? other.input + " is written to the same name"
                      : "that is the name of the input " + other.input;
            break;
        }
    }
    std::fprintf(printing.failures, "Cannot write output file : %s\n", out);
    std::fflush(printing.failures);
    std::fprintf(stderr, "quantreduce: %s: %s\n", out, why.c_str());
    return false;
}
