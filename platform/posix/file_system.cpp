#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <random>
#include <string>
#include <utility>

#include "platform/file_error_errno.h"
#include "platform/pending_files.h"

namespace {

PendingFiles<char, 4096> pending_files;

extern "C" void on_interrupt(int signal_number) {
    pending_files.remove_all([](const char* name) { unlink(name); });
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// A new file beside `path` that no other writer can have opened: its name
// is path's own, hidden, with a random part; `name` receives it.
int create_temporary(const char* path, std::string& name) {
    thread_local std::mt19937_64 random{std::random_device{}()};
    const std::string_view whole(path);
    const size_t start = file_name_start(whole);
    std::string_view base = whole.substr(start);
    if (base.size() > 200)  // room for the additions within a name's 255 bytes
        base = {};
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint64_t r = random();
        name.assign(whole.substr(0, start));
        name += '.';
        name += base;
        name += '.';
        for (int i = 0; i < 8; ++i, r /= 36)
            name += digits[r % 36];
        name += ".part";
        // 0666 less the umask, as any new file gets.
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The end of writing a stream: flushed, on the disk, closed; the errno of
// the first failure, or 0.
int finish_stream(FILE* stream, bool written, int error) {
    if (written && std::fflush(stream) != 0)
        error = errno;
    else if (written && fsync(fileno(stream)) != 0)
        error = errno;
    if (std::fclose(stream) != 0 && error == 0)
        error = errno;
    return error;
}

}  // namespace

PathKind path_kind(const char* path) {
    struct stat s;
    if (stat(path, &s) != 0)
        return errno == ENOENT || errno == ENOTDIR ? PathKind::missing : PathKind::inaccessible;
    return S_ISDIR(s.st_mode) ? PathKind::folder : PathKind::file;
}

bool same_file(const char* a, const char* b) {
    struct stat sa, sb;
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

FileError make_folders(const char* path) {
    if (mkdir(path, 0777) == 0)
        return FileError::none;
    if (errno == EEXIST)
        return path_kind(path) == PathKind::folder ? FileError::none : FileError::is_folder;
    if (errno != ENOENT)
        return file_error_from_errno(errno);
    // A folder above is missing: make it first, then this one.
    std::string parent(path);
    while (!parent.empty() && parent.back() == '/')
        parent.pop_back();
    parent.resize(file_name_start(parent));
    while (parent.size() > 1 && parent.back() == '/')
        parent.pop_back();
    if (parent.empty() || parent == "/")
        return FileError::no_folder;
    const FileError above = make_folders(parent.c_str());
    if (above != FileError::none)
        return above;
    if (mkdir(path, 0777) == 0 || (errno == EEXIST && path_kind(path) == PathKind::folder))
        return FileError::none;
    return file_error_from_errno(errno);
}

// The file being written: its stream, and for a file that replaces another
// the temporary name, held for an interrupt while it lives.
struct OutputFile::Open {
    Open(FILE* stream, std::string target, std::string name)
        : stream(stream),
          path(std::move(target)),
          temporary(std::move(name)),
          pending(pending_files, temporary) {}
    FILE* stream;
    std::string path, temporary;  // both empty for standard output
    PendingFiles<char, 4096>::Entry pending;
};

OutputFile::OutputFile() = default;

OutputFile::~OutputFile() {
    if (open_ != nullptr && !open_->temporary.empty()) {
        std::fclose(open_->stream);
        unlink(open_->temporary.c_str());
    }
}

FILE* OutputFile::stream() const {
    return open_ != nullptr ? open_->stream : nullptr;
}

FileError OutputFile::open(const char* path) {
    if (open_ != nullptr)
        return FileError::failed;
    if (path_kind(path) == PathKind::folder)
        return FileError::is_folder;
    std::string temporary;
    const int fd = create_temporary(path, temporary);
    if (fd < 0)
        return file_error_from_errno(errno);
    // A file that is replaced keeps its permissions.
    struct stat before;
    if (stat(path, &before) == 0 && S_ISREG(before.st_mode))
        fchmod(fd, before.st_mode & 07777);
    FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) {
        const int error = errno;
        close(fd);
        unlink(temporary.c_str());
        return file_error_from_errno(error);
    }
    open_ = std::make_unique<Open>(stream, path, std::move(temporary));
    return FileError::none;
}

FileError OutputFile::open_standard_output() {
    if (open_ != nullptr)
        return FileError::failed;
    open_ = std::make_unique<Open>(stdout, std::string(), std::string());
    return FileError::none;
}

FileError OutputFile::finish(bool written, int write_errno) {
    if (open_ == nullptr)
        return FileError::failed;
    const std::unique_ptr<Open> open = std::move(open_);
    int error = written ? 0 : write_errno != 0 ? write_errno : -1;
    if (open->temporary.empty()) {
        if (error == 0 && std::fflush(stdout) != 0)
            error = errno;
        return error != 0 ? file_error_from_errno(error) : FileError::none;
    }
    error = finish_stream(open->stream, written, error);
    if (error == 0 && std::rename(open->temporary.c_str(), open->path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        unlink(open->temporary.c_str());
        return file_error_from_errno(error);
    }
    return FileError::none;
}

void use_binary_input() {}

void prepare_file_writing() {
    std::signal(SIGXFSZ, SIG_IGN);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        struct sigaction action {};
        sigaction(signal_number, nullptr, &action);
        // A signal the caller chose to ignore (nohup, a job runner) stays ignored.
        if (action.sa_handler == SIG_IGN)
            continue;
        action.sa_handler = on_interrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        sigaction(signal_number, &action, nullptr);
    }
}

bool is_terminal(FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

FILE* open_scratch_file() {
    return std::tmpfile();
}

FILE* null_output() {
    static FILE* const stream = std::fopen("/dev/null", "w");
    return stream;
}

size_t file_name_start(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? 0 : slash + 1;
}

std::string file_name_key(std::string_view name) {
    return std::string(name);
}
