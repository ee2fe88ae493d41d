// Whole files read from an open stream into memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

// Reads `stream` from where it stands to its end (pipes work too) into `bytes`.
// Room for a file's own length is taken at once; otherwise the buffer grows
// only as bytes arrive. False on a read error.
bool read_stream(FILE* stream, std::vector<uint8_t>& bytes);
