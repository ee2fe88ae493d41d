// quantreduce's command line: its forms, its options and their values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quantize/process.h"

// --format: how an output is written where its name does not say.
enum class OutputFormat { unset, png, bmp };

// Where the reduced pictures go.
enum class OutputMode {
    single,   // IN OUT, or -o OUT IN: one picture
    out_dir,  // --out-dir DIR IN...: DIR/NAME.png for each
    ext,      // --ext SUFFIX IN...: beside each input, its extension replaced
};

struct ReduceCommand {
    OutputMode mode = OutputMode::single;
    std::vector<std::string> inputs;  // "-": standard input
    std::string output;               // single: OUT ("-": standard output)
    std::string out_dir;              // out_dir: DIR
    std::string suffix;               // ext: SUFFIX
    OutputFormat format = OutputFormat::unset;
    QuantizeOptions quantize;  // --colors, --no-dither
    int32_t jobs = 0;          // --jobs; 0: chosen from the threads and pictures
    bool force = false;
    bool quiet = false;
    bool report = false;
    bool help = false;
    bool version = false;
};

// Reads the arguments after the program's name. False for a wrong command
// line, with `error` saying what is wrong in one line (no line end); help and
// version end the reading where they stand.
bool parse_command_line(int argc, const char* const* argv, ReduceCommand& command,
                        std::string& error);

// True when the output named `name` is a palette PNG: a name ending in
// ".png" (in any case) is, one ending in ".bmp" is a bitmap file; any other
// name is what --format says, by default PNG for standard output ("-") and a
// bitmap file for a file.
bool writes_png(const std::string& name, OutputFormat format);

// --help's text; its first lines (up to the first blank line) are the usage
// printed after a command-line error.
extern const char quantreduce_help[];
