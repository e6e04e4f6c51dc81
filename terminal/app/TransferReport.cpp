#include "TransferReport.h"

#include "messenger.h"
#include "seriallib.h"
#include "TransferWorker.h"

#include <cstring>

namespace halvic {

namespace {

TransferMessage success(int port, int direction) {
    const QString format = direction == DirectionTransmit ? QStringLiteral("(%1) Transmit file ok")
                                                          : QStringLiteral("(%1) Receive file ok");
    return {QStringLiteral("File Transfer"), format.arg(QStringLiteral("COM%1").arg(port))};
}

} // namespace

TransferMessage TransferResultMessage(int port, int result, int receiveCode, int direction, int systemError) {
    if (result >= 0)
        return success(port, direction);
    const QString caption = QStringLiteral("COM%1").arg(port);
    switch (result) {
    case TransferErrNotOpen:
        return {caption, QStringLiteral("Port is not opened in advance")};
    case TransferErrTimeout:
        return {caption, direction == DirectionTransmit ? QStringLiteral("Transmit timeout")
                                                        : QStringLiteral("Receive timeout")};
    case TransferErrUserAbort:
    case TransferErrAborted:
        // An ASCII receive has no end of its own: stopping it is how it ends.
        if (direction == DirectionReceive && receiveCode == ReceiveCodeBase)
            return success(port, direction);
        return {caption, QStringLiteral("User abort")};
    case TransferErrFile:
        return {caption, QStringLiteral("Can't open file")};
    case TransferErrRemoteAbort:
        return {caption, QStringLiteral("Remote side abort")};
    case TransferErrZmodemBuffer:
        return {caption, QStringLiteral("Using ZModem protocol,your COM port receive buffer size \n"
                                        "have to be larger than 2K bytes\n")};
    case TransferErrSystem:
        return {caption, QString::fromLocal8Bit(std::strerror(systemError))};
    default:
        return {caption, QStringLiteral("File transfer error")};
    }
}

void ReportTransferError(int port, int result, int receiveCode, int direction, int systemError) {
    const TransferMessage m = TransferResultMessage(port, result, receiveCode, direction, systemError);
    gui::messenger().show(m.caption, m.text, gui::Icon::Information);
}

} // namespace halvic
