// Times the new-firmware upgrade job against the simulated modem on a pseudo-terminal, whose line
// runs at 115200 baud in both directions, and prints the transfer's time beside the line's: the
// image's bytes at 10 bits each. Stop-and-wait XMODEM with 128-byte blocks cannot pass about 89%.
//
//   upgrade_bench [image bytes, default 1 MiB]
#include "engine_view.h"
#include "firmware_image.h"
#include "Loadthread.h"
#include "simulated_modem.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// The moments the job shows the transfer's start and end.
class TimingView : public EngineView {
public:
    void setStatusText(const std::string& text) override {
        std::lock_guard lock(mutex);
        if (text == "Loading...")
            loading = Clock::now();
        if (text == "Finished loading.")
            finished = Clock::now();
    }
    std::mutex mutex;
    Clock::time_point loading{};
    Clock::time_point finished{};
};

} // namespace

int main(int argc, char** argv) {
    const std::size_t size = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1024 * 1024;
    if (size < 256) {
        std::fprintf(stderr, "upgrade_bench: an image of at least 256 bytes\n");
        return 2;
    }
    char pattern[] = "/tmp/upgrade-bench-XXXXXX";
    if (!::mkdtemp(pattern))
        return 1;
    const std::filesystem::path dir = pattern;
    ::setenv("BREL_PORT_MAP", (dir / "ports.conf").c_str(), 1);
    const std::string image = q86sim::MakeFirmwareImage(q86sim::Model::Q8690I, size - 128);
    const std::filesystem::path file = dir / "fw.img";
    std::ofstream(file, std::ios::binary).write(image.data(), std::streamsize(image.size()));

    q86sim::Scenario s;
    s.upgradeStepMs = 10;
    q86sim::SimulatedModem modem(s);
    modem.start();
    modem.publish(3);
    auto view = std::make_shared<TimingView>();
    setEngineView(view);

    LoadJobFlags flags;
    flags.upgrade = true;
    LoadThread job(flags);
    UpgradeJob u;
    u.port = 3;
    u.file = file.string();
    job.setUpgrade(u);
    job.start();
    job.wait();
    modem.stop();
    std::filesystem::remove_all(dir);

    const double seconds = std::chrono::duration<double>(view->finished - view->loading).count();
    const double lineSeconds = double(image.size()) * 10 / 115200;
    const bool whole = modem.transferData().compare(0, image.size(), image) == 0;
    std::printf("image %zu bytes, transfer result %d, verdict %d, image %s\n", image.size(),
                job.xmodemResult(), job.upgradeResult(), whole ? "arrived whole" : "DIFFERS");
    std::printf("transfer %.2f s, line time %.2f s, efficiency %.1f%% (goal 85%%)\n", seconds, lineSeconds,
                100 * lineSeconds / seconds);
    return job.xmodemResult() >= 0 && whole ? 0 : 1;
}
