// A palette PNG written while the remapping goes on: the remapping's own
// threads compress each band of rows as they finish it, one at a time,
// instead of one thread compressing the whole picture after the last row.
// The threads of the remapping wait for each other, so a writer of its own
// taking turns with them on the same cores would cost them more than it
// gains. The file's bytes are those of writing it afterwards.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "image/dib24.h"
#include "image/picture_codec.h"
#include "platform/file_system.h"
#include "quantize/process.h"

class PngWhileRemapping final : public RemapWatch {
  public:
    // The file goes to `path` (or "-", standard output) as write_output
    // writes it, of `image`'s size and the indices `indices` will hold.
    PngWhileRemapping(std::string path, const dib24& image, const IndexRows& indices);
    // A file still open is abandoned (removed, as any failed write).
    ~PngWhileRemapping() override;
    PngWhileRemapping(const PngWhileRemapping&) = delete;
    PngWhileRemapping& operator=(const PngWhileRemapping&) = delete;

    // Starts the thread that holds the file open while it is written
    // (unless no thread can be started).
    void remapping(const Palette& palette) override;
    // Compresses the rows, on the calling thread, once the file is open.
    void rows_final(int32_t count) override;

    // Whether the file was started: otherwise it is still to write.
    bool started() const { return holder_.joinable(); }
    // Once the reduction has returned: compresses the rows left, ends the
    // file and gives what became of it.
    FileError finish();

  private:
    bool write(FILE* stream);  // on the holder thread
    void add_final_rows();     // with lock_ held

    const std::string path_;
    const dib24& image_;
    const IndexRows& indices_;
    Palette palette_;
    PalettePngEncoder encoder_;
    std::thread holder_;
    std::mutex lock_;
    std::condition_variable changed_;
    int32_t final_ = 0;       // rows final
    int32_t added_ = 0;       // rows given to the encoder
    bool encoded_ = true;     // no step of the encoder failed
    int write_errno_ = 0;     // why the stream refused bytes
    bool open_ = false;       // the encoder has begun the file
    bool closing_ = false;    // every row added and the file ended
    bool cancelled_ = false;  // the file is abandoned
    bool ended_ = false;      // the holder is done
    FileError error_ = FileError::none;
};
