// Releases a caller's transfer record when the scope that created it ends, also when an
// exception passes. The scope waits for the transfer to end before it leaves normally,
// and an exception out of TransferDone or AwaitTransfer means it has ended (failed), so
// the record is never freed under a running transfer.
#pragma once

#include "BCPort.h"

class TTransferGuard {
  public:
    explicit TTransferGuard(PPortTransfer& Async) : async_(Async) {}
    ~TTransferGuard() { ReleaseTransfer(async_); }
    TTransferGuard(const TTransferGuard&) = delete;
    TTransferGuard& operator=(const TTransferGuard&) = delete;

  private:
    PPortTransfer& async_;
};
