#include "app/command_line.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string_view>

const char quantreduce_help[] =
    "Usage: quantreduce [OPTIONS] IN OUT\n"
    "       quantreduce [OPTIONS] -o OUT IN\n"
    "       quantreduce [OPTIONS] --out-dir DIR IN...\n"
    "       quantreduce [OPTIONS] --ext SUFFIX IN...\n"
    "\n"
    "Reduces pictures (BMP, PNG, JPEG and the other kinds quantview reads) to at\n"
    "most 255 colours with error-diffusion dithering. OUT is written as a palette\n"
    "PNG when its name ends in .png, as a 24-bit bitmap file otherwise. IN - reads\n"
    "standard input; OUT - writes standard output (PNG unless --format bmp).\n"
    "\n"
    "  -o OUT              write the one picture IN to OUT\n"
    "      --out-dir DIR   write each IN to DIR/NAME.png, NAME being IN's file name\n"
    "                      without its extension (.bmp with --format bmp); DIR is\n"
    "                      created if missing\n"
    "      --ext SUFFIX    write each IN beside itself, its extension replaced by\n"
    "                      SUFFIX (for example --ext -255.png)\n"
    "  -n, --colors N      at most N colours, 2 to 255 (default 255)\n"
    "      --no-dither     no error diffusion: each pixel takes the palette colour\n"
    "                      nearest its own (for pixel art, icons and diagrams)\n"
    "      --format png|bmp  the output format where no output name gives it\n"
    "  -f, --force         replace outputs that exist, which a batch skips, and\n"
    "                      let OUT be IN itself\n"
    "  -j, --jobs N        reduce N pictures at once (default: one for each\n"
    "                      processor thread, at most one for each picture)\n"
    "  -q, --quiet         print nothing on standard output; errors still go to\n"
    "                      standard error\n"
    "      --report        in a batch, the full report for each picture\n"
    "      --help          show this text and exit\n"
    "      --version       show the version and exit\n"
    "\n"
    "One picture: its report (colour count, palette, remapping time) goes to\n"
    "standard output, or to standard error when OUT is -. A batch (--out-dir or\n"
    "--ext) prints one line a picture and skips pictures whose output exists, so\n"
    "running the same command again finishes a batch that was cut short. Every\n"
    "output is written to a temporary file and takes its name only when complete.\n"
    "\n"
    "Exit status: 0 when every picture was written (or skipped), 1 when one could\n"
    "not be read or written, 2 for a wrong command line.\n";

namespace {

bool ends_with(const std::string& name, const char* extension) {
    const size_t n = std::strlen(extension);
    if (name.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(name[name.size() - n + i])) != extension[i])
            return false;
    return true;
}

// A whole number from `low` to `high`, or false.
bool read_number(const std::string& text, long low, long high, int32_t& value) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return false;
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || n < low || n > high)
        return false;
    value = static_cast<int32_t>(n);
    return true;
}

// One option with its value (empty for a flag). False, with `error`, for a
// wrong value.
bool apply(const std::string& name, const std::string& value, ReduceCommand& command,
           std::string& error) {
    if (name == "colors") {
        if (!read_number(value, 2, 255, command.quantize.colors))
            error = "--colors takes a number from 2 to 255, not '" + value + "'";
    } else if (name == "jobs") {
        if (!read_number(value, 1, 65536, command.jobs))
            error = "--jobs takes a number from 1 up, not '" + value + "'";
    } else if (name == "format") {
        if (value == "png")
            command.format = OutputFormat::png;
        else if (value == "bmp")
            command.format = OutputFormat::bmp;
        else
            error = "--format takes png or bmp, not '" + value + "'";
    } else if (name == "output") {
        command.output = value;
    } else if (name == "out-dir") {
        command.out_dir = value;
        if (value.empty())
            error = "--out-dir needs a folder";
    } else if (name == "ext") {
        command.suffix = value;
        if (value.empty())
            error = "--ext needs a suffix";
    } else if (name == "no-dither") {
        command.quantize.dither = false;
    } else if (name == "force") {
        command.force = true;
    } else if (name == "quiet") {
        command.quiet = true;
    } else if (name == "report") {
        command.report = true;
    } else if (name == "help") {
        command.help = true;
    } else if (name == "version") {
        command.version = true;
    }
    return error.empty();
}

struct OptionName {
    char letter;  // 0: none
    const char* name;
    bool takes_value;
};

const OptionName options[] = {
    {'n', "colors", true}, {'j', "jobs", true},  {'o', "output", true},   {0, "format", true},
    {0, "out-dir", true},  {0, "ext", true},     {0, "no-dither", false}, {'f', "force", false},
    {'q', "quiet", false}, {0, "report", false}, {0, "help", false},      {0, "version", false},
};

const OptionName* find_long(std::string_view name) {
    for (const OptionName& option : options)
        if (name == option.name)
            return &option;
    return nullptr;
}

const OptionName* find_short(char letter) {
    for (const OptionName& option : options)
        if (option.letter == letter)
            return &option;
    return nullptr;
}

// The forms: which operands and options go together.
bool check_forms(ReduceCommand& command, bool have_output, std::string& error) {
    const size_t operands = command.inputs.size();
    const bool batch = !command.out_dir.empty() || !command.suffix.empty();
    if (!command.out_dir.empty() && !command.suffix.empty()) {
        error = "--out-dir and --ext cannot be used together";
    } else if (batch && have_output) {
        error = "-o names one output; --out-dir and --ext name many";
    } else if (batch) {
        command.mode = command.out_dir.empty() ? OutputMode::ext : OutputMode::out_dir;
        if (operands == 0)
            error = "no input pictures given";
        for (const std::string& input : command.inputs)
            if (input == "-")
                error = "standard input (-) cannot be one of the pictures of a batch";
    } else if (have_output) {
        if (operands != 1)
            error = operands == 0 ? "missing IN" : "-o takes one input picture";
    } else if (operands != 2) {
        error = operands == 0   ? "missing IN and OUT"
                : operands == 1 ? "missing OUT (or -o OUT)"
                                : "too many operands: --out-dir or --ext writes many pictures";
    } else {
        command.output = command.inputs.back();
        command.inputs.pop_back();
    }
    if (!error.empty())
        return false;
    // An output name that says one format and --format the other.
    const std::string& named = command.mode == OutputMode::ext ? command.suffix : command.output;
    if (command.mode != OutputMode::out_dir && command.format != OutputFormat::unset &&
        named != "-" && (ends_with(named, ".png") || ends_with(named, ".bmp")) &&
        writes_png(named, OutputFormat::unset) != (command.format == OutputFormat::png)) {
        error = "'" + named + "' and --format name different formats";
        return false;
    }
    return true;
}

}  // namespace

bool writes_png(const std::string& name, OutputFormat format) {
    if (ends_with(name, ".png"))
        return true;
    if (ends_with(name, ".bmp"))
        return false;
    if (format != OutputFormat::unset)
        return format == OutputFormat::png;
    return name == "-";
}

bool parse_command_line(int argc, const char* const* argv, ReduceCommand& command,
                        std::string& error) {
    bool options_ended = false;
    bool have_output = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options_ended || arg == "-" || arg.empty() || arg[0] != '-') {
            command.inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        // The options of this argument, each with its value.
        std::vector<std::pair<const OptionName*, std::string>> found;
        if (arg[1] == '-') {
            const size_t equals = arg.find('=');
            const std::string name =
                arg.substr(2, equals == std::string::npos ? equals : equals - 2);
            const OptionName* option = find_long(name);
            if (option == nullptr) {
                error = "unknown option --" + name;
                return false;
            }
            if (equals != std::string::npos && !option->takes_value) {
                error = "--" + name + " takes no value";
                return false;
            }
            if (option->takes_value && equals == std::string::npos) {
                if (i + 1 == argc) {
                    error = "--" + name + " needs a value";
                    return false;
                }
                found.emplace_back(option, argv[++i]);
            } else {
                found.emplace_back(option,
                                   equals == std::string::npos ? "" : arg.substr(equals + 1));
            }
        } else {
            // Letters together (-fq); a letter that takes a value takes the
            // rest of the argument or the next one (-n64, -n 64).
            for (size_t k = 1; k < arg.size(); ++k) {
                const OptionName* option = find_short(arg[k]);
                if (option == nullptr) {
                    error = std::string("unknown option -") + arg[k];
                    return false;
                }
                if (!option->takes_value) {
                    found.emplace_back(option, "");
                    continue;
                }
                if (k + 1 < arg.size()) {
                    found.emplace_back(option, arg.substr(k + 1));
                } else if (i + 1 < argc) {
                    found.emplace_back(option, argv[++i]);
                } else {
                    error = std::string("-") + arg[k] + " needs a value";
                    return false;
                }
                break;
            }
        }
        for (const auto& [option, value] : found) {
            if (!apply(option->name, value, command, error))
                return false;
            have_output = have_output || std::strcmp(option->name, "output") == 0;
            if (command.help || command.version)
                return true;
        }
    }
    return check_forms(command, have_output, error);
}
