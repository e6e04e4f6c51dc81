#include "received_name.h"

#include "received_name_report.h"

namespace {

// Per thread: every transfer runs on one thread, and two ports' transfers never share a listener.
thread_local ReceivedNameListener listener;

} // namespace

void SerialSetReceivedNameListener(ReceivedNameListener l) {
    listener = std::move(l);
}

void seriallib::reportReceivedName(const std::string& name) {
    if (listener)
        listener(name);
}
