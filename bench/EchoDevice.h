// The far end of the round trips: a thread that holds the pty master, blocks in
// poll/read until 3 bytes have come, and answers with those 3 bytes in one write.
#pragma once

#include <thread>

namespace bench {

class EchoDevice {
  public:
    explicit EchoDevice(int master); // starts the thread; throws when it cannot
    ~EchoDevice();                   // stops and joins it
    EchoDevice(const EchoDevice&) = delete;
    EchoDevice& operator=(const EchoDevice&) = delete;

  private:
    void Run();

    int master_;
    int stop_ = -1; // eventfd: readable once the thread must end
    std::thread thread_;
};

} // namespace bench
