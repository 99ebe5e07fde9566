// printf-style formatting into a std::string, for the messages the reader and the checks write,
// and the small text helpers the layers above share.
#pragma once

#include <cstdint>
#include <string>

#if defined(__GNUC__) && !defined(_WIN32)
__attribute__((format(printf, 1, 2)))
#endif
std::string Format(const char* format, ...);

// "(GGGG,EEEE)", as messages name tags.
std::string TagText(uint16_t group, uint16_t element);

// Blanks (spaces) trimmed from both ends.
std::wstring TrimBlanks(const std::wstring& text);
