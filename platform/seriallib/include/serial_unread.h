#pragma once
// Bytes handed back to an open port's input by whoever read them and found they belong to the next
// reader: a terminal's reader that read a receiver's request just before a transfer took the port.

#include "seriallib.h"

// The bytes go before anything still unread: the next SerialRead or transfer on the port reads them
// first. SerialFlush of the input drops them, and so does the end of a transfer. 0, or -1 when the
// port is not open, -7 on a negative length, -4 without bytes.
int SerialUnread(int port, const void* bytes, int length);
