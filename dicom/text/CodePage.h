// Code-page conversion beneath the character-set rules.
//
// Code pages are Windows code-page numbers; 0 is the system's default ANSI code page. On
// Windows the conversions are MultiByteToWideChar and WideCharToMultiByte with flags 0
// (codepage_win32.cpp). Elsewhere (codepage_posix.cpp) each code page behaves as Windows
// does for it, including the characters Windows gives to bytes that do not decode, and
// code page 0 is Windows-1252 as Windows maps it.
//
// Wide text is UTF-16 on Windows and UTF-32 elsewhere.
#pragma once

#include <cstdint>
#include <string>

// Converts bytes (no zero byte among them) in the code page to wide text. Bytes that do not
// decode become replacement characters, as Windows does it. False, with empty text, when the
// code page is not supported or the conversion fails.
bool ConvertCodePageToWide(unsigned codePage, const std::string& bytes, std::wstring& text);

// Converts wide text to bytes in the default ANSI code page (code page 0). A character
// that code page lacks becomes '?' (Windows may pick a look-alike instead); text that was
// read from code page 0 always converts back to the bytes it came from when code page 0 is a
// single-byte code page. False, with empty bytes, when the conversion fails.
bool ConvertWideToDefaultCodePage(const std::wstring& text, std::string& bytes);

// The code page that 0 stands for: GetACP() on Windows, 1252 elsewhere.
unsigned GetDefaultAnsiCodePage();

// ---- Portable pieces shared by both platform files (defined in CharacterSet.cpp) ----

// Appends one Unicode code point to wide text (as a surrogate pair where wchar_t is 16 bits).
void AppendCodePoint(std::wstring& text, char32_t codePoint);

// Rewrites ISO-2022-JP bytes (code page 50222: ASCII, JIS X 0201 Roman and katakana by
// ESC ( I, SO/SI or 8-bit bytes, JIS X 0208 by ESC $ B or ESC $ @) as Shift_JIS bytes to be
// decoded with code page 932. Recognised escape sequences, SO and SI vanish; an unrecognised
// ESC stays as a byte. A code that Shift_JIS cannot carry (a JIS X 0212 character after
// ESC $ ( D, a broken two-byte code, a lone Shift_JIS lead byte) becomes
// kShiftJisUnmappablePair, which code page 932 decodes to its default character U+30FB.
std::string TranscodeIso2022JpToShiftJis(const std::string& bytes);
extern const char kShiftJisUnmappablePair[3];

// Decodes GB18030 (code page 54936) by its byte structure: one byte below 0x80, four bytes
// lead/digit/lead/digit, otherwise a lead byte 0x81-0xFE with the byte after it. The code
// of a unit is looked up with `lookup`, which gets the two-byte code (lead << 8 | trail) or
// the four-byte code (b1 << 24 | b2 << 16 | b3 << 8 | b4) and returns the code point or 0
// for an unassigned code. Unassigned codes, the bytes 0x80 and 0xFF and a lead byte at the
// end each become '?'; so does a lead byte together with a following byte that cannot be
// a trail byte (lookup is not asked then).
using Gb18030Lookup = char32_t (*)(std::uint32_t code);
std::wstring DecodeGb18030(const std::string& bytes, Gb18030Lookup lookup);

// Linear index of a four-byte GB18030 code (81 30 81 30 is 0).
std::uint32_t Gb18030FourByteIndex(std::uint32_t code);
