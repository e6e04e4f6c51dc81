#pragma once
// The batch protocols' entry points share how they reach an open port: one file out, or whatever
// the sender offers into a folder.

#include "receive_folder.h"
#include "seriallib.h"
#include "transfer_context.h"

#include <functional>
#include <string>

namespace seriallib {

// Sends the file at path on the port's channel; TransferErrFile without a path.
int sendFromPort(int port, const char* path, TransferProgressCallback callback,
                 const std::function<int(TransferContext& ctx, const std::string& path)>& send);

// Receives into the folder *folder on the port's channel; TransferErrFile without a usable folder.
int receiveIntoFolder(int port, const char** folder, TransferProgressCallback callback,
                      const std::function<int(TransferContext& ctx, IncomingFiles& files)>& receive);

} // namespace seriallib
