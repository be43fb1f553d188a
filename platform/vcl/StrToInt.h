#pragma once

#include <string>

// Converts a text to a signed 32-bit integer, as the framework's StrToInt does:
//   - leading blanks (spaces and control characters up to ' ') are skipped; trailing
//     ones are not accepted;
//   - an optional sign '+' or '-';
//   - decimal digits, with the value inside the signed 32-bit range
//     (-2147483648 .. 2147483647);
//   - or a hexadecimal number after "$" or "0x"/"0X" of up to 32 bits: $00000000 ..
//     $FFFFFFFF, where values from $80000000 up wrap to negative ones ($FFFFFFFF is -1);
//     a '-' before it negates the 32-bit value ("-$1" is -1).
// Anything else (an empty text, no digits, another character anywhere, a value outside
// those ranges) raises EConvertError "'<text>' is not a valid integer value", the text
// inserted as it stands.
int StrToInt(const std::string& S);
