// Benchmark of the colour quantizer: each phase and the whole of process()
// on generated photo-like pictures of 0.25, 2 and 12 megapixels and on any
// bitmap files named on the command line, with the literal reference
// implementation of the tests measured in the same run.
//
//   quant_bench [--no-reference-above MP] [--write DIR] [FILE.bmp ...]
//
// --write DIR saves the generated pictures as DIR/generated_<MP>.bmp (for
// comparisons with other tools).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "app/load_input.h"
#include "image/dib24.h"
#include "quantize/color_table.h"
#include "quantize/palette_average.h"
#include "quantize/palette_build.h"
#include "quantize/remap.h"
#include "tests/quantize/reference_quantizer.h"

// Heap accounting: every allocation through operator new is counted, so the
// peak of a run is the most memory its own allocations held at once.
namespace {
size_t live_bytes = 0, peak_bytes = 0;
}

void* operator new(size_t size) {
    void* p = std::malloc(size + 16);
    if (p == nullptr)
        throw std::bad_alloc();
    *static_cast<size_t*>(p) = size;
    live_bytes += size;
    peak_bytes = std::max(peak_bytes, live_bytes);
    return static_cast<char*>(p) + 16;
}
// The size lives in front of the block; GCC cannot see that the pointer
// came from the operator new above.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Warray-bounds"
#endif
void operator delete(void* p) noexcept {
    if (p == nullptr)
        return;
    char* block = static_cast<char*>(p) - 16;
    live_bytes -= *reinterpret_cast<size_t*>(block);
    std::free(block);
}
void operator delete(void* p, size_t) noexcept {
    operator delete(p);
}
void* operator new[](size_t size) {
    return operator new(size);
}
void operator delete[](void* p) noexcept {
    operator delete(p);
}
void operator delete[](void* p, size_t) noexcept {
    operator delete(p);
}

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

uint8_t to_byte(double v) {
    return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
}

// Smooth shading, soft blobs, fine texture and hard edges, roughly like a
// photograph: many colours, most of them in slowly changing areas.
void generate(dib24& image, int32_t width, int32_t height) {
    image.create(width, height, 96);
    const double sx = 1000.0 / width, sy = 750.0 / height;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = image.bits + static_cast<int64_t>(height - 1 - y) * image.stride;
        const double v = y * sy;
        for (int32_t x = 0; x < width; ++x) {
            const double u = x * sx;
            uint32_t h = static_cast<uint32_t>(x) * 2654435761u ^ static_cast<uint32_t>(y) * 40503u;
            h ^= h >> 15;
            h *= 2246822519u;
            h ^= h >> 13;
            const double grain = static_cast<double>(h & 15) - 7.5;
            const bool in_sky = v < 300 + 60 * std::sin(u * 0.01);
            const double blob = std::exp(-((u - 620) * (u - 620) + (v - 420) * (v - 420)) / 9000.0);
            const bool stripe = !in_sky && (static_cast<int>(u * 0.08 + v * 0.03) % 7) == 0;
            double r, g, b;
            if (in_sky) {
                r = 90 + 0.25 * v;
                g = 140 + 0.2 * v;
                b = 230 - 0.1 * v;
            } else {
                r = 110 + 60 * std::sin(u * 0.013) + 80 * blob;
                g = 100 + 50 * std::cos(v * 0.021 + u * 0.004) + 30 * blob;
                b = 60 + 40 * std::sin(u * 0.007 + v * 0.011);
            }
            if (stripe)
                r = g = b = 40;
            const double detail = (x / 3 + y / 3) % 2 && v > 600 ? 25 : 0;
            uint8_t* px = row + 3 * x;
            px[0] = to_byte(b + grain + detail);
            px[1] = to_byte(g + grain * 0.8 + detail);
            px[2] = to_byte(r + grain * 1.2 + detail);
        }
    }
}

struct Result {
    double phase_ms[4] = {0, 0, 0, 0};
    double total_ms = 0;
    double total_cpu_ms = 0;  // processor time: less disturbed by other load
    size_t peak = 0;
};

double cpu_ms_since(std::clock_t start) {
    return 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

void copy_image(const dib24& from, dib24& to) {
    to.create(from.width, from.height, from.dpi);
    std::memcpy(to.bits, from.bits, static_cast<size_t>(from.stride) * from.height);
}

Result run_fast(dib24& image, FILE* sink) {
    Result r;
    const size_t base = live_bytes;
    peak_bytes = live_bytes;
    const Clock::time_point start = Clock::now();
    const std::clock_t cpu_start = std::clock();
    Palette palette;
    {
        ColorTable table;
        Clock::time_point t = Clock::now();
        fill_color_table(image, table);
        std::fprintf(sink, "color count: %d\n", static_cast<int>(table.size()));
        r.phase_ms[0] = ms_since(t);
        t = Clock::now();
        const int32_t count = build_clusters(table, 255);
        std::fprintf(sink, "palette count:%d\n", count);
        r.phase_ms[1] = ms_since(t);
        t = Clock::now();
        palette = average_palette(table, count, sink);
        r.phase_ms[2] = ms_since(t);
    }
    const Clock::time_point t = Clock::now();
    remap_image(image, palette, sink);
    r.phase_ms[3] = ms_since(t);
    r.total_ms = ms_since(start);
    r.total_cpu_ms = cpu_ms_since(cpu_start);
    r.peak = peak_bytes - base;
    return r;
}

Result run_reference(dib24& image, FILE* sink) {
    Result r;
    const size_t base = live_bytes;
    peak_bytes = live_bytes;
    const Clock::time_point start = Clock::now();
    const std::clock_t cpu_start = std::clock();
    reference::State state;
    Clock::time_point t = Clock::now();
    reference::fill_table(image, state, sink);
    r.phase_ms[0] = ms_since(t);
    t = Clock::now();
    reference::cluster_phase(state, sink);
    r.phase_ms[1] = ms_since(t);
    t = Clock::now();
    reference::average_palette(state, sink);
    r.phase_ms[2] = ms_since(t);
    t = Clock::now();
    reference::remap(image, state, sink);
    r.phase_ms[3] = ms_since(t);
    r.total_ms = ms_since(start);
    r.total_cpu_ms = cpu_ms_since(cpu_start);
    r.peak = peak_bytes - base;
    return r;
}

const char* const phase_names[4] = {"colour table", "clusters", "averaging", "remapping"};

void report(const char* name, const dib24& image, double reference_limit_mp) {
    const double pixels = static_cast<double>(image.width) * image.height;
    const double mp = pixels / 1e6;
    std::printf("\n== %s: %d x %d (%.2f MP)\n", name, image.width, image.height, mp);
    FILE* sink = std::tmpfile();
    dib24 work;
    // The fastest of three runs: the machine's speed varies from run to run.
    Result fast;
    const int runs = 3;
    for (int i = 0; i < runs; ++i) {
        copy_image(image, work);
        const Result r = run_fast(work, sink);
        if (i == 0 || r.total_ms < fast.total_ms)
            fast = r;
    }
    std::vector<uint8_t> fast_bytes(work.bits,
                                    work.bits + static_cast<size_t>(work.stride) * work.height);

    const bool with_reference = mp <= reference_limit_mp;
    Result ref;
    bool same = true;
    if (with_reference) {
        copy_image(image, work);
        ref = run_reference(work, sink);
        same = std::memcmp(fast_bytes.data(), work.bits, fast_bytes.size()) == 0;
    }
    std::fclose(sink);

    std::printf("%-14s %10s %9s", "phase", "ms", "ns/pixel");
    if (with_reference)
        std::printf(" %13s %9s", "reference ms", "speed-up");
    std::printf("\n");
    for (int p = 0; p <= 4; ++p) {
        const double f = p < 4 ? fast.phase_ms[p] : fast.total_ms;
        std::printf("%-14s %10.1f %9.1f", p < 4 ? phase_names[p] : "process total", f,
                    f * 1e6 / pixels);
        if (with_reference) {
            const double r = p < 4 ? ref.phase_ms[p] : ref.total_ms;
            std::printf(" %13.1f %8.1fx", r, r / f);
        }
        std::printf("\n");
    }
    std::printf("%-14s %10.1f %9.1f", "total, cpu", fast.total_cpu_ms,
                fast.total_cpu_ms * 1e6 / pixels);
    if (with_reference) {
        std::printf(" %13.1f %8.1fx", ref.total_cpu_ms, ref.total_cpu_ms / fast.total_cpu_ms);
    }
    std::printf("\n");
    std::printf("peak memory    %10.1f MiB", fast.peak / 1048576.0);
    if (with_reference) {
        std::printf("   reference %.1f MiB (%.1f%% of it)", ref.peak / 1048576.0,
                    100.0 * fast.peak / ref.peak);
    }
    std::printf("   (the picture itself: %.1f MiB)\n",
                static_cast<double>(image.stride) * image.height / 1048576.0);
    if (with_reference)
        std::printf("output bytes   %s the reference's\n", same ? "equal" : "DIFFER FROM");

    // Every remapping loop this processor supports, on the same palette.
    {
        copy_image(image, work);
        FILE* quiet = std::tmpfile();
        Palette palette;
        {
            ColorTable table;
            fill_color_table(image, table);
            palette = average_palette(table, build_clusters(table, 255), quiet);
        }
        std::fclose(quiet);
        std::printf("remapping loops");
        for (const RemapVersion& version : remap_versions()) {
            copy_image(image, work);
            const Clock::time_point t = Clock::now();
            version.run(work, palette, nullptr, 1);
            const double ms = ms_since(t);
            const bool equal = std::memcmp(fast_bytes.data(), work.bits, fast_bytes.size()) == 0;
            std::printf("  %s %.1f ms%s", version.name, ms, equal ? "" : " (BYTES DIFFER)");
        }
        std::printf("   (process uses the last)\n");
    }
    std::fflush(stdout);
}

// Saves the picture for other tools. The program's own files leave the
// file-size field of the header at 0, which some readers refuse, so it is
// filled in here.
bool save_bmp(const dib24& image, const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "w+b");
    if (f == nullptr)
        return false;
    bool ok = image.save(f);
    const long size = std::ftell(f);
    const uint8_t field[4] = {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
                              static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 24)};
    ok = ok && std::fseek(f, 2, SEEK_SET) == 0 && std::fwrite(field, 1, 4, f) == 4;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    double reference_limit_mp = 1e9;
    std::string write_dir;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-reference-above") == 0 && i + 1 < argc) {
            reference_limit_mp = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--write") == 0 && i + 1 < argc) {
            write_dir = argv[++i];
        } else {
            files.push_back(argv[i]);
        }
    }
    struct Size {
        const char* name;
        int32_t width, height;
    };
    const Size sizes[] = {{"0.25", 512, 512}, {"2", 1632, 1224}, {"12", 4000, 3000}};
    for (const Size& s : sizes) {
        dib24 image;
        generate(image, s.width, s.height);
        const std::string name = std::string("generated ") + s.name + " MP";
        report(name.c_str(), image, reference_limit_mp);
        if (!write_dir.empty() && !save_bmp(image, write_dir + "/generated_" + s.name + ".bmp")) {
            std::printf("cannot write %s/generated_%s.bmp\n", write_dir.c_str(), s.name);
        }
    }
    for (const std::string& f : files) {
        dib24 image;
        image.create(1, 1, 0);
        if (!load_input(image, f.c_str())) {
            std::printf("Cannot load input file : %s\n", f.c_str());
            continue;
        }
        report(f.c_str(), image, reference_limit_mp);
    }
    return 0;
}
