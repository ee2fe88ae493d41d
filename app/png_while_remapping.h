// A palette PNG written while the remapping goes on: a thread of its own
// compresses each row as soon as the remapping has finished it, so that the
// compression shares the cores with the remapping instead of starting after
// its last row. The file's bytes are those of writing it afterwards.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "image/dib24.h"
#include "platform/file_system.h"
#include "quantize/process.h"

class PngWhileRemapping final : public RemapWatch {
  public:
    // The file goes to `path` (or "-", standard output) as write_output
    // writes it, of `image`'s size and the indices `indices` will hold.
    PngWhileRemapping(std::string path, const dib24& image, const IndexRows& indices);
    // A writer still waiting is told that no more rows come, and ended.
    ~PngWhileRemapping() override;
    PngWhileRemapping(const PngWhileRemapping&) = delete;
    PngWhileRemapping& operator=(const PngWhileRemapping&) = delete;

    // Starts the writer (unless no thread can be started).
    void remapping(const Palette& palette) override;
    void rows_final(int32_t count) override;

    // Whether the writer was started: otherwise the file is still to write.
    bool started() const { return writer_.joinable(); }
    // Once the reduction has returned: every row is final; waits for the
    // writer and gives what became of the file.
    FileError finish();

  private:
    int32_t wait_for(int32_t rows);

    const std::string path_;
    const dib24& image_;
    const IndexRows& indices_;
    Palette palette_;
    std::thread writer_;
    std::mutex lock_;
    std::condition_variable changed_;
    int32_t final_ = 0;       // rows final
    bool cancelled_ = false;  // no more rows come
    FileError error_ = FileError::none;
};
