// Recogniser + screen model against libvterm, fed the same 16 MiB in 1024-byte reads as the reader thread
// reads the port: (a) plain text with line ends, (b) a stream heavy with cursor moves, attributes, erases
// and scroll regions. Prints MB/s of each, the ratio ours / libvterm, and the allocations made per MiB
// once the screen is running.
#include "receive_pipeline.h"
#include "screen_model.h"
#include "sequence_recogniser.h"
#include "termcap_loader.h"

#include <benchmark/benchmark.h>
#include <vterm.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <random>
#include <string>

namespace {

std::atomic<size_t> allocations{0};

constexpr size_t StreamSize = 16u << 20;
constexpr size_t ReadSize = 1024;

std::string plainText() {
    std::mt19937 rng(1);
    std::string s;
    s.reserve(StreamSize + 128);
    while (s.size() < StreamSize) {
        const size_t n = rng() % 80;
        for (size_t i = 0; i < n; ++i)
            s += static_cast<char>(0x20 + rng() % 95);
        s += "\r\n";
    }
    s.resize(StreamSize);
    return s;
}

std::string escapeHeavy() {
    std::mt19937 rng(2);
    std::string s;
    s.reserve(StreamSize + 128);
    auto n = [&](int low, int high) {
        return std::to_string(low + static_cast<int>(rng() % (high - low + 1)));
    };
    while (s.size() < StreamSize) {
        switch (rng() % 10) {
        case 0:
            s += "\x1b[" + n(1, 24) + ";" + n(1, 80) + "H";
            break;
        case 1:
            s += "\x1b[" + n(1, 9) + "ABCD"[rng() % 4];
            break;
        case 2:
            s += "\x1b[" + n(0, 7) + "m";
            break;
        case 3:
            s += "\x1b[0;4;7m";
            break;
        case 4:
            s += rng() % 2 ? "\x1b[K" : "\x1b[1K";
            break;
        case 5:
            s += "\x1b[" + n(1, 8) + ";" + n(12, 24) + "r";
            break;
        case 6:
            s += "\x1b[L\x1b[M";
            break;
        case 7:
            s += "\r\n";
            break;
        default:
            for (int i = 0, len = 1 + static_cast<int>(rng() % 12); i < len; ++i)
                s += static_cast<char>('a' + rng() % 26);
        }
    }
    s.resize(StreamSize);
    return s;
}

const std::string& stream(int which) {
    static const std::string plain = plainText();
    static const std::string escapes = escapeHeavy();
    return which == 0 ? plain : escapes;
}

void ours(benchmark::State& state) {
    const std::string& bytes = stream(static_cast<int>(state.range(0)));
    const terminal::LoadResult loaded =
        terminal::LoadTermcapFile(std::string(BREL_BIN_DIR) + "/vt100", "vt100");
    if (!loaded.ok()) {
        state.SkipWithError(loaded.message().c_str());
        return;
    }
    auto shared = std::make_shared<terminal::ScreenModel>();
    terminal::ScreenModel& model = *shared;
    // The port window's own road: detector scanning (auto-download on), capture seam, screen.
    terminal::ReceivePipeline pipeline(shared);
    pipeline.setAutoDownload(true);
    model.lock()->AllocScreenBuffer(80, 24, terminal::HistoryLines, terminal::TerminalType::Vt100);
    terminal::SequenceRecogniser recogniser(loaded.table);
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    auto pass = [&] {
        for (size_t at = 0; at < bytes.size(); at += ReadSize) {
            pipeline.terminalData(recogniser, data + at, ReadSize);
        }
    };
    pass(); // the steady state starts once the screen has been written all over
    const size_t before = allocations.load();
    size_t passes = 0;
    for (auto _ : state) {
        pass();
        ++passes;
        benchmark::DoNotOptimize(model.lock()->cursorColumn());
    }
    state.SetBytesProcessed(static_cast<int64_t>(passes * bytes.size()));
    state.counters["allocs_per_MiB"] =
        static_cast<double>(allocations.load() - before) / static_cast<double>(passes * (bytes.size() >> 20));
}

void vterm(benchmark::State& state) {
    const std::string& bytes = stream(static_cast<int>(state.range(0)));
    VTerm* vt = vterm_new(24, 80);
    vterm_set_utf8(vt, 0);
    VTermScreen* screen = vterm_obtain_screen(vt);
    vterm_screen_reset(screen, 1);
    vterm_input_write(vt, "\x1b[?7l", 5);
    auto pass = [&] {
        for (size_t at = 0; at < bytes.size(); at += ReadSize)
            vterm_input_write(vt, bytes.data() + at, ReadSize);
        char sink[256];
        while (vterm_output_read(vt, sink, sizeof sink) > 0) {
        }
    };
    pass();
    size_t passes = 0;
    for (auto _ : state) {
        pass();
        ++passes;
    }
    state.SetBytesProcessed(static_cast<int64_t>(passes * bytes.size()));
    vterm_free(vt);
}

BENCHMARK(ours)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(vterm)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Keeps each run's throughput so the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> megabytesPerSecond;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const double seconds = run.GetAdjustedRealTime() / 1000.0;
            if (!run.error_occurred && seconds > 0)
                megabytesPerSecond[run.benchmark_name()] = static_cast<double>(StreamSize) / 1e6 / seconds;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

void* operator new(size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const char* const names[] = {"plain text", "escape-heavy"};
    for (int which = 0; which < 2; ++which) {
        const std::string arg = "/" + std::to_string(which) + "/min_time:1.000";
        const double mine = reporter.megabytesPerSecond["ours" + arg];
        const double theirs = reporter.megabytesPerSecond["vterm" + arg];
        std::printf("%-13s ours %8.1f MB/s   libvterm %8.1f MB/s   ratio %.2f\n", names[which], mine, theirs,
                    theirs > 0 ? mine / theirs : 0.0);
    }
    benchmark::Shutdown();
    return 0;
}
