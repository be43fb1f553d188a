// The line speed chosen in the rate box.
#pragma once

#include "BCPort.h"

#include <string>

// The rate of the selected entry (the entries are in TBaudRate order). With no entry
// selected, the typed text when it names one of the fifteen rates; otherwise raises
// Exception with a text naming what was typed. Never looks outside the rate table.
TBaudRate BaudRateFromChoice(int SelectedEntry, const std::string& TypedText);
