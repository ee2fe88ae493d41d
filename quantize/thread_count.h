// How many threads the quantizer uses.
#pragma once

#include <cstdint>

// Each thread costs a stack and a row of error sums; more than this many
// gain nothing on any machine.
inline constexpr int32_t max_quantizer_threads = 256;

// QUANTVIEW_THREADS=N (a positive number) when it is set, otherwise the
// number of hardware threads; at least 1 and at most max_quantizer_threads.
// Callers use at most one thread per picture row (the dithered remapping one
// per band of rows).
int32_t quantizer_threads();

// The count that the text of QUANTVIEW_THREADS asks for, or `otherwise` when
// the text (which may be null) is not a positive number.
int32_t thread_count_from(const char* text, int32_t otherwise);
