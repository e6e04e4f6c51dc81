#include "option_file_codec.h"

#include <algorithm>

namespace terminal {

static_assert(PortNameSize + 13 * 4 == PortSettingsSize);
static_assert(5 * 4 == TerminalSettingsSize);
static_assert(3 * PathFieldSize + 4 == TransferSettingsSize);
static_assert(9 * 4 == ChildPlacementSize);
static_assert(PortSettingsSize + TerminalSettingsSize + TransferSettingsSize + ChildPlacementSize ==
              ProfileSize);
static_assert(OptionFileMagic.size() + 4 + 4 == OptionFileHeaderSize);
static_assert(MaxOptionFileSize == 233539);

namespace {

// Reads fields in order; every read past the end fails and leaves the reader failed.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool has(size_t n) const { return bytes_.size() - pos_ >= n; }

    uint32_t u32() {
        const uint8_t* p = bytes_.data() + pos_;
        pos_ += 4;
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    int32_t i32() { return static_cast<int32_t>(u32()); }

    template <size_t N>
    void text(std::array<char, N>& field) {
        std::copy_n(bytes_.data() + pos_, N, reinterpret_cast<uint8_t*>(field.data()));
        pos_ += N;
        field[N - 1] = '\0'; // a field without its zero must not run into the next one
    }

    void field(uint32_t& v) { v = u32(); }
    void field(int32_t& v) { v = i32(); }
    template <size_t N>
    void field(std::array<char, N>& v) {
        text(v);
    }
    template <class... T>
    void fields(T&... v) {
        (field(v), ...);
    }

    std::string_view view(size_t n) {
        const std::string_view v(reinterpret_cast<const char*>(bytes_.data() + pos_), n);
        pos_ += n;
        return v;
    }

private:
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
};

class Writer {
public:
    explicit Writer(std::vector<uint8_t>& out) : out_(out) {}
    void u32(uint32_t v) {
        for (int shift = 0; shift < 32; shift += 8) {
            out_.push_back(static_cast<uint8_t>(v >> shift));
        }
    }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void bytes(std::string_view v) { out_.insert(out_.end(), v.begin(), v.end()); }
    template <size_t N>
    void text(const std::array<char, N>& field) {
        bytes(std::string_view(field.data(), N));
    }
    void field(uint32_t v) { u32(v); }
    void field(int32_t v) { i32(v); }
    template <size_t N>
    void field(const std::array<char, N>& v) {
        text(v);
    }
    template <class... T>
    void fields(const T&... v) {
        (field(v), ...);
    }

private:
    std::vector<uint8_t>& out_;
};

// Each record's fields in stored order: the one list both the reader and the writer walk (Io is a
// Reader with a record to fill, or a Writer with a const record).
template <class Io, class Port>
void portFields(Io& io, Port& p) {
    io.fields(p.portName, p.portNumber, p.parityCode, p.dataBitsCode, p.stopBitsCode, p.baudIndex,
              p.parityIndex, p.dataBitsIndex, p.stopBitsIndex, p.flowBits, p.baudCode, p.modeBits, p.dtr,
              p.rts);
}

template <class Io, class Terminal>
void terminalFields(Io& io, Terminal& t) {
    io.fields(t.terminalType, t.localEcho, t.enterCode, t.crCode, t.lfCode);
}

template <class Io, class Transfer>
void transferFields(Io& io, Transfer& t) {
    io.fields(t.receiveDirectory, t.transmitFolder, t.captureFileName, t.zmodemAutoDownload);
}

template <class Io, class Child>
void childFields(Io& io, Child& c) {
    io.fields(c.left, c.top, c.right, c.bottom, c.ownMaximised, c.normalLeft, c.normalTop, c.normalRight,
              c.normalBottom);
}

template <class Io, class Window>
void windowFields(Io& io, Window& w) {
    io.fields(w.length, w.flags, w.showCmd, w.minX, w.minY, w.maxX, w.maxY, w.normalLeft, w.normalTop,
              w.normalRight, w.normalBottom);
}

bool inRange(int32_t v, int32_t low, int32_t high) {
    return v >= low && v <= high;
}

} // namespace

bool portSettingsValid(const PortSettings& p) {
    // The number is compared unsigned: 0 passes, a negative number does not.
    return static_cast<uint32_t>(p.portNumber) <= MaxProfiles && inRange(p.parityIndex, 0, 4) &&
           inRange(p.dataBitsIndex, 0, 3) && inRange(p.stopBitsIndex, 0, 1) && inRange(p.baudIndex, 0, 19);
}

bool terminalSettingsValid(const TerminalSettings& t) {
    return inRange(t.terminalType, 0, 2) && inRange(t.enterCode, 0, 3) && inRange(t.crCode, 0, 3) &&
           inRange(t.lfCode, 0, 3);
}

OptionFileDecoding decodeOptionFile(std::span<const uint8_t> bytes) {
    OptionFileDecoding d;
    Reader r(bytes);
    if (!r.has(OptionFileMagic.size()) || r.view(OptionFileMagic.size()) != OptionFileMagic) {
        d.fault = OptionFileFault::BadMagic;
        return d;
    }
    if (!r.has(4) || r.i32() != OptionFileVersion) {
        d.fault = OptionFileFault::BadVersion;
        return d;
    }
    if (!r.has(4)) {
        d.fault = OptionFileFault::BadCount;
        return d;
    }
    const uint32_t count = r.u32();
    if (count == 0 || count > MaxProfiles) {
        d.fault = OptionFileFault::BadCount;
        return d;
    }
    d.storedCount = count;
    std::vector<Profile> profiles(count);
    for (uint32_t i = 0; i < count; ++i) {
        Profile& p = profiles[i];
        d.badProfile = static_cast<int>(i);
        if (!r.has(PortSettingsSize)) {
            d.fault = OptionFileFault::ShortProfile;
            return d;
        }
        portFields(r, p.port);
        if (!portSettingsValid(p.port)) {
            d.fault = OptionFileFault::BadPortSettings;
            return d;
        }
        if (!r.has(TerminalSettingsSize)) {
            d.fault = OptionFileFault::ShortProfile;
            return d;
        }
        terminalFields(r, p.terminal);
        if (!terminalSettingsValid(p.terminal)) {
            d.fault = OptionFileFault::BadTerminalSettings;
            return d;
        }
        if (!r.has(TransferSettingsSize + ChildPlacementSize)) {
            d.fault = OptionFileFault::ShortProfile;
            return d;
        }
        transferFields(r, p.transfer);
        childFields(r, p.placement);
    }
    d.badProfile = -1;
    if (!r.has(WindowPlacementSize)) {
        d.fault = OptionFileFault::ShortPlacement;
        return d;
    }
    windowFields(r, d.contents.mainWindow);
    d.contents.profiles = std::move(profiles);
    return d;
}

std::vector<uint8_t> encodeOptionFile(const OptionFileContents& contents) {
    std::vector<uint8_t> out;
    out.reserve(optionFileSize(contents.profiles.size()));
    Writer w(out);
    w.bytes(OptionFileMagic);
    w.i32(OptionFileVersion);
    w.u32(static_cast<uint32_t>(contents.profiles.size()));
    for (const Profile& p : contents.profiles) {
        portFields(w, p.port);
        terminalFields(w, p.terminal);
        transferFields(w, p.transfer);
        childFields(w, p.placement);
    }
    windowFields(w, contents.mainWindow);
    return out;
}

std::string_view optionFileMessageText(int message) {
    switch (message) {
    case OptionFileOpenFail:
        return "Profile %1 open fail";
    case OptionFileCorrupted:
        return "Profile %1 data corrupted !";
    case OptionFileReadFail:
        return "Profile %1 read fail";
    case OptionFileWriteFail:
        return "Profile %1 write fail";
    case OptionFileNothingToSave:
        return "No port window is open: nothing to save";
    default:
        return {};
    }
}

} // namespace terminal
