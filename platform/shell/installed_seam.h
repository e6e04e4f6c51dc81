#pragma once
// The implementation of a seam in force, for every thread: Real until another is installed. Tests
// install a scripted one; the programs keep the real one.
//
//   Messenger& messenger() { return shell::installedSeam<Messenger, QtMessenger>().get(); }
//   void setMessenger(std::shared_ptr<Messenger> m) { shell::installedSeam<Messenger, QtMessenger>().set(m);
//   }
//   ... ScriptedMessenger::install() { return shell::installFresh<ScriptedMessenger>(setMessenger); }

#include <memory>
#include <mutex>

namespace shell {

template <class Seam, class Real>
class InstalledSeam {
public:
    Seam& get() {
        const std::lock_guard lock(mutex_);
        if (!current_) {
            current_ = std::make_shared<Real>();
        }
        return *current_;
    }
    void set(std::shared_ptr<Seam> s) {
        const std::lock_guard lock(mutex_);
        current_ = std::move(s);
    }

private:
    std::mutex mutex_;
    std::shared_ptr<Seam> current_;
};

// The one InstalledSeam of a seam, made on first use.
template <class Seam, class Real>
InstalledSeam<Seam, Real>& installedSeam() {
    static InstalledSeam<Seam, Real> seam;
    return seam;
}

// Makes a Fake, puts it in force through set and returns it, for the caller to script and read.
template <class Fake, class Seam>
std::shared_ptr<Fake> installFresh(void (*set)(std::shared_ptr<Seam>)) {
    auto fake = std::make_shared<Fake>();
    set(fake);
    return fake;
}

} // namespace shell
