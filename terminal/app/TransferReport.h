// The message that ends a file transfer: "(COMn) Transmit file ok" / "(COMn) Receive file ok", or the
// text of the library's failure code.
#pragma once

#include <QString>

namespace halvic {

enum TransferDirection { DirectionTransmit = 0, DirectionReceive = 1 };

struct TransferMessage {
    QString caption;
    QString text;
};

// result: the library's code; receiveCode 100 + protocol (107 the automatic download); systemError:
// the worker's errno after the call (for -10).
TransferMessage TransferResultMessage(int port, int result, int receiveCode, int direction, int systemError);

// Shows the message of a negative result in a box (caption COMn, information icon).
void ReportTransferError(int port, int result, int receiveCode, int direction, int systemError);

} // namespace halvic
