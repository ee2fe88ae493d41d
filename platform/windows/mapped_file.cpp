#include "platform/mapped_file.h"

#include <io.h>
#include <windows.h>

bool MappedFile::map_rest(FILE* stream) {
    const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    LARGE_INTEGER file_size;
    if (file == INVALID_HANDLE_VALUE || GetFileType(file) != FILE_TYPE_DISK ||
        !GetFileSizeEx(file, &file_size))
        return false;
    // Where the stream stands, with what the runtime has read ahead counted.
    const int64_t at = _ftelli64(stream);
    if (at < 0 || file_size.QuadPart <= at)
        return false;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const int64_t start = at / system.dwAllocationGranularity * system.dwAllocationGranularity;
    const uint64_t length = static_cast<uint64_t>(file_size.QuadPart - start);
    if (length > SIZE_MAX)
        return false;
    const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr)
        return false;
    // The view keeps the mapping alive.
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                               static_cast<DWORD>(start), static_cast<SIZE_T>(length));
    CloseHandle(mapping);
    if (view == nullptr)
        return false;
    view_ = view;
    view_size_ = static_cast<size_t>(length);
    data_ = static_cast<const uint8_t*>(view) + (at - start);
    size_ = static_cast<size_t>(file_size.QuadPart - at);
    return true;
}

void MappedFile::release(void* view, size_t) {
    UnmapViewOfFile(view);
}
