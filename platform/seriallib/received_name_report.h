#pragma once
// Inside the library: tells the receiving thread's listener (if any) the name of a file it starts.

#include <string>

namespace seriallib {

void reportReceivedName(const std::string& name);

} // namespace seriallib
