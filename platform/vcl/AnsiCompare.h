// Locale-aware, case-insensitive text order shared by AnsiCompareText and the string
// list's sort. Internal to the framework.
#pragma once

#include <string>

// A key whose plain comparison (<, ==) gives the order of AnsiCompareText: the UTF-8 text
// decoded, each character case-folded, then transformed by the user's collation.
std::wstring AnsiSortKey(const std::string& Text);
