// The stored settings of the window's port component, restored when the window is made.
#pragma once

class TBComPort;

// Restores BComPort1's settings in their stored order (they equal the component's
// defaults, so this changes nothing on a new component; it keeps the design explicit).
void RestoreBComPort1Design(TBComPort& Port);
