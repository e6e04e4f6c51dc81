#pragma once
// The names of the files a batch receive starts, for whoever shows them while the file arrives.

#include <functional>
#include <string>

// Called on the receiving thread with each file's name (as it will be stored, without the folder)
// once the sender has given it; it must only post. The listener belongs to the calling thread: set
// it before the File* call on the same thread; an empty one clears it.
using ReceivedNameListener = std::function<void(const std::string& name)>;
void SerialSetReceivedNameListener(ReceivedNameListener listener);
