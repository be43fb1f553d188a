#pragma once

#include <string>

// Converts a text to a signed 32-bit integer: leading blanks, an optional sign, decimal
// digits or a hexadecimal number after "$" or "0x"/"0X". Anything else, an empty text or a
// value outside the signed 32-bit range raises EConvertError
// "'<text>' is not a valid integer value".
int StrToInt(const std::string& S);
