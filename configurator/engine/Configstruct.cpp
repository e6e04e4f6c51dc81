#include "Configstruct.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

// The key texts are also the modem's own prompts and report labels: they stay exactly as the modem
// spells them.
const ConfigKeyEntry ConfigKeyTable[kConfigRecordSize] = {
    {2, "Device Alias", 16, 1},
    {1, "Cellular Band Selection", 1, 1},
    {1, "Use PIN", 3, 4},
    {2, "PIN Code", 4, 1},
    {1, "Use PIN2", 3, 2},
    {2, "PIN2 Code", 4, 1},
    {1, "Config Serial Port", 3, 7},
    {1, "Baudrate", 2, 1},
    {1, "Data Length", 1, 1},
    {1, "Stop Bit(s)", 1, 1},
    {1, "Parity Check", 1, 1},
    {1, "Flow Control", 1, 1},
    {1, "Echo Input", 3, 1},
    {1, "Config SMS Tunneling", 3, 9},
    {1, "Config SMS-to-Serial (Input)", 3, 4},
    {1, "SMS-In Encoding", 1, 1},
    {2, "Valid Sender1", 60, 1},
    {2, "Valid Sender2", 60, 1},
    {1, "Config Serial-to-SMS (Output)", 3, 4},
    {1, "SMS-Out Encoding", 1, 1},
    {2, "Taget Receiver1", 60, 1},
    {2, "Taget Receiver2", 60, 1},
    {1, "Config Autoanswer Auth", 3, 3},
    {2, "Valid Caller1", 60, 1},
    {2, "Valid Caller2", 60, 1},
    {1, "Config Autocallback", 3, 3},
    {2, "Valid Callee1", 60, 1},
    {2, "Valid Callee2", 60, 1},
    {1, "Config Retry DTR Trigger", 3, 4},
    {1, "Retry count", 2, 1},
    {2, "Valid Callee1", 60, 1},
    {2, "Valid Callee2", 60, 1},
    {1, "Config GPRS CID", 3, 4},
    {2, "GPRS APN", 60, 1},
    {1, "Enable PDP Header Compression", 3, 1},
    {1, "Enable V.42bis PDP Data Compression", 3, 1},
    {1, "Config Other Init String", 3, 7},
    {2, "Init Command1", 39, 1},
    {2, "Init Command2", 39, 1},
    {2, "Init Command3", 39, 1},
    {2, "Init Command4", 39, 1},
    {2, "Init Command5", 39, 1},
    {2, "Extra Init String1", 39, 1},
    {2, "AutoAnswer Rings(0~255)", 3, 1},
    {1, "DTR Drop", 1, 1},
    {1, "GSM (Auto,V.110,V.32)", 2, 1},
    {0, nullptr, 0, 0},
};

ConfigRecord ConfigLines;

namespace {

ApplyConfigFunction applyToForm;
std::atomic<int> lastEmptyValueCount{kConfigKeyCount};

bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

std::string valueAt(std::string_view text, size_t start, size_t maxLength) {
    std::string value;
    for (size_t p = start; p < text.size() && value.size() < maxLength && !isLineEnd(text[p]); ++p)
        value.push_back(text[p]);
    return value;
}

// Where a key can stand: at the start of the text or of a line. A key's text inside a value (an alias
// of "Baudrate 5") must not be read as that key.
size_t findKeyAtLineStart(std::string_view text, std::string_view key) {
    for (size_t at = text.find(key); at != std::string_view::npos; at = text.find(key, at + 1)) {
        if (at == 0 || isLineEnd(text[at - 1]))
            return at;
    }
    return std::string_view::npos;
}

std::string_view withoutLineEnd(std::string_view s) {
    if (s.ends_with("\r\n"))
        s.remove_suffix(2);
    else if (!s.empty() && isLineEnd(s.back()))
        s.remove_suffix(1);
    return s;
}

} // namespace

ParsedConfig ParseConfigText(std::string_view text) {
    if (const size_t nul = text.find('\0'); nul != std::string_view::npos)
        text = text.substr(0, nul);
    ParsedConfig parsed;
    for (int k = 0; k < kConfigKeyCount; ++k) {
        const std::string_view key = ConfigKeyTable[k].KeyText;
        // The key must be followed by at least its separator character.
        const size_t at = findKeyAtLineStart(text, key);
        if (at != std::string_view::npos && at + key.size() < text.size())
            parsed.values.at(k) = valueAt(text, at + key.size() + 1, ConfigKeyTable[k].MaxLength);
        if (parsed.values.at(k).empty())
            ++parsed.EmptyValueCount;
    }
    return parsed;
}

void setApplyConfigToForm(ApplyConfigFunction apply) {
    applyToForm = std::move(apply);
}

void ApplyConfigText(std::string_view text) {
    const ParsedConfig parsed = ParseConfigText(text);
    lastEmptyValueCount = parsed.EmptyValueCount;
    if (applyToForm)
        applyToForm(parsed.values);
}

int LastEmptyValueCount() {
    return lastEmptyValueCount;
}

int ReadConfigFile(const std::string& path, std::string& text) {
    text.clear();
    // Look before opening: opening a FIFO would block and opening a tty could raise its lines.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    if (st.st_size > kMaxConfigFileSize)
        return -2;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    // The path may have been replaced since it was looked at.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    text.assign(kMaxConfigFileSize + 1, '\0');
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return -1;
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    text.resize(got);
    if (got == 0)
        return -1;
    if (got > static_cast<size_t>(kMaxConfigFileSize))
        return -2; // grew while being read
    return 0;
}

int LoadConfigFile(const std::string& path) {
    std::string text;
    const int result = ReadConfigFile(path, text);
    if (result == 0)
        ApplyConfigText(text);
    return result;
}

bool IsSavedConfigKey(int k) {
    // Files never hold the second PIN, nor the call and GPRS options the window has no controls for.
    const bool pin2 = k == keyIndex(ConfigKey::UsePin2) || k == keyIndex(ConfigKey::Pin2Code);
    const bool callOptions = k >= keyIndex(ConfigKey::ConfigAutoanswerAuth) &&
                             k <= keyIndex(ConfigKey::EnableV42bisPdpDataCompression);
    return k >= 0 && k < kConfigKeyCount && !pin2 && !callOptions;
}

std::string FormatConfigFile(const ConfigRecord& lines) {
    std::string out;
    for (int k = 0; k < kConfigKeyCount; ++k) {
        if (!IsSavedConfigKey(k))
            continue;
        out += ConfigKeyTable[k].KeyText;
        out += '=';
        out += withoutLineEnd(lines.at(k));
        out += "\r\n";
    }
    return out;
}

namespace {

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

constexpr std::string_view kTempMark = ".tmp-";

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// "NAME.tmp-PID-N" with PID and N decimal; the PID is returned.
bool isOurTempName(std::string_view name, pid_t* pid) {
    const auto mark = name.rfind(kTempMark);
    if (mark == std::string_view::npos || mark == 0)
        return false;
    std::string_view rest = name.substr(mark + kTempMark.size());
    const auto dash = rest.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash > 9 || dash + 1 == rest.size())
        return false;
    for (size_t i = 0; i < rest.size(); ++i)
        if (i != dash && (rest[i] < '0' || rest[i] > '9'))
            return false;
    *pid = static_cast<pid_t>(std::stol(std::string(rest.substr(0, dash))));
    return true;
}

// A regular file that is empty (a save killed before it wrote) or begins as a saved file does.
bool holdsOurText(int folder, const char* name) {
    const int fd = ::openat(folder, name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    const std::string first = std::string(ConfigKeyTable[0].KeyText) + "=";
    std::string head(first.size(), '\0');
    bool ours = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ours && st.st_size > 0)
        ours = ::pread(fd, head.data(), head.size(), 0) == static_cast<ssize_t>(head.size()) && head == first;
    ::close(fd);
    return ours;
}

// Temporary files of saves that were killed hold a PIN beside the user's file: a save removes those
// of processes that no longer run.
void removeStaleTemps(const std::string& folder) {
    DIR* d = ::opendir(folder.c_str());
    if (!d)
        return;
    while (const dirent* e = ::readdir(d)) {
        pid_t pid = 0;
        if (!isOurTempName(e->d_name, &pid) || pid == ::getpid())
            continue;
        if (::kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        if (holdsOurText(::dirfd(d), e->d_name))
            ::unlinkat(::dirfd(d), e->d_name, 0);
    }
    ::closedir(d);
}

// Fills fd with the file's bytes; a file being replaced keeps its permissions (it holds the PIN).
bool fill(int fd, const std::string& path, const ConfigRecord& lines) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::fchmod(fd, st.st_mode & 07777) != 0)
        return false;
    return writeAll(fd, FormatConfigFile(lines)) && ::fsync(fd) == 0;
}

std::string tempName(const std::string& path) {
    static std::atomic<unsigned> serial{0};
    return path + std::string(kTempMark) + std::to_string(::getpid()) + "-" +
           std::to_string(serial.fetch_add(1));
}

} // namespace

bool SaveConfigFile(const std::string& path, const ConfigRecord& lines) {
    const std::string folder = folderOf(path);
    removeStaleTemps(folder);
    const std::string temp = tempName(path);
    // An unnamed file cannot outlive a crash: it gets a name only once it is complete, for as long as
    // the rename takes. Created like any new file (the umask applies).
    int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    const bool unnamed = fd >= 0;
    if (!unnamed) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return false;
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0)
            return false;
    }
    bool named = !unnamed;
    bool ok = fill(fd, path, lines);
    int savedErrno = errno;
    if (ok && unnamed) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        ok = named = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0;
        savedErrno = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        savedErrno = errno;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        savedErrno = errno;
    }
    if (!ok) {
        if (named)
            ::unlink(temp.c_str());
        errno = savedErrno;
    }
    return ok;
}
