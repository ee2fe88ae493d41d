#include "app/png_while_remapping.h"

#include <system_error>
#include <utility>

#include "app/write_output.h"

PngWhileRemapping::PngWhileRemapping(std::string path, const dib24& image, const IndexRows& indices)
    : path_(std::move(path)), image_(image), indices_(indices) {}

PngWhileRemapping::~PngWhileRemapping() {
    if (!writer_.joinable())
        return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        cancelled_ = true;
    }
    changed_.notify_one();
    writer_.join();
}

void PngWhileRemapping::remapping(const Palette& palette) {
    palette_ = palette;
    try {
        writer_ = std::thread([this] {
            error_ = write_output(path_, true, image_, palette_, indices_,
                                  [this](int32_t rows) { return wait_for(rows); });
        });
    } catch (const std::system_error&) {
        // written by finish()'s caller once the remapping is done
    }
}

void PngWhileRemapping::rows_final(int32_t count) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        final_ = count;
    }
    changed_.notify_one();
}

int32_t PngWhileRemapping::wait_for(int32_t rows) {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [&] { return final_ >= rows || cancelled_; });
    return final_ >= rows ? final_ : 0;
}

FileError PngWhileRemapping::finish() {
    rows_final(image_.height);
    writer_.join();
    return error_;
}
