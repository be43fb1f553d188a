// Open/close cycles on a pseudo-terminal, checking that no descriptor or thread is left.
#pragma once

void ExpectOpenCloseCyclesLeakNothing(int cycles);
