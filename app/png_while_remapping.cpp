#include "app/png_while_remapping.h"

#include <cerrno>
#include <cstdio>
#include <utility>

#include "app/write_output.h"

PngWhileRemapping::PngWhileRemapping(std::string path, const dib24& image, const IndexRows& indices)
    : path_(std::move(path)), image_(image), indices_(indices) {}

void PngWhileRemapping::remapping(const Palette& palette) {
    started_ = true;
    opened_ = open_output(file_, path_);
    if (opened_ != FileError::none)
        return;
    FILE* stream = file_.stream();
    encoder_.begin(image_.width, image_.height, palette.data(),
                   static_cast<int>(palette.size() / 3),
                   [this, stream](const uint8_t* bytes, size_t count) {
                       if (std::fwrite(bytes, 1, count, stream) == count)
                           return true;
                       write_errno_ = errno;
                       return false;
                   });
}

// The remapping tells of rows one call at a time, so the encoder needs no
// lock of its own.
void PngWhileRemapping::rows_final(int32_t count) {
    if (opened_ != FileError::none || count <= added_)
        return;
    encoder_.add_rows(indices_.data() + static_cast<size_t>(added_) * image_.width, count - added_);
    added_ = count;
}

FileError PngWhileRemapping::finish() {
    if (opened_ != FileError::none)
        return opened_;
    rows_final(image_.height);
    const bool written = encoder_.end();
    return file_.finish(written, write_errno_);
}
