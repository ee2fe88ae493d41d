// Files and folders by name, for the command-line program. Names are passed
// as the program received them (UTF-8 where the system uses it); what differs
// between systems (separators, renaming over a file, file identity, binary
// standard streams) stays behind these functions.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

// Why a file or folder could not be written, for a message in a user's words.
enum class FileError {
    none,
    no_folder,  // a folder on the way does not exist
    denied,     // no permission
    read_only,  // a read-only disk or file system
    full,       // no space left (or the quota used up)
    too_large,  // larger than this process may write (a file-size limit)
    is_folder,  // the name is a folder's
    failed,     // anything else
};

enum class PathKind { missing, file, folder, inaccessible };

// What `path` names now; `inaccessible` when the system will not say.
PathKind path_kind(const char* path);

// True when both names lead to one existing file: the same device and inode,
// on Windows the same volume and file index, whatever the spelling (links,
// "./a" and "a", another case where the file system ignores case).
bool same_file(const char* a, const char* b);

// Creates the folder `path` and any missing folders above it; none when it is
// already a folder.
FileError make_folders(const char* path);

// A file being written, which replaces `path` without ever leaving it half
// written: its bytes go to a new temporary file in path's own folder, which
// takes the name only once finished as written with every byte on the disk.
// On any failure, when it is dropped unfinished, and when the program is
// interrupted (Ctrl+C, a hang-up, a kill) while it writes, the file that had
// the name is untouched and the temporary file is gone. Or standard output,
// switched to binary (Windows would otherwise turn line feeds into CR LF).
class OutputFile {
  public:
    OutputFile();
    ~OutputFile();  // an unfinished file is abandoned
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    FileError open(const char* path);
    FileError open_standard_output();
    // Where the bytes go once opened; null before.
    FILE* stream() const;
    // The end of the writing: when `written`, flushed, on the disk and named
    // (a replaced file keeps its permissions); otherwise abandoned, with
    // `write_errno`, the errno of the write that failed (0 when unknown),
    // saying why. What became of the file.
    FileError finish(bool written, int write_errno);

  private:
    struct Open;
    std::unique_ptr<Open> open_;
};

// Standard input switched to binary, to read a picture from it.
void use_binary_input();

// Sets the program up to write files: a write beyond the process's file-size
// limit fails with an error instead of ending the program, and an interrupt
// removes the temporary files of OutputFile before it ends it.
void prepare_file_writing();

// True when `stream` is a terminal (or a console) rather than a file or pipe.
bool is_terminal(FILE* stream);

// A nameless file to write and read back, gone when closed; null when none
// can be made.
FILE* open_scratch_file();

// A stream that takes everything and keeps nothing, shared by the whole
// program (never closed); null when the system has none.
FILE* null_output();

// Where the file name in `path` starts: after the last folder separator ('/',
// on Windows also '\\' and a drive's ':').
size_t file_name_start(std::string_view path);

// A file name or path as the file system compares it: the same, or on
// Windows with ASCII letters in lower case, which it does not tell apart.
std::string file_name_key(std::string_view name);
