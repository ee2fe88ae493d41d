// Benchmark of the colour quantizer (Google Benchmark): the colour table, the
// remapping and the whole of process() on 1 thread, 2 threads and the
// default count, the palette construction and averaging, and each remapping
// version on one thread, on the picture files named on the command line and
// on a generated picture that holds every 24-bit colour once; reading and
// writing the files; the literal reference of the tests once on each file.
// Files given with --load (compressed pictures) are only read: alone, and
// with the colour table counted as the rows are decoded, up to the table.
// Counters: time per pixel, the peak heap memory of one run
// (tests/heap_counter.h, with the quantizer's page regions) and the minor
// page faults of one run.
//
//   quant_bench [--no-reference] [--no-all-colours] [benchmark options] [PICTURE ...]
//               [--load PICTURE ...]
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/load_input.h"
#include "image/dib24.h"
#include "platform/win32.h"
#include "quantize/color_table.h"
#include "quantize/palette_average.h"
#include "quantize/palette_build.h"
#include "quantize/process.h"
#include "quantize/remap.h"
#include "quantize/thread_count.h"
#include "tests/heap_counter.h"
#include "tests/quantize/reference_quantizer.h"

// The quantizer's large arrays come from VirtualAlloc, not operator new: the
// link wraps it (bench/CMakeLists.txt) so that they are counted with the heap.
namespace {
std::mutex regions_lock;
std::map<void*, size_t> regions;
}  // namespace

extern "C" LPVOID WINAPI __real_VirtualAlloc(LPVOID, SIZE_T, DWORD, DWORD);
extern "C" BOOL WINAPI __real_VirtualFree(LPVOID, SIZE_T, DWORD);
extern "C" LPVOID WINAPI __wrap_VirtualAlloc(LPVOID address, SIZE_T size, DWORD type,
                                             DWORD protect) {
    LPVOID p = __real_VirtualAlloc(address, size, type, protect);
    if (p != nullptr) {
        std::lock_guard<std::mutex> hold(regions_lock);
        regions[p] = size;
        heap_counter::add(size);
    }
    return p;
}
extern "C" BOOL WINAPI __wrap_VirtualFree(LPVOID address, SIZE_T size, DWORD type) {
    {
        std::lock_guard<std::mutex> hold(regions_lock);
        const auto found = regions.find(address);
        if (found != regions.end()) {
            heap_counter::remove(found->second);
            regions.erase(found);
        }
    }
    return __real_VirtualFree(address, size, type);
}

namespace {

struct Picture {
    std::string name;
    std::string path;  // empty for a generated picture
    bool load_only = false;
    dib24 image;
    ColorTable table;  // filled, before the palette construction
    Palette palette;   // the quantizer's palette for it
};

std::vector<std::unique_ptr<Picture>> pictures;

// 4096 x 4096 pixels, every 24-bit colour once.
void all_colours(dib24& image) {
    image.create(4096, 4096, 96);
    for (int32_t y = 0; y < 4096; ++y) {
        uint8_t* row = image.bits + static_cast<int64_t>(4095 - y) * image.stride;
        for (int32_t x = 0; x < 4096; ++x) {
            const uint32_t v = static_cast<uint32_t>(y) * 4096 + x;
            row[3 * x] = static_cast<uint8_t>(v);
            row[3 * x + 1] = static_cast<uint8_t>(v >> 8);
            row[3 * x + 2] = static_cast<uint8_t>(v >> 16);
        }
    }
}

void copy_image(const dib24& from, dib24& to) {
    to.create(from.width, from.height, from.dpi);
    std::memcpy(to.bits, from.bits, static_cast<size_t>(from.stride) * from.height);
}

double pixels_of(const dib24& image) {
    return static_cast<double>(image.width) * image.height;
}

// The minor page faults of the whole process so far (every thread's).
long minor_faults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// The minor page faults while `f` runs.
template <class F>
long faults_during(F f) {
    const long before = minor_faults();
    f();
    return minor_faults() - before;
}

// `faults`: the minor page faults of the timed parts of all iterations.
void set_counters(benchmark::State& state, const dib24& image, size_t peak, long faults = -1) {
    state.counters["per_pixel"] =
        benchmark::Counter(pixels_of(image), benchmark::Counter::kIsIterationInvariantRate |
                                                 benchmark::Counter::kInvert);
    if (peak > 0)
        state.counters["peak_MiB"] = static_cast<double>(peak) / 1048576.0;
    if (faults >= 0)
        state.counters["faults"] =
            benchmark::Counter(static_cast<double>(faults), benchmark::Counter::kAvgIterations);
}

void table(benchmark::State& state, const Picture* p, int32_t threads) {
    long faults = 0;
    for (auto _ : state) {
        faults += faults_during([&] {
            ColorTable table;
            fill_color_table(p->image, table, threads);
            benchmark::DoNotOptimize(table.data());
        });
    }
    set_counters(state, p->image, 0, faults);
}

void clusters(benchmark::State& state, const Picture* p) {
    for (auto _ : state) {
        state.PauseTiming();
        ColorTable table = p->table;
        state.ResumeTiming();
        benchmark::DoNotOptimize(build_clusters(table, 255));
    }
    set_counters(state, p->image, 0);
}

void average(benchmark::State& state, const Picture* p) {
    ColorTable table = p->table;
    const int32_t count = build_clusters(table, 255);
    FILE* sink = std::tmpfile();
    for (auto _ : state)
        benchmark::DoNotOptimize(average_palette(table, count, sink).data());
    std::fclose(sink);
    set_counters(state, p->image, 0);
}

// Reading the file as the programs do, and writing the picture back.
void load(benchmark::State& state, const Picture* p) {
    long faults = 0;
    for (auto _ : state) {
        faults += faults_during([&] {
            dib24 image;
            image.create(1, 1, 0);
            benchmark::DoNotOptimize(load_input(image, p->path.c_str()));
        });
    }
    set_counters(state, p->image, 0, faults);
}

// Reading the file with its colours counted as quantreduce counts them, from
// the first byte to the table.
void load_and_table(benchmark::State& state, const Picture* p, int32_t threads) {
    long faults = 0;
    for (auto _ : state) {
        faults += faults_during([&] {
            dib24 image;
            image.create(1, 1, 0);
            ColorCounting counting(threads);
            ColorTable table;
            benchmark::DoNotOptimize(load_input(image, p->path.c_str(), nullptr, &counting));
            counting.finish(image, table);
            benchmark::DoNotOptimize(table.data());
        });
    }
    set_counters(state, p->image, 0, faults);
}

void save(benchmark::State& state, const Picture* p) {
    for (auto _ : state) {
        FILE* out = std::tmpfile();
        benchmark::DoNotOptimize(p->image.save(out));
        std::fclose(out);
    }
    set_counters(state, p->image, 0);
}

void remap(benchmark::State& state, const Picture* p, RemapPixels run, int32_t threads) {
    dib24 work;
    long faults = 0;
    for (auto _ : state) {
        state.PauseTiming();
        copy_image(p->image, work);
        state.ResumeTiming();
        faults += faults_during([&] { run(work, p->palette, nullptr, threads, true, nullptr); });
    }
    set_counters(state, p->image, 0, faults);
}

void quantize_on(dib24& image, FILE* sink, int32_t threads) {
    process(image, sink, nullptr, nullptr, threads);
}

void quantize_literally(dib24& image, FILE* sink, int32_t) {
    reference::process(image, sink);
}

// A whole reduction, `quantize`, with the peak heap memory of its runs.
void whole(benchmark::State& state, const Picture* p, void (*quantize)(dib24&, FILE*, int32_t),
           int32_t threads) {
    dib24 work;
    FILE* sink = std::tmpfile();
    size_t peak = 0;
    long faults = 0;
    for (auto _ : state) {
        state.PauseTiming();
        copy_image(p->image, work);
        const size_t base = heap_counter::live();
        heap_counter::reset_peak();
        state.ResumeTiming();
        faults += faults_during([&] { quantize(work, sink, threads); });
        peak = std::max(peak, heap_counter::peak() - base);
    }
    std::fclose(sink);
    set_counters(state, p->image, peak, faults);
}

// On a machine shared with others a run is only ever slowed down: the
// phases are timed three times each and reported by their fastest run
// ("_min"; also the mean, median and spread that Google Benchmark adds).
benchmark::internal::Benchmark* fastest_of_three(benchmark::internal::Benchmark* b) {
    return b->UseRealTime()
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(3)
        ->ComputeStatistics(
            "min",
            [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
        ->DisplayAggregatesOnly(true);
}

}  // namespace

int main(int argc, char** argv) {
    bool with_reference = true, with_all_colours = true;
    std::vector<char*> rest{argv[0]};
    std::vector<std::pair<std::string, bool>> files;  // and whether only to load it
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-reference") == 0) {
            with_reference = false;
        } else if (std::strcmp(argv[i], "--no-all-colours") == 0) {
            with_all_colours = false;
        } else if (std::strcmp(argv[i], "--load") == 0 && i + 1 < argc) {
            files.emplace_back(argv[++i], true);
        } else if (argv[i][0] == '-') {
            rest.push_back(argv[i]);
        } else {
            files.emplace_back(argv[i], false);
        }
    }
    for (const auto& [f, load_only] : files) {
        auto p = std::make_unique<Picture>();
        p->name = f.substr(f.find_last_of('/') + 1);
        p->path = f;
        p->load_only = load_only;
        p->image.create(1, 1, 0);
        if (!load_input(p->image, f.c_str())) {
            std::printf("Cannot load input file : %s\n", f.c_str());
            return 1;
        }
        pictures.push_back(std::move(p));
    }
    if (with_all_colours) {
        auto p = std::make_unique<Picture>();
        p->name = "all-colours";
        all_colours(p->image);
        pictures.push_back(std::move(p));
    }
    FILE* quiet = std::tmpfile();
    for (auto& p : pictures) {
        if (p->load_only)
            continue;
        fill_color_table(p->image, p->table);
        ColorTable table = p->table;
        p->palette = average_palette(table, build_clusters(table, 255), quiet);
    }
    std::fclose(quiet);

    const int32_t default_threads = quantizer_threads();
    std::vector<int32_t> counts{1, 2};
    if (default_threads > 2)
        counts.push_back(default_threads);
    const RemapPixels fastest = fastest_remap();
    for (auto& owned : pictures) {
        const Picture* p = owned.get();
        if (!p->path.empty()) {
            benchmark::RegisterBenchmark(("load/" + p->name).c_str(), load, p)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
            for (const int32_t t : counts)
                fastest_of_three(benchmark::RegisterBenchmark(
                    ("load_and_table/" + p->name + "/threads:" + std::to_string(t)).c_str(),
                    load_and_table, p, t));
        }
        if (p->load_only)
            continue;
        for (const int32_t t : counts) {
            const std::string suffix = "/" + p->name + "/threads:" + std::to_string(t);
            fastest_of_three(benchmark::RegisterBenchmark(("table" + suffix).c_str(), table, p, t));
            fastest_of_three(
                benchmark::RegisterBenchmark(("remap" + suffix).c_str(), remap, p, fastest, t));
            fastest_of_three(benchmark::RegisterBenchmark(("process" + suffix).c_str(), whole, p,
                                                          quantize_on, t));
        }
        benchmark::RegisterBenchmark(("clusters/" + p->name).c_str(), clusters, p)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("average/" + p->name).c_str(), average, p)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
        if (!p->path.empty()) {
            benchmark::RegisterBenchmark(("save/" + p->name).c_str(), save, p)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        }
        for (const RemapVersion& v : remap_versions()) {
            if (!v.supported || std::strcmp(v.name, "plain") == 0)
                continue;  // the scan of every entry takes minutes on large pictures
            fastest_of_three(
                benchmark::RegisterBenchmark(
                    (std::string("remap_version/") + v.name + "/" + p->name + "/threads:1").c_str(),
                    remap, p, v.run, 1))
                ->Iterations(1);
        }
        if (with_reference && p->name != "all-colours") {
            benchmark::RegisterBenchmark(("literal_process/" + p->name).c_str(), whole, p,
                                         quantize_literally, 1)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1);
        }
    }
    int rest_count = static_cast<int>(rest.size());
    benchmark::Initialize(&rest_count, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
