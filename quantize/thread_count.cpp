#include "quantize/thread_count.h"

#include <cstdlib>
#include <thread>

int32_t thread_count_from(const char* text, int32_t otherwise) {
    if (text == nullptr)
        return otherwise;
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || n < 1)
        return otherwise;
    return n < max_quantizer_threads ? static_cast<int32_t>(n) : max_quantizer_threads;
}

int32_t quantizer_threads() {
    const unsigned hardware = std::thread::hardware_concurrency();
    const int32_t otherwise = hardware == 0                      ? 1
                              : hardware < max_quantizer_threads ? static_cast<int32_t>(hardware)
                                                                 : max_quantizer_threads;
    return thread_count_from(std::getenv("QUANTVIEW_THREADS"), otherwise);
}
