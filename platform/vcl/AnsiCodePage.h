// The system's ANSI code page (Windows-1251): the one-byte text that goes on the line.
#pragma once

#include <string>

// Converts UTF-8 text to Windows-1251, one byte per character. A character that the code
// page lacks, and every malformed UTF-8 sequence, becomes "?".
std::string Utf8ToAnsi(const std::string& Text);
