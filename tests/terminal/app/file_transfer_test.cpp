// File transfers from a port window's menu against real peers on the far end of the line: every
// protocol both ways, stopping from the dialogs, a vanishing peer, and the automatic ZMODEM download.
#include "../../interop/zmodem_test_peer.h"
#include "../../platform/seriallib/transfer_test_support.h"
#include "FileTransferDlg.h"
#include "halvic_fixture.h"
#include "receive_pipeline.h"
#include "scripted_file_dialogs.h"
#include "TransferDialogs.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <signal.h>
#include <sys/socket.h>

using namespace halvictest;
using namespace std::chrono_literals;
using transfer_test::readFile;
using transfer_test::testData;
using transfer_test::writeFile;

namespace {

enum Protocol { Ascii, Kermit, Xmodem1K, XmodemChecksum, XmodemCrc, Ymodem, Zmodem };
constexpr size_t kSize = 4096; // whole XMODEM blocks: nothing padded

const std::string Zrqinit = std::string("**\x18") + "B00000000000000\r\x8a\x11";

// Carries bytes both ways between our pty and the peer's socket, at most bytesPerSecond when given.
class Line {
public:
    Line(int a, int b, double bytesPerSecond) : fds_{a, b}, rate_(bytesPerSecond) {
        thread_ = std::thread([this] { run(); });
    }
    ~Line() {
        stop_ = true;
        thread_.join();
    }

    // Every byte our end has put on the line so far.
    std::string sent() const {
        std::lock_guard lock(sentMutex_);
        return sent_;
    }

private:
    using Clock = std::chrono::steady_clock;
    struct Chunk {
        Clock::time_point due;
        std::string bytes;
    };

    void run() {
        std::deque<Chunk> queued[2];
        Clock::time_point lastDue[2] = {Clock::now(), Clock::now()};
        while (!stop_) {
            pollfd p[2] = {{fds_[0], POLLIN, 0}, {fds_[1], POLLIN, 0}};
            ::poll(p, 2, 1);
            const auto now = Clock::now();
            for (int i = 0; i < 2; ++i) {
                char buf[4096];
                const ssize_t n =
                    (p[i].revents & POLLIN) ? ::read(fds_[i], buf, rate_ > 0 ? 64 : sizeof buf) : 0;
                if (n > 0 && i == 0) {
                    std::lock_guard lock(sentMutex_);
                    sent_.append(buf, size_t(n));
                }
                if (n > 0) {
                    auto due = now;
                    if (rate_ > 0)
                        due =
                            std::max(due, lastDue[i] + std::chrono::duration_cast<Clock::duration>(
                                                           std::chrono::duration<double>(double(n) / rate_)));
                    lastDue[i] = due;
                    queued[i].push_back({due, std::string(buf, size_t(n))});
                }
                while (!queued[i].empty() && queued[i].front().due <= now) {
                    std::string& bytes = queued[i].front().bytes;
                    const ssize_t w = ::write(fds_[1 - i], bytes.data(), bytes.size());
                    if (w <= 0)
                        break;
                    bytes.erase(0, size_t(w));
                    if (bytes.empty())
                        queued[i].pop_front();
                }
            }
        }
    }
    int fds_[2];
    double rate_;
    std::atomic<bool> stop_{false};
    mutable std::mutex sentMutex_;
    std::string sent_;
    std::thread thread_;
};

class FileTransferTest : public HalvicTest {
protected:
    void SetUp() override {
        HalvicTest::SetUp();
        ASSERT_TRUE(ours.ok());
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, far), 0);
        ASSERT_TRUE(interop::havePeer("sz") && interop::havePeer("gkermit"))
            << "lrzsz and gkermit are needed";
        // COM5 is our end of a line whose far end is a second pty, where the peer program runs.
        std::ofstream(dir.filePath(QStringLiteral("ports.conf")).toStdString())
            << "COM" << kPort << "=" << ours.slavePath() << "\n";
        slowLine(0);
        dialogs = gui::ScriptedFileDialogs::install();
        wantedPort.baudIndex = wantedPort.baudCode = 16;
        app->setSettingsSheet([this](halvic::CHalvicDoc& doc, bool) {
            doc.portSettings = wantedPort;
            doc.terminalSettings = wantedTerminal;
            terminal::setFieldText(doc.transferSettings.receiveDirectory, mine() + "/");
            doc.transferSettings.zmodemAutoDownload = autoDownload ? 1 : 0;
            return true;
        });
    }

    // bytesPerSecond 0: as fast as the ptys go.
    void slowLine(double bytesPerSecond) {
        bridge.reset();
        bridge = std::make_unique<Line>(ours.master(), far[0], bytesPerSecond);
    }

    // The far end hangs up: the peer is gone and so is the line.
    void hangUp() {
        bridge.reset();
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, ours.master());
        ::close(null);
    }

    std::string mine() const { return ourDir.path().toStdString(); }
    std::string peers() const { return peerDir.path().toStdString(); }

    std::unique_ptr<interop::Peer> runPeer(const std::vector<std::string>& argv) {
        auto peer = std::make_unique<interop::Peer>(argv, peers(), far[1],
                                                    dir.filePath(QStringLiteral("peer.log")).toStdString());
        EXPECT_TRUE(peer->started());
        return peer;
    }

    // Port > File Transfer, choosing protocol and direction and pressing the button.
    void fileTransferMenu(int protocol, int direction, const QString& button = QStringLiteral("OK")) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<halvic::CFileTransferDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            seen = true;
            for (int id : {1023 + protocol, 1030 + direction}) {
                auto* radio = dialog->findChild<QRadioButton*>(QStringLiteral("radio%1").arg(id));
                QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
            }
            for (auto* b : dialog->findChildren<QPushButton*>())
                if (b->text() == button)
                    QTest::mouseClick(b, Qt::LeftButton);
        });
        QAction* command = mainFrame().action(QStringLiteral("fileTransfer"));
        ASSERT_TRUE(command->isEnabled());
        command->trigger();
        EXPECT_TRUE(seen);
    }

    std::string readLog() {
        const auto bytes = readFile(dir.filePath(QStringLiteral("peer.log")).toStdString());
        return std::string(bytes.begin(), bytes.end());
    }

    bool waitForBox(int ms = 30000) {
        return waitFor([&] { return !messages->boxes().empty(); }, ms);
    }

    static void click(halvic::TransferProgressDlg* dialog) {
        ASSERT_NE(dialog, nullptr);
        QTest::mouseClick(dialog->button(), Qt::LeftButton);
    }

    ~FileTransferTest() override {
        bridge.reset();
        for (int fd : far)
            if (fd >= 0)
                ::close(fd);
    }

    // Our end is a pty, as a serial port is. The peer gets a plain socket: lrzsz flushes a terminal's
    // queues as it exits, and on a pty that can swallow its last answer before the line takes it.
    interop::PtyLine ours;
    int far[2] = {-1, -1};
    std::unique_ptr<Line> bridge;
    std::shared_ptr<gui::ScriptedFileDialogs> dialogs;
    QTemporaryDir ourDir, peerDir;
    bool autoDownload = false;
};

struct Row {
    const char* name;
    int protocol;
    bool receive;
    std::vector<std::string> peer; // run in the peer's folder, on the far end of the line
};

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

class FileTransferRoad : public FileTransferTest, public ::testing::WithParamInterface<Row> {};

TEST_P(FileTransferRoad, FileArrivesByteForByteWithTheOkMessage) {
    const Row& row = GetParam();
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    halvic::CHalvicView& view = child->view();
    const auto data = testData(kSize, 11);
    const bool batch = row.protocol == Kermit || row.protocol == Ymodem || row.protocol == Zmodem;
    std::string arrived;
    if (row.receive) {
        writeFile(peers() + "/data.bin", data);
        arrived = mine() + (batch ? "/data.bin" : "/out.bin");
        dialogs->answer({QString::fromStdString(batch ? mine() : arrived)});
    } else {
        writeFile(mine() + "/data.bin", data);
        arrived = peers() + "/data.bin";
        dialogs->answer({QString::fromStdString(mine() + "/data.bin")});
    }
    const int readsBefore = view.reader()->blocksRead();
    fileTransferMenu(row.protocol, row.receive ? 1 : 0);
    ASSERT_NE(view.transferDialog(), nullptr);
    // Started once the transfer owns the line: a receiver's first request must not go to the screen.
    ASSERT_TRUE(view.reader()->control().waitPausedAck(2s));
    auto peer = runPeer(row.peer);
    EXPECT_TRUE(view.IsBusy());
    EXPECT_FALSE(mainFrame().action(QStringLiteral("fileTransfer"))->isEnabled());
    if (row.protocol == Ascii && row.receive) {
        // A plain receive has no end of its own: Stop ends it, and that is its success.
        halvic::TransferProgressDlg* dialog = view.transferDialog();
        ASSERT_TRUE(waitFor([&] { return dialog->field(QStringLiteral("length")) == QString::number(kSize); },
                            10000));
        EXPECT_EQ(dialog->button()->text(), QStringLiteral("Stop"));
        click(dialog);
    }
    ASSERT_TRUE(waitForBox()) << readLog();
    const gui::Box box = messages->last();
    EXPECT_EQ(box.caption, QStringLiteral("File Transfer"));
    EXPECT_EQ(box.text, row.receive ? QStringLiteral("(COM5) Receive file ok")
                                    : QStringLiteral("(COM5) Transmit file ok"));
    EXPECT_EQ(peer->wait(row.protocol == Ascii ? 0ms : 10s) == -1, row.protocol == Ascii);
    if (row.protocol == Ascii && !row.receive)
        waitFor([&] { return readFile(arrived).size() >= kSize; }, 5000);
    EXPECT_EQ(readFile(arrived), data);
    // The window is itself again: no dialog, not busy, the reader reading the line.
    EXPECT_EQ(view.transferDialog(), nullptr);
    EXPECT_FALSE(view.IsBusy());
    EXPECT_TRUE(mainFrame().action(QStringLiteral("fileTransfer"))->isEnabled());
    peer.reset();
    putTo(far[1], "after");
    EXPECT_TRUE(waitFor([&] { return view.reader()->blocksRead() > readsBefore; }));
}

INSTANTIATE_TEST_SUITE_P(
    EveryProtocol, FileTransferRoad,
    ::testing::Values(Row{"ascii_send", Ascii, false, {"sh", "-c", "cat > data.bin"}},
                      Row{"ascii_receive", Ascii, true, {"sh", "-c", "cat data.bin; sleep 30"}},
                      Row{"kermit_send", Kermit, false, {"gkermit", "-P", "-r"}},
                      Row{"kermit_receive", Kermit, true, {"gkermit", "-i", "-P", "-s", "data.bin"}},
                      Row{"xmodem1k_send", Xmodem1K, false, {"rx", "-c", "data.bin"}},
                      Row{"xmodem1k_receive", Xmodem1K, true, {"sx", "-k", "data.bin"}},
                      Row{"xmodem_checksum_send", XmodemChecksum, false, {"rx", "data.bin"}},
                      Row{"xmodem_checksum_receive", XmodemChecksum, true, {"sx", "data.bin"}},
                      Row{"xmodem_crc_send", XmodemCrc, false, {"rx", "-c", "data.bin"}},
                      Row{"xmodem_crc_receive", XmodemCrc, true, {"sx", "data.bin"}},
                      Row{"ymodem_send", Ymodem, false, {"rb"}},
                      Row{"ymodem_receive", Ymodem, true, {"sb", "data.bin"}},
                      Row{"zmodem_send", Zmodem, false, {"rz"}},
                      Row{"zmodem_receive", Zmodem, true, {"sz", "data.bin"}}),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

struct WaitingRow {
    const char* name;
    int protocol;
    size_t size;
    std::vector<std::string> peer;
};

void PrintTo(const WaitingRow& row, std::ostream* os) {
    *os << row.name;
}

class WaitingReceiverRoad : public FileTransferTest, public ::testing::WithParamInterface<WaitingRow> {};

// The usual order: the receiver is started first and asks at once; its request reaches the window's
// reader, and the next one comes only 10-14 s later.
TEST_P(WaitingReceiverRoad, ARequestReadBeforeTheTransferStartsTheFirstBlockAtOnce) {
    const WaitingRow& row = GetParam();
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    halvic::CHalvicView& view = child->view();
    const auto data = testData(row.size, 17);
    writeFile(mine() + "/data.bin", data);
    const int readsBefore = view.reader()->blocksRead();
    auto peer = runPeer(row.peer);
    ASSERT_TRUE(waitFor([&] { return view.reader()->blocksRead() > readsBefore; }, 5000)) << readLog();
    QTest::qWait(300); // the user reads the screen and opens the menu
    dialogs->answer({QString::fromStdString(mine() + "/data.bin")});
    const auto ok = std::chrono::steady_clock::now();
    fileTransferMenu(row.protocol, 0);
    ASSERT_TRUE(waitForBox(30000)) << readLog();
    const auto took = std::chrono::steady_clock::now() - ok;
    EXPECT_EQ(messages->last().text, QStringLiteral("(COM5) Transmit file ok"));
    // A first block within a second, then the receiver's own end game (rx answers the EOT after ~1 s);
    // a lost request costs the receiver's repeat, 10-14 s.
    EXPECT_LT(took, 5s) << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    EXPECT_EQ(peer->wait(10s), 0);
    // rx keeps an XMODEM file's padding of its last block.
    auto arrived = readFile(peers() + "/data.bin");
    if (row.protocol != Ymodem && arrived.size() > data.size() &&
        std::all_of(arrived.begin() + std::ptrdiff_t(data.size()), arrived.end(),
                    [](auto c) { return c == 0x1a; }))
        arrived.resize(data.size());
    EXPECT_EQ(arrived, data);
}

INSTANTIATE_TEST_SUITE_P(
    StartedFirst, WaitingReceiverRoad,
    ::testing::Values(WaitingRow{"xmodem_crc_1k_file", XmodemCrc, 1024, {"rx", "-c", "data.bin"}},
                      WaitingRow{"xmodem_crc_one_byte", XmodemCrc, 1, {"rx", "-c", "data.bin"}},
                      WaitingRow{"xmodem_crc_empty", XmodemCrc, 0, {"rx", "-c", "data.bin"}},
                      WaitingRow{"xmodem_checksum_one_byte", XmodemChecksum, 1, {"rx", "data.bin"}},
                      WaitingRow{"xmodem1k_one_byte", Xmodem1K, 1, {"rx", "-c", "data.bin"}},
                      WaitingRow{"ymodem_one_byte", Ymodem, 1, {"rb"}}),
    [](const ::testing::TestParamInfo<WaitingRow>& info) { return std::string(info.param.name); });

struct BatchRow {
    const char* name;
    int protocol;
    std::vector<std::string> peer;
};

void PrintTo(const BatchRow& row, std::ostream* os) {
    *os << row.name;
}

class BatchReceiveRoad : public FileTransferTest, public ::testing::WithParamInterface<BatchRow> {};

TEST_P(BatchReceiveRoad, TheDialogNamesTheFileWhileItArrives) {
    const BatchRow& row = GetParam();
    slowLine(20000);
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    halvic::CHalvicView& view = child->view();
    const auto data = testData(60000, 23);
    writeFile(peers() + "/data.bin", data);
    dialogs->answer({QString::fromStdString(mine())});
    fileTransferMenu(row.protocol, 1);
    halvic::TransferProgressDlg* dialog = view.transferDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->field(QStringLiteral("fileName")).toStdString(), mine() + "/");
    ASSERT_TRUE(view.reader()->control().waitPausedAck(2s));
    auto peer = runPeer(row.peer);
    // Named before the data is all in: at 20000 bytes a second the file takes three seconds.
    ASSERT_TRUE(waitFor(
        [&] { return dialog->field(QStringLiteral("fileName")).toStdString() == mine() + "/data.bin"; },
        10000))
        << readLog();
    EXPECT_LT(dialog->field(QStringLiteral("length")).toLongLong(), static_cast<long long>(data.size()));
    ASSERT_TRUE(waitForBox()) << readLog();
    EXPECT_EQ(messages->last().text, QStringLiteral("(COM5) Receive file ok"));
    EXPECT_EQ(readFile(mine() + "/data.bin"), data);
}

INSTANTIATE_TEST_SUITE_P(
    EveryBatchProtocol, BatchReceiveRoad,
    ::testing::Values(BatchRow{"ymodem", Ymodem, {"sb", "data.bin"}},
                      BatchRow{"zmodem", Zmodem, {"sz", "data.bin"}},
                      BatchRow{"kermit", Kermit, {"gkermit", "-i", "-P", "-s", "data.bin"}}),
    [](const ::testing::TestParamInfo<BatchRow>& info) { return std::string(info.param.name); });

TEST_F(FileTransferTest, CancellingTheChoiceStartsNothingAndTheLastChoiceIsKept) {
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    halvic::CHalvicView& view = child->view();
    fileTransferMenu(Ymodem, 1, QStringLiteral("Cancel"));
    EXPECT_TRUE(dialogs->requests().empty());
    fileTransferMenu(Kermit, 1); // then Cancel in the folder picker
    ASSERT_EQ(dialogs->requests().size(), 1u);
    EXPECT_EQ(dialogs->requests()[0].caption, QStringLiteral("Select Folder"));
    EXPECT_EQ(view.transferDialog(), nullptr);
    EXPECT_FALSE(view.IsBusy());
    putTo(far[1], "still reading");
    EXPECT_TRUE(waitFor([&] { return rowText(child->document(), 0) == "still reading"; }));

    bool kermitReceiveShown = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<halvic::CFileTransferDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        kermitReceiveShown = dialog->findChild<QRadioButton*>(QStringLiteral("radio1024"))->isChecked() &&
                             dialog->findChild<QRadioButton*>(QStringLiteral("radio1031"))->isChecked();
        dialog->reject();
    });
    mainFrame().action(QStringLiteral("fileTransfer"))->trigger();
    EXPECT_TRUE(kermitReceiveShown);
}

struct StopRow {
    const char* name;
    int protocol;
    bool receive;
    std::vector<std::string> peer;
    QString button;
};

void PrintTo(const StopRow& row, std::ostream* os) {
    *os << row.name;
}

class StopRoad : public FileTransferTest, public ::testing::WithParamInterface<StopRow> {};

TEST_P(StopRoad, TheDialogsButtonEndsTheTransferWithUserAbort) {
    const StopRow& row = GetParam();
    slowLine(20000);
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    halvic::CHalvicView& view = child->view();
    const auto data = testData(400000, 3);
    writeFile((row.receive ? peers() : mine()) + "/data.bin", data);
    dialogs->answer({QString::fromStdString(mine() + (row.receive ? "/out.bin" : "/data.bin"))});
    fileTransferMenu(row.protocol, row.receive ? 1 : 0);
    ASSERT_TRUE(view.reader()->control().waitPausedAck(2s));
    auto peer = runPeer(row.peer);
    halvic::TransferProgressDlg* dialog = view.transferDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(waitFor([&] { return dialog->field(QStringLiteral("length")).toInt() > 0; }, 10000))
        << readLog();
    EXPECT_EQ(dialog->button()->text(), row.button);
    click(dialog);
    ASSERT_TRUE(waitForBox(15000));
    EXPECT_EQ(messages->last().caption, QStringLiteral("COM5"));
    EXPECT_EQ(messages->last().text, QStringLiteral("User abort"));
    EXPECT_EQ(messages->boxes().size(), 1u);
    EXPECT_EQ(view.transferDialog(), nullptr);
    EXPECT_FALSE(view.IsBusy());
}

INSTANTIATE_TEST_SUITE_P(
    CancelAndStop, StopRoad,
    ::testing::Values(StopRow{"transmit_cancel", Zmodem, false, {"rz"}, QStringLiteral("Cancel")},
                      StopRow{"receive_stop", XmodemCrc, true, {"sx", "data.bin"}, QStringLiteral("Stop")}),
    [](const ::testing::TestParamInfo<StopRow>& info) { return std::string(info.param.name); });

TEST_F(FileTransferTest, APeerThatVanishesEndsTheTransferAndTheWindowGoesOn) {
    slowLine(20000);
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    halvic::CHalvicView& view = child->view();
    writeFile(peers() + "/data.bin", testData(400000, 5));
    dialogs->answer({QString::fromStdString(mine())});
    fileTransferMenu(Zmodem, 1);
    ASSERT_TRUE(view.reader()->control().waitPausedAck(2s));
    auto peer = runPeer({"sz", "data.bin"});
    ASSERT_TRUE(
        waitFor([&] { return view.transferDialog()->field(QStringLiteral("length")).toInt() > 0; }, 10000));
    peer->signal(SIGKILL);
    hangUp();
    ASSERT_TRUE(waitForBox(30000));
    EXPECT_EQ(messages->last().caption, QStringLiteral("COM5"));
    EXPECT_NE(messages->last().text, QStringLiteral("(COM5) Receive file ok"));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(mine() + "/data.bin"))); // nothing half kept
    EXPECT_EQ(view.transferDialog(), nullptr);
    EXPECT_FALSE(view.IsBusy());
    EXPECT_TRUE(mainFrame().action(QStringLiteral("fileTransfer"))->isEnabled());
    // The reader took the line back.
    EXPECT_TRUE(waitFor([&] { return !view.reader()->control().waitPausedAck(0ms); }));
    EXPECT_TRUE(view.readerRunning());
}

TEST_F(FileTransferTest, SzOnTheFarEndDownloadsByItselfWhenAutoDownloadIsOn) {
    autoDownload = true;
    slowLine(40000);
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    halvic::CHalvicView& view = child->view();
    const auto data = testData(30000, 9);
    writeFile(peers() + "/data.bin", data);
    auto peer = runPeer({"sz", "data.bin"});
    ASSERT_TRUE(waitFor([&] { return view.transferDialog() != nullptr; }, 10000)) << readLog();
    EXPECT_EQ(view.transferDialog()->objectName(), QStringLiteral("CReceiveFileDlg"));
    EXPECT_EQ(view.transferDialog()->field(QStringLiteral("protocol")), QStringLiteral("ZModem"));
    // The folder first, then the file's name once the sender has given it, while the file arrives.
    EXPECT_TRUE(waitFor([&] {
        auto* dialog = view.transferDialog();
        return dialog && dialog->field(QStringLiteral("fileName")).toStdString() == mine() + "/data.bin";
    }));
    EXPECT_TRUE(dialogs->requests().empty()); // nothing asked
    ASSERT_TRUE(waitForBox()) << readLog();
    EXPECT_EQ(messages->last().caption, QStringLiteral("File Transfer"));
    EXPECT_EQ(messages->last().text, QStringLiteral("(COM5) Receive file ok"));
    EXPECT_EQ(readFile(mine() + "/data.bin"), data);
    EXPECT_EQ(peer->wait(10s), 0);
    EXPECT_FALSE(view.IsBusy());

    // The detector starts clean: a second sz downloads again.
    writeFile(peers() + "/second.bin", data);
    auto again = runPeer({"sz", "second.bin"});
    ASSERT_TRUE(waitFor([&] { return messages->boxes().size() == 2; }, 30000)) << readLog();
    EXPECT_EQ(readFile(mine() + "/second.bin"), data);
}

// Keys typed into a window whose port is busy with a download stay off the line and cost it nothing.
TEST_F(FileTransferTest, KeysTypedDuringAnAutomaticDownloadCostItNothing) {
    autoDownload = true;
    slowLine(3e6);
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    halvic::CHalvicView& view = child->view();
    const auto data = testData(3 * 1024 * 1024, 21);
    writeFile(peers() + "/plain.bin", data);
    writeFile(peers() + "/typed.bin", data);
    const auto download = [&](const std::string& name, int keys) {
        const size_t boxes = messages->boxes().size();
        auto peer = runPeer({"sz", name});
        EXPECT_TRUE(waitFor([&] { return view.transferDialog() != nullptr; }, 10000)) << readLog();
        // From the download's start to its end: the peer's own start is no part of it.
        const auto start = std::chrono::steady_clock::now();
        // The user goes back to the window and types on.
        QApplication::setActiveWindow(&mainFrame());
        view.setFocus();
        for (int typed = 0; typed < keys && view.transferDialog(); ++typed) {
            QWidget* focused = QApplication::focusWidget();
            EXPECT_EQ(focused, &view);
            QTest::keyClick(focused ? focused : &view, Qt::Key_Q);
            QTest::qWait(40);
        }
        EXPECT_TRUE(waitFor([&] { return messages->boxes().size() > boxes; }, 60000)) << readLog();
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(messages->last().text, QStringLiteral("(COM5) Receive file ok"));
        EXPECT_EQ(readFile(mine() + "/" + name), data);
        EXPECT_EQ(peer->wait(10s), 0);
        return std::chrono::duration_cast<std::chrono::milliseconds>(took);
    };
    view.setFocus();
    const auto plain = download("plain.bin", 0);
    const auto typed = download("typed.bin", 15);
    EXPECT_LT(typed.count(), plain.count() * 12 / 10 + 200) << plain.count() << " ms without keys";
    // Hex headers and the receiver's answers only: no typed "q" went out.
    EXPECT_EQ(bridge->sent().find('q'), std::string::npos);
}

TEST_F(FileTransferTest, SzStartsNothingWhenAutoDownloadIsOff) {
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    writeFile(peers() + "/data.bin", testData(1000, 9));
    auto peer = runPeer({"sz", "data.bin"});
    ASSERT_TRUE(
        waitFor([&] { return rowText(child->document(), 0).find("B00000000000000") != std::string::npos; }));
    QTest::qWait(300);
    EXPECT_EQ(child->view().transferDialog(), nullptr);
    EXPECT_FALSE(child->view().IsBusy());
    EXPECT_TRUE(messages->boxes().empty());
}

TEST_F(FileTransferTest, AHeaderArrivingWhileATransferRunsStartsNothing) {
    autoDownload = true;
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    halvic::CHalvicView& view = child->view();
    // Two opening headers in one burst: the first starts the download, the second finds the window busy.
    putTo(far[1], Zrqinit + std::string(100, 'x') + Zrqinit);
    ASSERT_TRUE(waitFor([&] { return view.transferDialog() != nullptr; }));
    halvic::TransferProgressDlg* first = view.transferDialog();
    QTest::qWait(300);
    EXPECT_EQ(view.transferDialog(), first);
    // More headers reach the running receive, not the detector.
    putTo(far[1], Zrqinit);
    QTest::qWait(200);
    click(first);
    ASSERT_TRUE(waitForBox(15000));
    QTest::qWait(300);
    EXPECT_EQ(messages->boxes().size(), 1u);
    EXPECT_EQ(messages->last().text, QStringLiteral("User abort"));
    EXPECT_EQ(view.transferDialog(), nullptr);
}

} // namespace
