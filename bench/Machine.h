// Where a run took place: figures mean little without the machine and the day.
#pragma once

#include <string>

namespace bench {

// "2 CPUs, Linux 6.1.0, AMD EPYC, 2024-05-01 12:00 UTC"
std::string DescribeMachine();

// What one trivial system call (getppid) costs here, in microseconds: the component's
// figures are dominated by system calls, whose price differs widely between bare metal
// and virtual machines.
double SyscallMicroseconds();

} // namespace bench
