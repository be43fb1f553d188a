#include "PtyCycles.h"

#include "BCPort.h"
#include "PtyPair.h"
#include "Pump.h"

#include <gtest/gtest.h>

void ExpectOpenCloseCyclesLeakNothing(int cycles) {
    PtyPair pty;
    TBComPort port(nullptr);
    port.SetPort(pty.SlavePath());
    ASSERT_TRUE(port.Open()); // warm up lazily created parts of the layer
    ASSERT_TRUE(port.Close());
    const int descriptors = OpenDescriptorCount();
    const int threads = ThreadCount();
    for (int i = 0; i < cycles; ++i) {
        ASSERT_TRUE(port.Open());
        ASSERT_TRUE(port.Close());
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_TRUE(PumpUntil([&] { return ThreadCount() == threads; }));
}
