// The progress callbacks' slot table and the texts that end a transfer.
#include "ActiveTransferTable.h"
#include "seriallib.h"
#include "TransferReport.h"

#include <QThread>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

using namespace halvic;

namespace {

// Runs the calls on a registered worker thread, as the library would; returns what the dialog got.
struct Calls {
    std::vector<TransferProgress> shown;
    std::vector<int> answers;
};

Calls runOnWorker(const std::vector<std::pair<int, int>>& calls, std::shared_ptr<TransferStop> stop,
                  bool registered = true) {
    Calls run;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        for (auto [done, total] : calls)
            run.answers.push_back(ReceiveProgress(done, 0, 0, total));
    }));
    const int slot = registered
                         ? RegisterTransfer(
                               worker.get(), [&](const TransferProgress& p) { run.shown.push_back(p); },
                               std::move(stop), "name.bin")
                         : -1;
    worker->start();
    worker->wait();
    UnregisterTransfer(slot);
    return run;
}

TEST(TransferProgress, ADialogHearsOnlyOfANewDoneCount) {
    ResetTransfers();
    const Calls run =
        runOnWorker({{0, 1024}, {0, 1024}, {512, 1024}, {512, 1024}, {1024, 1024}, {1024, 1024}},
                    std::make_shared<TransferStop>());
    // The slot starts at 0, so the first 0 is no news either.
    ASSERT_EQ(run.shown.size(), 2u);
    EXPECT_EQ(run.shown[0].percent, 50);
    EXPECT_EQ(run.shown[0].done, 512);
    EXPECT_EQ(run.shown[0].path, "name.bin");
    EXPECT_EQ(run.shown[1].percent, 100);
    EXPECT_EQ(run.answers, (std::vector<int>(6, 0)));
}

TEST(TransferProgress, AnUnknownTotalShowsZeroPercent) {
    ResetTransfers();
    const Calls run = runOnWorker({{300, 0}, {700, -1}}, std::make_shared<TransferStop>());
    ASSERT_EQ(run.shown.size(), 2u);
    EXPECT_EQ(run.shown[0].percent, 0);
    EXPECT_EQ(run.shown[1].percent, 0);
}

TEST(TransferProgress, AStopOrAMissingSlotAborts) {
    ResetTransfers();
    auto stop = std::make_shared<TransferStop>();
    stop->set();
    EXPECT_EQ(runOnWorker({{10, 100}}, stop).answers, std::vector<int>{-1});
    EXPECT_EQ(runOnWorker({{10, 100}}, nullptr, false).answers, std::vector<int>{-1});
}

TEST(TransferProgress, AFullTableRefusesAndFreedSlotsServeAgain) {
    ResetTransfers();
    std::vector<int> tokens(TransferSlots + 1);
    for (int i = 0; i < TransferSlots; ++i)
        ASSERT_EQ(RegisterTransfer(&tokens[i], {}, nullptr, {}), i);
    EXPECT_EQ(RegisterTransfer(&tokens[TransferSlots], {}, nullptr, {}), -1);
    UnregisterTransfer(7);
    UnregisterTransfer(-1);
    EXPECT_EQ(RegisterTransfer(&tokens[TransferSlots], {}, nullptr, {}), 7);
    ResetTransfers();
    EXPECT_EQ(RegisterTransfer(&tokens[0], {}, nullptr, {}), 0);
    ResetTransfers();
}

struct TextRow {
    const char* name;
    int result;
    int receiveCode;
    int direction;
    const char* caption;
    const char* text;
};

const TextRow TextRows[] = {
    {"TransmitOk", 0, 0, DirectionTransmit, "File Transfer", "(COM3) Transmit file ok"},
    {"ReceiveOk", 1, 106, DirectionReceive, "File Transfer", "(COM3) Receive file ok"},
    {"PortNotOpen", TransferErrNotOpen, 0, DirectionTransmit, "COM3", "Port is not opened in advance"},
    {"TransmitTimeout", TransferErrTimeout, 0, DirectionTransmit, "COM3", "Transmit timeout"},
    {"ReceiveTimeout", TransferErrTimeout, 104, DirectionReceive, "COM3", "Receive timeout"},
    {"TransmitUserAbort", TransferErrUserAbort, 0, DirectionTransmit, "COM3", "User abort"},
    {"ReceiveAborted", TransferErrAborted, 103, DirectionReceive, "COM3", "User abort"},
    {"UserAbortAfterTheFileCame", TransferErrUserAbort, 100, DirectionReceive, "File Transfer",
     "(COM3) Receive file ok"},
    {"AbortedAfterTheFileCame", TransferErrAborted, 100, DirectionReceive, "File Transfer",
     "(COM3) Receive file ok"},
    {"TransmitAbortedWhateverTheReceiveCode", TransferErrAborted, 100, DirectionTransmit, "COM3",
     "User abort"},
    {"ReceiveFileError", TransferErrFile, 101, DirectionReceive, "COM3", "Can't open file"},
    {"RemoteAbort", TransferErrRemoteAbort, 0, DirectionTransmit, "COM3", "Remote side abort"},
    {"ZmodemBufferTooSmall", TransferErrZmodemBuffer, 106, DirectionReceive, "COM3",
     "Using ZModem protocol,your COM port receive buffer size \nhave to be larger than 2K bytes\n"},
    {"ProtocolError", TransferErrProtocol, 0, DirectionTransmit, "COM3", "File transfer error"},
    {"UnknownCode", -77, 0, DirectionTransmit, "COM3", "File transfer error"},
};

class TransferReportText : public testing::TestWithParam<TextRow> {};

TEST_P(TransferReportText, EveryResultHasItsText) {
    const TextRow& row = GetParam();
    const TransferMessage m = TransferResultMessage(3, row.result, row.receiveCode, row.direction, 0);
    EXPECT_EQ(m.caption, QString::fromLatin1(row.caption)) << row.result;
    EXPECT_EQ(m.text, QString::fromLatin1(row.text)) << row.result << " " << row.receiveCode;
}

INSTANTIATE_TEST_SUITE_P(TransferReport, TransferReportText, testing::ValuesIn(TextRows),
                         [](const testing::TestParamInfo<TextRow>& i) { return std::string(i.param.name); });

TEST(TransferReport, ASystemErrorShowsItsText) {
    const TransferMessage system = TransferResultMessage(3, TransferErrSystem, 0, DirectionReceive, ENOSPC);
    EXPECT_EQ(system.caption, QStringLiteral("COM3"));
    EXPECT_EQ(system.text, QString::fromLocal8Bit(std::strerror(ENOSPC)));
}

} // namespace
