// Opening the port under measurement. The Linux layer may release a closed device (its
// descriptor and locks) a moment after Close returns, on its background thread; an open
// right after a close can then be refused as busy. The bench waits and tries again rather
// than end the run, and counts how often that happened so that the figure stays visible.
#pragma once

#include "BCPort.h"

namespace bench {

// Open; refused as busy, tries again every 100 us for up to 2 s, then lets the refusal out.
void OpenPort(TBComPort& port);

// Opens that were refused as busy at first.
long DelayedOpens();

} // namespace bench
