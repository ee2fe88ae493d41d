#include "app/reduce_job.h"

#include <chrono>
#include <new>
#include <optional>
#include <unordered_map>

#include "app/load_input.h"
#include "app/png_while_remapping.h"
#include "app/write_output.h"
#include "image/dib24.h"

namespace {

// `name` without its extension: the last dot of the file name and what
// follows it, unless the dot begins the name (".profile").
std::string_view without_extension(std::string_view path) {
    const size_t start = file_name_start(path);
    const size_t dot = path.rfind('.');
    return dot != std::string_view::npos && dot > start ? path.substr(0, dot) : path;
}

// The contents of a scratch stream, which it then closes.
std::string read_back(FILE* stream) {
    std::string text;
    std::rewind(stream);
    char block[4096];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, stream)) > 0)
        text.append(block, n);
    std::fclose(stream);
    return text;
}

void reduce(const ReduceJob& job, const JobSettings& settings, JobBuffers& buffers,
            JobOutcome& outcome) {
    const bool to_file = job.output != "-";
    if (job.clash >= 0) {
        outcome.result = JobResult::clash;
        return;
    }
    if (to_file && settings.skip_existing && !settings.force &&
        path_kind(job.output.c_str()) == PathKind::file) {
        outcome.result = JobResult::skipped;
        return;
    }
    const bool from_file = job.input != "-";
    if (to_file && from_file && !settings.force &&
        same_file(job.input.c_str(), job.output.c_str())) {
        outcome.result = JobResult::is_input;
        return;
    }
    dib24 image;
    if (!from_file)
        use_binary_input();
    const int32_t threads = quantizer_threads(settings.quantize);
    // The colours are counted as the rows are decoded.
    ColorCounting counting(threads);
    if (!load_or_say(image, job.input.c_str(), from_file ? nullptr : stdin, nullptr,
                     &outcome.load_error, &counting)) {
        outcome.result = JobResult::load_failed;
        return;
    }
    outcome.width = image.width;
    outcome.height = image.height;

    FILE* scratch =
        settings.report == nullptr && settings.keep_report ? open_scratch_file() : nullptr;
    FILE* report = settings.report != nullptr ? settings.report
                   : scratch != nullptr       ? scratch
                                              : null_output();
    if (report == nullptr)
        report = stderr;  // no null device: the report is shown rather than lost
    Palette palette;
    IndexRows& indices = buffers.indices;
    // On more than one thread the PNG is compressed as the rows are remapped.
    std::optional<PngWhileRemapping> streamed;
    if (job.png && threads > 1)
        streamed.emplace(job.output, image, indices);
    process(image, report, &palette, job.png ? &indices : nullptr, settings.quantize, &counting,
            streamed ? &*streamed : nullptr);
    if (scratch != nullptr)
        outcome.report = read_back(scratch);
    outcome.colors = static_cast<int32_t>(palette.size() / 3);

    outcome.write_error = streamed && streamed->started()
                              ? streamed->finish()
                              : write_output(job.output, job.png, image, palette, indices);
    if (outcome.write_error != FileError::none)
        outcome.result = JobResult::write_failed;
}

}  // namespace

std::string output_name(const ReduceCommand& command, const std::string& input) {
    if (command.mode == OutputMode::ext)
        return std::string(without_extension(input)) + command.suffix;
    const std::string_view name = std::string_view(input).substr(file_name_start(input));
    std::string output = command.out_dir;
    // A folder given with its separator at the end keeps it alone.
    if (file_name_start(output) != output.size())
        output += '/';
    output += without_extension(name);
    output += command.format == OutputFormat::bmp ? ".bmp" : ".png";
    return output;
}

std::vector<ReduceJob> plan_jobs(const ReduceCommand& command) {
    std::vector<ReduceJob> jobs;
    if (command.mode == OutputMode::single) {
        jobs.push_back(
            {command.inputs[0], command.output, writes_png(command.output, command.format)});
        return jobs;
    }
    // Names as the file system compares them, to the first job that has them.
    std::unordered_map<std::string, int32_t> inputs, outputs;
    for (size_t i = 0; i < command.inputs.size(); ++i)
        inputs.emplace(file_name_key(command.inputs[i]), static_cast<int32_t>(i));
    for (size_t i = 0; i < command.inputs.size(); ++i) {
        ReduceJob job;
        job.input = command.inputs[i];
        job.output = output_name(command, job.input);
        job.png = writes_png(job.output, command.format);
        const std::string key = file_name_key(job.output);
        const auto [first, fresh] = outputs.emplace(key, static_cast<int32_t>(i));
        const auto input = inputs.find(key);
        if (!fresh)
            job.clash = first->second;
        else if (input != inputs.end() && input->second != static_cast<int32_t>(i))
            job.clash = input->second;
        jobs.push_back(std::move(job));
    }
    return jobs;
}

JobOutcome run_job(const ReduceJob& job, const JobSettings& settings, JobBuffers& buffers) {
    const auto start = std::chrono::steady_clock::now();
    JobOutcome outcome;
    try {
        reduce(job, settings, buffers, outcome);
    } catch (const std::bad_alloc&) {
        // The quantizer's tables or the output's bytes did not fit.
        outcome = {};
        outcome.result = JobResult::load_failed;
        outcome.load_error = LoadError::too_large;
    }
    outcome.milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count();
    return outcome;
}
