// A transfer record held for a scope. Declare it before the port it is used with, so that
// the port (and its event thread) is gone before the record is released.
#pragma once

#include "BCPort.h"

namespace bench {

class TransferRecord {
  public:
    TransferRecord() { CreateTransfer(record_); }
    ~TransferRecord() { ReleaseTransfer(record_); }
    TransferRecord(const TransferRecord&) = delete;
    TransferRecord& operator=(const TransferRecord&) = delete;
    PPortTransfer& get() { return record_; }

  private:
    PPortTransfer record_ = nullptr;
};

} // namespace bench
