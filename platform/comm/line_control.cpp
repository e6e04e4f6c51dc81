#include "line_control.h"

#include "shared_lines.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sys/ioctl.h>

namespace comm {

namespace {

// Devices without modem lines (a pty answers ENOTTY, some virtual ports EINVAL).
bool noLines(int err) {
    return err == ENOTTY || err == EINVAL;
}

class IoctlLineControl : public LineControl {
public:
    bool getLines(int fd, int* bits) override {
        if (::ioctl(fd, TIOCMGET, bits) == 0)
            return true;
        if (!noLines(errno))
            return false;
        *bits = TIOCM_CTS | TIOCM_DSR;
        return true;
    }
    bool setLines(int fd, int raise, int drop) override {
        if (raise && ::ioctl(fd, TIOCMBIS, &raise) != 0 && !noLines(errno))
            return false;
        if (drop && ::ioctl(fd, TIOCMBIC, &drop) != 0 && !noLines(errno))
            return false;
        return true;
    }
};

std::string canonical(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved))
        return resolved;
    return path;
}

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<LineControl>> controls;
};

// Never destroyed: monitor threads may still ask for a control while the program exits.
Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

} // namespace

std::shared_ptr<LineControl> ioctlLineControl() {
    static const auto* control = new std::shared_ptr<LineControl>(std::make_shared<IoctlLineControl>());
    return *control;
}

std::shared_ptr<LineControl> lineControlFor(const std::string& devicePath) {
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        if (!r.controls.empty()) {
            if (auto it = r.controls.find(canonical(devicePath)); it != r.controls.end())
                return it->second;
        }
    }
    if (std::string file = sharedLinesFileFor(devicePath); !file.empty())
        return sharedLineControl(file);
    return ioctlLineControl();
}

void setLineControl(const std::string& devicePath, std::shared_ptr<LineControl> control) {
    Registry& r = registry();
    std::string key = canonical(devicePath);
    std::lock_guard lock(r.mutex);
    if (control)
        r.controls[key] = std::move(control);
    else
        r.controls.erase(key);
}

} // namespace comm
