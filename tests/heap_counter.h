// Heap accounting for the programs that link tests/heap_counter.cpp: it
// replaces the global operator new and delete, so the peak of a run is the
// most memory its own allocations held at once. Safe from several threads.
#pragma once

#include <cstddef>

namespace heap_counter {

// Bytes allocated through operator new and not yet freed.
size_t live();
// The most that live() has been since the last reset_peak().
size_t peak();
// Starts a new peak at what is live now.
void reset_peak();
// Memory taken and given back outside operator new (whole regions of pages),
// counted with the rest.
void add(size_t bytes);
void remove(size_t bytes);

// Peak heap growth, in bytes, while `f` runs.
template <class F>
size_t peak_during(F f) {
    const size_t base = live();
    reset_peak();
    f();
    return peak() - base;
}

}  // namespace heap_counter
