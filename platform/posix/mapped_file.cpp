#include "platform/mapped_file.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

bool MappedFile::map_rest(FILE* stream) {
    const int fd = fileno(stream);
    struct stat about;
    if (fd < 0 || fstat(fd, &about) != 0 || !S_ISREG(about.st_mode))
        return false;
    // Where the stream stands, with what stdio has read ahead counted.
    const off_t at = ftello(stream);
    if (at < 0 || about.st_size <= at)
        return false;
    const off_t page = sysconf(_SC_PAGESIZE);
    const off_t start = at / page * page;
    const size_t length = static_cast<size_t>(about.st_size - start);
    void* view = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, start);
    if (view == MAP_FAILED)
        return false;
    // Read ahead now what is not in memory yet: the decoders will want all of it.
    madvise(view, length, MADV_WILLNEED);
    view_ = view;
    view_size_ = length;
    data_ = static_cast<const uint8_t*>(view) + (at - start);
    size_ = static_cast<size_t>(about.st_size - at);
    return true;
}

void MappedFile::release(void* view, size_t size) {
    munmap(view, size);
}
