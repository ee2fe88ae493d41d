#include "quantize/thread_count.h"

#include <cstdlib>
#include <thread>

int32_t quantizer_threads() {
    if (const char* text = std::getenv("QUANTVIEW_THREADS")) {
        // A value that is not a positive number is ignored.
        char* end = nullptr;
        const long n = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && n >= 1)
            return n < max_quantizer_threads ? static_cast<int32_t>(n) : max_quantizer_threads;
    }
    const unsigned hardware = std::thread::hardware_concurrency();
    if (hardware == 0)
        return 1;
    return hardware < max_quantizer_threads ? static_cast<int32_t>(hardware)
                                            : max_quantizer_threads;
}
