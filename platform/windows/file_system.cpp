#include "platform/file_system.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <random>
#include <string>
#include <utility>

#include "platform/file_error_errno.h"
#include "platform/pending_files.h"

namespace {

// Names arrive in the ANSI code page, which the programs' manifest makes
// UTF-8 (as it does for argv and fopen); the wide calls take UTF-16.
std::wstring wide(std::string_view text) {
    if (text.empty())
        return {};
    const int n =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(n > 0 ? n : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(),
                            n);
    return result;
}

FileError from_system(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
            return FileError::no_folder;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return FileError::denied;
        case ERROR_WRITE_PROTECT:
            return FileError::read_only;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return FileError::full;
        case ERROR_FILE_TOO_LARGE:
            return FileError::too_large;
        case ERROR_DIRECTORY:
            return FileError::is_folder;
        default:
            return FileError::failed;
    }
}

PendingFiles<wchar_t, MAX_PATH * 2> pending_files;

BOOL WINAPI on_console_event(DWORD) {
    // The files were opened for deletion by others: each goes when its
    // handle closes, at the latest as the process ends.
    pending_files.remove_all([](const wchar_t* name) { DeleteFileW(name); });
    return FALSE;  // the default handling ends the process
}

// A new file beside `path`: its name is path's own with a dot before it and a
// random part after it; `name` receives it. INVALID_HANDLE_VALUE on failure,
// with the last error set.
HANDLE create_temporary(const std::wstring& path, std::wstring& name) {
    thread_local std::mt19937_64 random{std::random_device{}()};
    const size_t slash = path.find_last_of(L"/\\:");
    const size_t start = slash == std::wstring::npos ? 0 : slash + 1;
    std::wstring_view base = std::wstring_view(path).substr(start);
    if (base.size() > 200)
        base = {};
    static const wchar_t digits[] = L"0123456789abcdefghijklmnopqrstuvwxyz";
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint64_t r = random();
        name.assign(path, 0, start);
        name += L'.';
        name += base;
        name += L'.';
        for (int i = 0; i < 8; ++i, r /= 36)
            name += digits[r % 36];
        name += L".part";
        HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

// A C stream on a file handle, which it then owns; null (the handle closed)
// on failure.
FILE* stream_on(HANDLE file, int flags, const char* mode) {
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), flags);
    if (fd < 0) {
        CloseHandle(file);
        return nullptr;
    }
    FILE* stream = _fdopen(fd, mode);
    if (stream == nullptr)
        _close(fd);
    return stream;
}

}  // namespace

PathKind path_kind(const char* path) {
    const DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                       error == ERROR_INVALID_NAME
                   ? PathKind::missing
                   : PathKind::inaccessible;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::folder : PathKind::file;
}

bool same_file(const char* a, const char* b) {
    BY_HANDLE_FILE_INFORMATION info[2];
    const char* names[2] = {a, b};
    for (int i = 0; i < 2; ++i) {
        // No access asked for: reading the identity is allowed even where the
        // contents are not.
        HANDLE file = CreateFileW(wide(names[i]).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        const BOOL known = GetFileInformationByHandle(file, &info[i]);
        CloseHandle(file);
        if (!known)
            return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
           info[0].nFileIndexLow == info[1].nFileIndexLow;
}

FileError make_folders(const char* path) {
    const std::wstring name = wide(path);
    if (CreateDirectoryW(name.c_str(), nullptr))
        return FileError::none;
    const DWORD error = GetLastError();
    // A drive's root is refused with "access denied" though it exists.
    if (path_kind(path) == PathKind::folder)
        return FileError::none;
    if (error == ERROR_ALREADY_EXISTS)
        return FileError::is_folder;
    if (error != ERROR_PATH_NOT_FOUND)
        return from_system(error);
    // A folder above is missing: make it first, then this one.
    std::string parent(path);
    while (!parent.empty() && (parent.back() == '/' || parent.back() == '\\'))
        parent.pop_back();
    parent.resize(file_name_start(parent));
    while (!parent.empty() && (parent.back() == '/' || parent.back() == '\\'))
        parent.pop_back();
    if (parent.empty() || parent.back() == ':')
        return FileError::no_folder;
    const FileError above = make_folders(parent.c_str());
    if (above != FileError::none)
        return above;
    if (CreateDirectoryW(name.c_str(), nullptr) || path_kind(path) == PathKind::folder)
        return FileError::none;
    return from_system(GetLastError());
}

// The file being written: its stream, and for a file that replaces another
// the names, the temporary one held for an interrupt while it lives.
struct OutputFile::Open {
    Open(FILE* stream, std::wstring target, std::wstring name)
        : stream(stream),
          path(std::move(target)),
          temporary(std::move(name)),
          pending(pending_files, temporary) {}
    FILE* stream;
    std::wstring path, temporary;  // both empty for standard output
    PendingFiles<wchar_t, MAX_PATH * 2>::Entry pending;
};

OutputFile::OutputFile() = default;

OutputFile::~OutputFile() {
    if (open_ != nullptr && !open_->temporary.empty()) {
        std::fclose(open_->stream);
        DeleteFileW(open_->temporary.c_str());
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
    std::wstring target = wide(path);
    std::wstring temporary;
    HANDLE file = create_temporary(target, temporary);
    if (file == INVALID_HANDLE_VALUE)
        return from_system(GetLastError());
    FILE* stream = stream_on(file, _O_BINARY | _O_WRONLY, "wb");
    if (stream == nullptr) {
        DeleteFileW(temporary.c_str());
        return FileError::failed;
    }
    open_ = std::make_unique<Open>(stream, std::move(target), std::move(temporary));
    return FileError::none;
}

FileError OutputFile::open_standard_output() {
    if (open_ != nullptr)
        return FileError::failed;
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
    open_ = std::make_unique<Open>(stdout, std::wstring(), std::wstring());
    return FileError::none;
}

FileError OutputFile::finish(bool written, int write_errno) {
    if (open_ == nullptr)
        return FileError::failed;
    const std::unique_ptr<Open> open = std::move(open_);
    FileError error = written ? FileError::none : file_error_from_errno(write_errno);
    if (open->temporary.empty()) {
        if (written && std::fflush(stdout) != 0)
            error = file_error_from_errno(errno);
        return error;
    }
    FILE* stream = open->stream;
    if (written && std::fflush(stream) != 0) {
        written = false;
        error = file_error_from_errno(errno);
    }
    if (written && !FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))))) {
        written = false;
        error = from_system(GetLastError());
    }
    if (std::fclose(stream) != 0 && written) {
        written = false;
        error = file_error_from_errno(errno);
    }
    if (written && !MoveFileExW(open->temporary.c_str(), open->path.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        written = false;
        error = from_system(GetLastError());
    }
    if (!written)
        DeleteFileW(open->temporary.c_str());
    return error;
}

void use_binary_input() {
    _setmode(_fileno(stdin), _O_BINARY);
}

void prepare_file_writing() {
    // Windows has no file-size signal; writes beyond a quota simply fail.
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

bool is_terminal(FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

FILE* open_scratch_file() {
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"qv", 0, name) == 0)
        return nullptr;
    HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DeleteFileW(name);
        return nullptr;
    }
    return stream_on(file, _O_BINARY | _O_RDWR, "w+b");
}

FILE* null_output() {
    static FILE* const stream = std::fopen("NUL", "w");
    return stream;
}

size_t file_name_start(std::string_view path) {
    const size_t separator = path.find_last_of("/\\:");
    return separator == std::string_view::npos ? 0 : separator + 1;
}

std::string file_name_key(std::string_view name) {
    std::string key(name);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}
