#pragma once
// The worker that carries out one modem operation on the port the connect dialog has opened, while
// the status window waits in its modal loop: apply the main window's settings, read the modem's
// settings into it, or restore the modem's factory defaults. Status texts, progress and the main
// window's controls go through the installed EngineView; the last act of every run ends the status
// window's modal loop.

#include "config_record.h"
#include "upgrade_steps.h"

#include <QThread>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

// The pending operation, taken from the main settings window's flags when the worker is made.
struct LoadJobFlags {
    bool upgrade = false;
    bool apply = false;
    bool read = false;
    bool restore = false;
};

// What the modem says about itself in reply to "at*apver".
struct ApVersionInfo {
    std::string version; // after " v", up to a blank or line end, at most 12 characters
    std::string build;   // the digits after "build ", at most 12
    std::string model;   // "Q8690I" or "Q8630"; kept as it was until a model is recognised
};

// Looks at one reply text. 1: a known model, info filled (version and build emptied first by the
// caller); -1: the modem answered "ERROR"; 0: nothing usable yet.
int ParseApVersion(std::string_view reply, ApVersionInfo& info);

// Asks the open port's modem for its model and version. 1 for a known model, with info filled;
// 0 for a failed write, an "ERROR" or two replies without a known model. Version and build are
// emptied first.
int CheckApVersion(ApVersionInfo& info);

// Changes only the named members of the open port's control block: the rate, and 8 data bits, no
// parity and one stop bit.
void SetOpenPortLine(std::optional<uint32_t> baud, bool eightNoneOne);

class LoadThread : public QThread {
    Q_OBJECT
public:
    enum class Job { None, Upgrade, Apply, Read, Restore };

    // knownModel: the model shown so far, kept unless the modem names one.
    explicit LoadThread(LoadJobFlags flags, std::string knownModel = {}, QObject* parent = nullptr);

    // The job the flags select: upgrade, apply, read, restore, the first that is set.
    Job job() const { return job_; }
    // The job's outcome: 1 success, -1 failed, -2 no answer to the handshake, -3 the carrier came on
    // during the escape, -4 model not recognised; 0 before the run has ended and for no job. Final
    // once the thread has finished.
    int result() const { return result_.load(); }
    // The modem's model and version as the run found them. Final once the thread has finished.
    ApVersionInfo apInfo() const;

    // The apply job's record, taken from the main settings window before the thread starts.
    void setRecord(ConfigRecord record) { record_ = std::move(record); }

    // The upgrade job's port and image; set before the thread starts.
    void setUpgrade(UpgradeJob job) { upgrade_ = std::move(job); }
    // The upgrade's transfer result: -1 the library port did not open, -2 it could not be set to
    // 115200 8N1, else the transfer's code (negative: failed); 0 before. Final once finished.
    int xmodemResult() const { return xmodemResult_.load(); }
    // The modem's verdict: 1 finished, -1 failed, 0 none seen. Final once finished.
    int upgradeResult() const { return upgradeResult_.load(); }

protected:
    void run() override;

private:
    int applySettings();
    int readSettings();
    int restoreDefaults();
    // CheckApVersion into the run's model and version.
    int checkModel();
    // Sends the image over the serial library's port and follows the modem's install.
    void runUpgrade();
    // The modem's words after the transfer, up to 50 reads.
    void watchNewFirmwareInstall(int port);

    Job job_ = Job::None;
    std::atomic<int> result_{0};
    mutable std::mutex infoMutex_;
    ApVersionInfo info_;
    ConfigRecord record_;
    UpgradeJob upgrade_;
    std::atomic<int> xmodemResult_{0};
    std::atomic<int> upgradeResult_{0};
};
