// Whole files read from an open stream into memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

// Reads `stream` to its end, strictly sequentially (pipes work), into `bytes`.
// The buffer grows only as bytes arrive. False on a read error.
bool read_stream(FILE* stream, std::vector<uint8_t>& bytes);
