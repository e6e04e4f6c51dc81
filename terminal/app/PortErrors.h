// Message boxes for the serial library's port codes, captioned with the port name.
#pragma once

#include <QString>

namespace halvic {

// The text of a port function's code; empty for -8, which has no text of its own.
QString PortErrorText(int code);

// Shows the code's message; for -8 the system's text of errno instead (ShowSystemError), whose code
// is then returned. Otherwise 0.
int ReportPortError(const QString& caption, int code);

// Shows the system's text of errno with an exclamation icon and returns the code.
int ShowSystemError(const QString& caption);

} // namespace halvic
