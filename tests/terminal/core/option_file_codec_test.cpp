#include "option_file_codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace terminal;

namespace {

// Fixture files are laid out here by offset, independently of the codec's records.
using Bytes = std::vector<uint8_t>;

void put32(Bytes& b, size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[offset + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

void putText(Bytes& b, size_t offset, const std::string& s) {
    std::memcpy(b.data() + offset, s.data(), s.size());
}

constexpr size_t ProfileAt(size_t i) {
    return 23 + 912 * i;
}

// A valid profile i: COM(i+1), 8 data bits, a receive folder, a placement.
void putProfile(Bytes& b, size_t i) {
    const size_t p = ProfileAt(i);
    putText(b, p, "COM" + std::to_string(i + 1));
    put32(b, p + 20, static_cast<uint32_t>(i + 1)); // port number
    put32(b, p + 24, 0x18);                         // even parity code
    put32(b, p + 28, 3);                            // 8 data bits
    put32(b, p + 32, 4);                            // 2 stop bits
    put32(b, p + 36, 16);                           // 115200
    put32(b, p + 40, 1);                            // parity index Even
    put32(b, p + 44, 3);
    put32(b, p + 48, 1);
    put32(b, p + 52, 3);
    put32(b, p + 56, 16);
    put32(b, p + 60, 0x18 | 3 | 4);
    put32(b, p + 64, 1);
    put32(b, p + 68, 0);
    put32(b, p + 72, 1); // VT100
    put32(b, p + 76, 1); // local echo
    put32(b, p + 80, 2); // Enter LF
    put32(b, p + 84, 3); // CR unchanged
    put32(b, p + 88, 0); // LF -> CR-LF
    putText(b, p + 92, "/home/u/in" + std::to_string(i) + "/");
    putText(b, p + 352, "/home/u/out/");
    putText(b, p + 612, "/home/u/cap" + std::to_string(i) + ".txt");
    put32(b, p + 872, 1); // auto download
    for (int k = 0; k < 9; ++k) {
        put32(b, p + 876 + 4 * k, static_cast<uint32_t>(10 * i + k));
    }
}

Bytes fixture(size_t profiles, uint32_t storedCount) {
    Bytes b(23 + 912 * profiles + 44, 0);
    putText(b, 0, std::string("404ZERIPHALVIC\0", 15));
    put32(b, 15, 512);
    put32(b, 19, storedCount);
    for (size_t i = 0; i < profiles; ++i) {
        putProfile(b, i);
    }
    const size_t w = ProfileAt(profiles);
    const uint32_t window[11] = {44, 0, 3, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 100, 50, 900, 700};
    for (int k = 0; k < 11; ++k) {
        put32(b, w + 4 * k, window[k]);
    }
    return b;
}

Bytes fixture(size_t profiles) {
    return fixture(profiles, static_cast<uint32_t>(profiles));
}

OptionFileDecoding decode(const Bytes& b) {
    return decodeOptionFile(std::span<const uint8_t>(b.data(), b.size()));
}

TEST(OptionFileCodec, ReadsEveryFieldFromItsOffsetAndWritesTheSameBytes) {
    const Bytes file = fixture(3);
    ASSERT_EQ(file.size(), optionFileSize(3));
    const OptionFileDecoding d = decode(file);
    ASSERT_TRUE(d.ok());
    ASSERT_EQ(d.contents.profiles.size(), 3u);

    const Profile& p = d.contents.profiles[2];
    EXPECT_EQ(fieldText(p.port.portName), "COM3");
    EXPECT_EQ(p.port.portNumber, 3);
    EXPECT_EQ(p.port.parityCode, 0x18);
    EXPECT_EQ(p.port.dataBitsCode, 3);
    EXPECT_EQ(p.port.stopBitsCode, 4);
    EXPECT_EQ(p.port.baudIndex, 16);
    EXPECT_EQ(p.port.parityIndex, 1);
    EXPECT_EQ(p.port.stopBitsIndex, 1);
    EXPECT_EQ(p.port.flowBits, 3);
    EXPECT_EQ(p.port.baudCode, 16);
    EXPECT_EQ(p.port.modeBits, 0x1F);
    EXPECT_EQ(p.port.dtr, 1);
    EXPECT_EQ(p.port.rts, 0);
    EXPECT_EQ(p.terminal, (TerminalSettings{1, 1, 2, 3, 0}));
    EXPECT_EQ(fieldText(p.transfer.receiveDirectory), "/home/u/in2/");
    EXPECT_EQ(fieldText(p.transfer.transmitFolder), "/home/u/out/");
    EXPECT_EQ(fieldText(p.transfer.captureFileName), "/home/u/cap2.txt");
    EXPECT_EQ(p.transfer.zmodemAutoDownload, 1);
    EXPECT_EQ(p.placement, (ChildPlacement{20, 21, 22, 23, 24, 25, 26, 27, 28}));
    EXPECT_EQ(d.contents.mainWindow, (WindowPlacement{44, 0, 3, -1, -1, -1, -1, 100, 50, 900, 700}));

    EXPECT_EQ(encodeOptionFile(d.contents), file);
}

TEST(OptionFileCodec, RecordsMadeInMemoryComeBackUnchanged) {
    OptionFileContents c;
    for (int i = 0; i < 256; ++i) {
        Profile p;
        ASSERT_TRUE(setFieldText(p.port.portName, i >= 9 ? "\\\\.\\COM" + std::to_string(i + 1)
                                                         : "COM" + std::to_string(i + 1)));
        p.port.portNumber = i + 1;
        p.port.baudIndex = i % 20;
        p.port.flowBits = 0xF;
        p.terminal.terminalType = i % 3;
        p.terminal.localEcho = -5; // never checked
        ASSERT_TRUE(setFieldText(p.transfer.captureFileName, "/tmp/cap" + std::to_string(i)));
        p.placement = {-i, i, -7, 8, 1, 2, 3, 4, 5};
        c.profiles.push_back(p);
    }
    c.mainWindow.normalRight = 1234;
    const std::vector<uint8_t> bytes = encodeOptionFile(c);
    ASSERT_EQ(bytes.size(), MaxOptionFileSize);
    const OptionFileDecoding d = decodeOptionFile(bytes);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d.contents, c);
    EXPECT_EQ(encodeOptionFile(d.contents), bytes);
}

TEST(OptionFileCodec, EveryTruncationFailsWithoutReadingPastTheEnd) {
    const Bytes file = fixture(2);
    for (size_t length = 0; length < file.size(); ++length) {
        // A copy of exactly this length, so that any read beyond it is caught by the sanitizer.
        const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
        const OptionFileDecoding d = decode(cut);
        ASSERT_FALSE(d.ok()) << length;
        OptionFileFault expected = OptionFileFault::ShortPlacement;
        if (length < 15) {
            expected = OptionFileFault::BadMagic;
        } else if (length < 19) {
            expected = OptionFileFault::BadVersion;
        } else if (length < 23) {
            expected = OptionFileFault::BadCount;
        } else if (length < ProfileAt(2)) {
            expected = OptionFileFault::ShortProfile;
        }
        EXPECT_EQ(d.fault, expected) << length;
        EXPECT_TRUE(d.contents.profiles.empty()) << length;
    }
    Bytes longer = file;
    longer.insert(longer.end(), {1, 2, 3});
    EXPECT_TRUE(decode(longer).ok()) << "bytes after the placement are not looked at";
}

struct HeaderCase {
    const char* name;
    size_t offset;
    uint32_t value;
    bool byte; // patch one byte, else a 32-bit word
    OptionFileFault fault;
};

const HeaderCase HeaderCases[] = {
    {"MagicCharacter", 3, 'X', true, OptionFileFault::BadMagic},
    {"MagicWithoutItsZero", 14, 'C', true, OptionFileFault::BadMagic},
    {"Version511", 15, 511, false, OptionFileFault::BadVersion},
    {"Version513", 15, 513, false, OptionFileFault::BadVersion},
    {"Count0", 19, 0, false, OptionFileFault::BadCount},
    {"Count257", 19, 257, false, OptionFileFault::BadCount},
    {"CountMinus1", 19, 0xFFFFFFFF, false, OptionFileFault::BadCount},
    {"CountAboveTheProfilesHeld", 19, 2, false, OptionFileFault::ShortProfile},
};

class OptionFileHeader : public testing::TestWithParam<HeaderCase> {};

TEST_P(OptionFileHeader, HeaderChecks) {
    const HeaderCase& c = GetParam();
    Bytes file = fixture(1);
    if (c.byte) {
        file[c.offset] = static_cast<uint8_t>(c.value);
    } else {
        put32(file, c.offset, c.value);
    }
    const OptionFileDecoding d = decode(file);
    EXPECT_EQ(d.fault, c.fault);
    if (c.fault != OptionFileFault::ShortProfile) {
        EXPECT_EQ(d.storedCount, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(OptionFileCodec, OptionFileHeader, testing::ValuesIn(HeaderCases),
                         [](const testing::TestParamInfo<HeaderCase>& i) {
                             return std::string(i.param.name);
                         });

TEST(OptionFileCodec, AFullFileOfProfilesReads) {
    const OptionFileDecoding full = decode(fixture(256));
    ASSERT_TRUE(full.ok());
    EXPECT_EQ(full.contents.profiles.size(), 256u);
}

struct FieldCase {
    const char* name;
    size_t offset; // within the profile
    int32_t value;
    OptionFileFault fault;
};

const FieldCase FieldCases[] = {
    {"Port0", 20, 0, OptionFileFault::None},
    {"Port256", 20, 256, OptionFileFault::None},
    {"Port257", 20, 257, OptionFileFault::BadPortSettings},
    {"PortMinus1", 20, -1, OptionFileFault::BadPortSettings},
    {"ParityIndex5", 40, 5, OptionFileFault::BadPortSettings},
    {"ParityIndexMinus1", 40, -1, OptionFileFault::BadPortSettings},
    {"DataBitsIndex4", 44, 4, OptionFileFault::BadPortSettings},
    {"StopBitsIndex2", 48, 2, OptionFileFault::BadPortSettings},
    {"BaudIndex19", 36, 19, OptionFileFault::None},
    {"BaudIndex20", 36, 20, OptionFileFault::BadPortSettings},
    {"ParityCodeNotChecked", 24, 0x77, OptionFileFault::None},
    {"TerminalType3", 72, 3, OptionFileFault::BadTerminalSettings},
    {"TerminalTypeMinus1", 72, -1, OptionFileFault::BadTerminalSettings},
    {"LocalEcho7", 76, 7, OptionFileFault::None},
    {"EnterCode4", 80, 4, OptionFileFault::BadTerminalSettings},
    {"CRCode4", 84, 4, OptionFileFault::BadTerminalSettings},
    {"LFCode4", 88, 4, OptionFileFault::BadTerminalSettings},
    {"LFCode2", 88, 2, OptionFileFault::None},
};

class OptionFileField : public testing::TestWithParam<FieldCase> {};

TEST_P(OptionFileField, ProfileFieldChecks) {
    const FieldCase& c = GetParam();
    for (size_t victim : {0u, 2u}) {
        Bytes file = fixture(3);
        put32(file, ProfileAt(victim) + c.offset, static_cast<uint32_t>(c.value));
        const OptionFileDecoding d = decode(file);
        EXPECT_EQ(d.fault, c.fault) << "in profile " << victim;
        if (!d.ok()) {
            EXPECT_EQ(d.badProfile, static_cast<int>(victim));
            EXPECT_EQ(d.storedCount, 3u);
            EXPECT_TRUE(d.contents.profiles.empty());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(OptionFileCodec, OptionFileField, testing::ValuesIn(FieldCases),
                         [](const testing::TestParamInfo<FieldCase>& i) {
                             return std::string(i.param.name);
                         });

TEST(OptionFileCodec, TextFieldsWithoutTheirZeroComeOutTerminated) {
    Bytes file = fixture(2);
    std::memset(file.data() + ProfileAt(0), 'n', 20);
    std::memset(file.data() + ProfileAt(0) + 92, 'a', 3 * 260);
    const OptionFileDecoding d = decode(file);
    ASSERT_TRUE(d.ok());
    const Profile& p = d.contents.profiles[0];
    EXPECT_EQ(fieldText(p.port.portName), std::string(19, 'n'));
    EXPECT_EQ(fieldText(p.transfer.receiveDirectory), std::string(259, 'a'));
    EXPECT_EQ(fieldText(p.transfer.transmitFolder), std::string(259, 'a'));
    EXPECT_EQ(fieldText(p.transfer.captureFileName), std::string(259, 'a'));
    EXPECT_EQ(p.port.portNumber, 1) << "the next field is read from its own offset";
}

TEST(OptionFileCodec, FieldTextRefusesWhatDoesNotFit) {
    std::array<char, 20> field{};
    ASSERT_TRUE(setFieldText(field, "COM1"));
    EXPECT_TRUE(setFieldText(field, std::string(19, 'x')));
    EXPECT_FALSE(setFieldText(field, std::string(20, 'y')));
    EXPECT_FALSE(setFieldText(field, std::string_view("a\0b", 3)));
    EXPECT_EQ(fieldText(field), std::string(19, 'x')) << "a refused text leaves the field as it was";
    ASSERT_TRUE(setFieldText(field, "ab"));
    EXPECT_EQ(field[2], '\0');
    EXPECT_EQ(field[3], '\0') << "the rest is cleared";
}

} // namespace
