#include "app/png_while_remapping.h"

#include <cerrno>
#include <new>
#include <system_error>
#include <utility>

#include "app/write_output.h"

PngWhileRemapping::PngWhileRemapping(std::string path, const dib24& image, const IndexRows& indices)
    : path_(std::move(path)), image_(image), indices_(indices) {}

PngWhileRemapping::~PngWhileRemapping() {
    if (!holder_.joinable())
        return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        cancelled_ = true;
    }
    changed_.notify_all();
    holder_.join();
}

void PngWhileRemapping::remapping(const Palette& palette) {
    palette_ = palette;
    try {
        holder_ = std::thread([this] {
            const FileError error =
                write_output_with(path_, [this](FILE* stream) { return write(stream); });
            std::lock_guard<std::mutex> hold(lock_);
            error_ = error;
            ended_ = true;
            changed_.notify_all();
        });
    } catch (const std::system_error&) {
        // written after the remapping instead
    }
}

bool PngWhileRemapping::write(FILE* stream) {
    std::unique_lock<std::mutex> hold(lock_);
    const auto sink = [this, stream](const uint8_t* bytes, size_t count) {
        if (std::fwrite(bytes, 1, count, stream) == count)
            return true;
        write_errno_ = errno;
        return false;
    };
    try {
        open_ = encoder_.begin(image_.width, image_.height, palette_.data(),
                               static_cast<int>(palette_.size() / 3), sink);
    } catch (const std::bad_alloc&) {
        open_ = false;
    }
    if (open_) {
        // The rows told before the file was open.
        add_final_rows();
        changed_.notify_all();
        changed_.wait(hold, [&] { return closing_ || cancelled_; });
    }
    // The caller words the failure from errno, which the remapping's threads
    // saw when the stream refused bytes.
    if (write_errno_ != 0)
        errno = write_errno_;
    return open_ && !cancelled_ && encoded_;
}

void PngWhileRemapping::add_final_rows() {
    if (final_ > added_ && encoded_)
        encoded_ = encoder_.add_rows(indices_.data() + static_cast<size_t>(added_) * image_.width,
                                     final_ - added_);
    added_ = final_;
}

void PngWhileRemapping::rows_final(int32_t count) {
    if (!holder_.joinable())
        return;
    std::lock_guard<std::mutex> hold(lock_);
    final_ = count;
    if (open_)
        add_final_rows();
}

FileError PngWhileRemapping::finish() {
    {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [&] { return open_ || ended_; });
        if (open_) {
            final_ = image_.height;
            add_final_rows();
            encoded_ = encoded_ && encoder_.end();
            closing_ = true;
            changed_.notify_all();
        }
    }
    holder_.join();
    return error_;
}
