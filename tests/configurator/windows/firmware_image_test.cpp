// The firmware image check and the upgrade button that uses it.
#include "firmware_image_check.h"
#include "scripted_file_dialogs.h"
#include "window_fixture.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

void put32(std::string& bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes[at + std::size_t(i)] = char((v >> (8 * i)) & 0xFF);
}

// A well-formed image for model 0x0101 with a payload of n bytes.
std::string image(std::size_t n) {
    std::string bytes(128 + n, '\0');
    bytes[0] = 4;
    bytes[1] = 4;
    bytes[2] = 1;
    bytes[3] = 1;
    std::uint32_t sum = 0, complement = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>((i * 7 + 3) & 0xFF);
        bytes[128 + i] = char(b);
        sum += b;
        complement += 255u - b;
    }
    put32(bytes, 8, std::uint32_t(n));
    put32(bytes, 12, sum);
    put32(bytes, 16, complement);
    return bytes;
}

class FirmwareImageTest : public ::testing::Test {
protected:
    std::string write(const std::string& bytes) {
        const QString path = dir.path() + QStringLiteral("/fw%1.img").arg(++count);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes.data(), qint64(bytes.size()));
        return QFile::encodeName(path).toStdString();
    }
    QTemporaryDir dir;
    int count = 0;
};

TEST_F(FirmwareImageTest, HeaderAndSums) {
    const struct {
        const char* name;
        std::function<void(std::string&)> change;
        bool accepted;
    } cases[] = {
        {"whole blocks and a rest", [](std::string&) {}, true},
        {"model 0x0001", [](std::string& b) { b[2] = 0; }, true},
        {"model bytes 1 0", [](std::string& b) { b[3] = 0; }, false},
        {"model bytes 0 0", [](std::string& b) { b[2] = 0, b[3] = 0; }, false},
        {"model high byte 2", [](std::string& b) { b[2] = 2; }, false},
        {"first marker", [](std::string& b) { b[0] = 5; }, false},
        {"second marker", [](std::string& b) { b[1] = 0; }, false},
        {"byte 7 set", [](std::string& b) { b[7] = 1; }, false},
        {"bytes 4 to 6 and 20 on are free", [](std::string& b) { b[4] = b[5] = b[6] = b[20] = b[127] = 'x'; },
         true},
        {"one byte too many", [](std::string& b) { b.push_back('\0'); }, false},
        {"one byte short", [](std::string& b) { b.pop_back(); }, false},
        {"first sum wrong", [](std::string& b) { b[12] = char(b[12] + 1); }, false},
        {"second sum wrong", [](std::string& b) { b[16] = char(b[16] + 1); }, false},
        {"payload changed, sums kept", [](std::string& b) { b[200] = char(b[200] + 1); }, false},
        // 0xFFFFFFE4 + 128 wraps to 100 in 32 bits.
        {"length wrapping to a short file's size",
         [](std::string& b) {
             b.resize(100);
             put32(b, 8, 0xFFFFFFE4u);
         },
         false},
    };
    for (const auto& c : cases) {
        std::string bytes = image(2500);
        c.change(bytes);
        const FirmwareImageCheck check = CheckFirmwareImage(write(bytes));
        EXPECT_TRUE(check.exists) << c.name;
        EXPECT_EQ(check.accepted, c.accepted) << c.name;
        EXPECT_EQ(check.size, std::int64_t(bytes.size())) << c.name;
    }
}

TEST_F(FirmwareImageTest, EdgeSizes) {
    for (std::size_t n : {std::size_t(0), std::size_t(1024), std::size_t(2048), std::size_t(1)}) {
        const FirmwareImageCheck check = CheckFirmwareImage(write(image(n)));
        EXPECT_TRUE(check.accepted) << n;
        EXPECT_EQ(check.modelCode, 0x0101) << n;
    }
    const std::string good = image(10);
    const FirmwareImageCheck taken = CheckFirmwareImage(write(good));
    EXPECT_EQ(taken.checksum, std::uint32_t(static_cast<unsigned char>(good[16])) |
                                  std::uint32_t(static_cast<unsigned char>(good[17])) << 8);
    EXPECT_FALSE(CheckFirmwareImage(write(good.substr(0, 100))).accepted);
    EXPECT_FALSE(CheckFirmwareImage(write("")).accepted);
    EXPECT_FALSE(CheckFirmwareImage((dir.path() + "/missing.img").toStdString()).exists);
    const FirmwareImageCheck folder = CheckFirmwareImage(dir.path().toStdString());
    EXPECT_TRUE(folder.exists);
    EXPECT_FALSE(folder.accepted);
}

class UpgradeButtonTest : public WindowSetTest {
protected:
    void SetUp() override {
        WindowSetTest::SetUp();
        dialogs = gui::ScriptedFileDialogs::install();
    }
    QString write(const std::string& bytes) {
        const QString path = dir.path() + "/modem.img";
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes.data(), qint64(bytes.size()));
        return path;
    }
    std::shared_ptr<gui::ScriptedFileDialogs> dialogs;
    QTemporaryDir dir;
};

TEST_F(UpgradeButtonTest, AcceptedImageShowsTheConnectDialog) {
    const QString path = write(image(300));
    dialogs->answer({path});
    boxes->answer({gui::Answer::Yes});
    Fmainset->OpRestore = 1;
    main().UpgradeBtn->click();
    EXPECT_EQ(Fmainset->OpUpgrade, 1);
    EXPECT_EQ(Fmainset->OpRestore, 0);
    EXPECT_EQ(Fmainset->FirmwareFile, path);
    EXPECT_EQ(Fmainset->FirmwareFileSize, 428);
    EXPECT_EQ(Fmainset->FirmwareModelCode, 0x0101);
    EXPECT_TRUE(Fconnect->isVisible());
    ASSERT_EQ(dialogs->requests().size(), 1u);
    EXPECT_EQ(dialogs->requests()[0].filter, "Img files (*.img)");
    EXPECT_EQ(boxes->boxes().size(), 1u); // the question only
}

// The demo names its folder of images; without it the dialog starts where the toolkit chooses.
TEST_F(UpgradeButtonTest, TheFileDialogStartsInTheNamedFirmwareFolder) {
    const struct {
        const char* name;
        bool named;
    } cases[] = {{"Named", true}, {"Unset", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.named)
            ::setenv("BREL_FIRMWARE_DIR", dir.path().toLocal8Bit().constData(), 1);
        else
            ::unsetenv("BREL_FIRMWARE_DIR");
        dialogs->clear();
        boxes->clear();
        boxes->answer({gui::Answer::Yes});
        dialogs->answer({QString()});
        main().UpgradeBtn->click();
        ASSERT_EQ(dialogs->requests().size(), 1u);
        EXPECT_EQ(dialogs->requests()[0].start, c.named ? dir.path() : QString());
    }
    ::unsetenv("BREL_FIRMWARE_DIR");
}

TEST_F(UpgradeButtonTest, RefusedImages) {
    std::string bad = image(300);
    bad[7] = 1;
    const QString missing = dir.path() + "/none.img";
    const struct {
        QString path;
        gui::BoxKind kind;
        QString caption;
        QString text;
    } cases[] = {
        {write(bad), gui::BoxKind::Plain, "", "Firmware file invalid. Please check the file."},
        {missing, gui::BoxKind::Show, "Open Existing File Error",
         missing + QString::fromUtf8("\nFound file error\u3002\nPlease confirm the file name\u3002\n")},
        {"", gui::BoxKind::Ask, "Vantro Configurator", ""}, // cancelled: only the question was asked
    };
    for (const auto& c : cases) {
        boxes->clear();
        boxes->answer({gui::Answer::Yes});
        dialogs->answer({c.path});
        main().UpgradeBtn->click();
        EXPECT_EQ(Fmainset->OpUpgrade, 0) << c.path.toStdString();
        EXPECT_TRUE(Fmainset->FirmwareFile.isEmpty()) << c.path.toStdString();
        EXPECT_FALSE(Fconnect->isVisible()) << c.path.toStdString();
        EXPECT_EQ(boxes->last().kind, c.kind) << c.path.toStdString();
        EXPECT_EQ(boxes->last().caption, c.caption) << c.path.toStdString();
        if (!c.text.isEmpty()) {
            EXPECT_EQ(boxes->last().text, c.text) << c.path.toStdString();
        }
    }
}

} // namespace
