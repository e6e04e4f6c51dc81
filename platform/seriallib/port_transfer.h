#pragma once
// How the File* entry points reach an open port: a transfer on its channel, one file out, or
// whatever the sender offers into a folder.

#include "receive_folder.h"
#include "seriallib.h"
#include "transfer_context.h"

#include <functional>
#include <string>

namespace seriallib {

// Runs body on the port's channel with a transfer context of the port's abort flags.
int runOnPort(int port, TransferProgressCallback callback, const std::function<int(TransferContext&)>& body);

// Sends the file at path on the port's channel; TransferErrFile without a path.
int sendFromPort(int port, const char* path, TransferProgressCallback callback,
                 const std::function<int(TransferContext& ctx, const std::string& path)>& send);

// Receives into the folder *folder on the port's channel; TransferErrFile without a usable folder.
int receiveIntoFolder(int port, const char** folder, TransferProgressCallback callback,
                      const std::function<int(TransferContext& ctx, IncomingFiles& files)>& receive);

} // namespace seriallib
