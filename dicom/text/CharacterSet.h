// Character sets: the Specific Character Set (0008,0005) of a data set chooses the code page
// in which its text values are decoded for display.
#pragma once

#include <cstddef>
#include <string>

// One term of Specific Character Set as the program knows it: the code page its texts decode in
// (0 for the default one), whether the standard defines the term, and whether its characters
// may take more than one byte.
struct CharacterSetTerm {
    const char* term;
    unsigned codePage;
    bool defined;
    bool multiByte;
};

// The row of a term (exact bytes, without padding), or null for a term the program does not know.
const CharacterSetTerm* FindCharacterSetTerm(const char* bytes, std::size_t size);

// Windows code page for a Specific Character Set (0008,0005) text; 0 = system default ANSI.
unsigned CodePageForCharacterSet(const std::wstring& characterSet);

// bytes: NUL-terminated value bytes (the value cut at its first zero byte); null gives "".
// Decodes the whole value with the one code page of the character set.
std::wstring DecodeTextSimple(const char* bytes, const std::wstring& characterSet);

// Decodes a value for display; person names whose "="-separated component groups use
// different character sets of a multi-valued character set decode group by group.
std::wstring DecodeText(const char* bytes, const std::wstring& characterSet);
