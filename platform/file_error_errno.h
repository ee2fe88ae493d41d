// Inside the file-system implementations: a failed C library call's errno
// as a FileError.
#pragma once

#include <cerrno>

#include "platform/file_system.h"

// A failed file operation's errno in FileError's terms.
inline FileError file_error_from_errno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return FileError::no_folder;
        case EACCES:
        case EPERM:
            return FileError::denied;
        case EROFS:
            return FileError::read_only;
        case ENOSPC:
#ifdef EDQUOT  // not every C library has quotas
        case EDQUOT:
#endif
            return FileError::full;
        case EFBIG:
            return FileError::too_large;
        case EISDIR:
            return FileError::is_folder;
        default:
            return FileError::failed;
    }
}
