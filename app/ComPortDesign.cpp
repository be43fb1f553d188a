#include "ComPortDesign.h"

#include "BCPort.h"

void RestoreBComPort1Design(TBComPort& Port) {
    Port.SetBaudRate(br9600);
    Port.SetByteSize(bs8);
    Port.SetInBufSize(2048);
    Port.SetOutBufSize(2048);
    Port.SetParity(paNone);
    Port.SetPort("COM2");
    Port.SetSyncMethod(smThreadSync);
    Port.SetStopBits(sb1);
    TComTimeouts& timeouts = *Port.Timeouts();
    timeouts.SetReadInterval(-1);
    timeouts.SetReadTotalMultiplier(0);
    timeouts.SetReadTotalConstant(0);
    timeouts.SetWriteTotalMultiplier(100);
    timeouts.SetWriteTotalConstant(1000);
}
