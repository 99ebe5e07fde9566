// Character sets: the Specific Character Set (0008,0005) of a data set chooses the code page
// in which its text values are decoded for display.
#pragma once

#include <string>

// Windows code page for a Specific Character Set (0008,0005) text; 0 = system default ANSI.
unsigned CodePageForCharacterSet(const std::wstring& characterSet);

// bytes: NUL-terminated value bytes (the value cut at its first zero byte); null gives "".
// Decodes the whole value with the one code page of the character set.
std::wstring DecodeTextSimple(const char* bytes, const std::wstring& characterSet);

// Decodes a value for display; person names whose "="-separated component groups use
// different character sets of a multi-valued character set decode group by group.
std::wstring DecodeText(const char* bytes, const std::wstring& characterSet);
