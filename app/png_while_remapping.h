// A palette PNG written while the remapping goes on: the remapping's own
// threads compress each band of rows into the file as they finish it, one at
// a time, instead of one thread compressing the whole picture after the last
// row. (The threads of the remapping wait for each other, so a writer of its
// own taking turns with them on the same cores would cost them more than it
// gains.) The file's bytes are those of writing it afterwards.
#pragma once

#include <cstdint>
#include <string>

#include "image/dib24.h"
#include "image/picture_codec.h"
#include "platform/file_system.h"
#include "quantize/process.h"

class PngWhileRemapping final : public RemapWatch {
  public:
    // The file goes to `path` (or "-", standard output) as write_output
    // writes it, of `image`'s size and the indices `indices` will hold.
    PngWhileRemapping(std::string path, const dib24& image, const IndexRows& indices);

    // Opens the file and begins it.
    void remapping(const Palette& palette) override;
    // Compresses the rows into the file.
    void rows_final(int32_t count) override;

    // Whether the remapping began: otherwise the file is still to write.
    bool started() const { return started_; }
    // Once the reduction has returned: compresses the rows left, ends the
    // file and gives what became of it. Without it, the file is abandoned.
    FileError finish();

  private:
    const std::string path_;
    const dib24& image_;
    const IndexRows& indices_;
    OutputFile file_;
    PalettePngEncoder encoder_;  // keeps to itself that a step failed
    bool started_ = false;
    FileError opened_ = FileError::none;
    int32_t added_ = 0;    // rows given to the encoder
    int write_errno_ = 0;  // why the stream refused bytes
};
