#include "PortErrors.h"

#include "messenger.h"
#include "seriallib.h"

#include <cerrno>
#include <cstring>

namespace halvic {

QString PortErrorText(int code) {
    switch (code) {
    case SerialErrNotOpen:
        return QStringLiteral("No such port or port is not opened in advance");
    case SerialErrNotBoard:
        return QStringLiteral("The board is not the BREL compatible intelligend board");
    case SerialErrNoData:
        return QStringLiteral("No data to read or no buffer to write");
    case SerialErrOccupied:
        return QStringLiteral("No such port or port is occupied by other program");
    case SerialErrHwFlow:
        return QStringLiteral("Can't Set by H/W Flowctrl");
    case SerialErrBadParam:
        return QStringLiteral("Bad parameter");
    case SerialErrSystem:
        return {};
    default:
        return QStringLiteral("Unknown Error:%1").arg(code);
    }
}

int ReportPortError(const QString& caption, int code) {
    if (code == SerialErrSystem)
        return ShowSystemError(caption);
    gui::messenger().show(caption, PortErrorText(code), gui::Icon::Information);
    return 0;
}

int ShowSystemError(const QString& caption) {
    const int code = errno;
    gui::messenger().show(caption, QString::fromLocal8Bit(std::strerror(code)), gui::Icon::Warning);
    return code;
}

} // namespace halvic
