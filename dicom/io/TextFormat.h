// printf-style formatting into a std::string, for the messages the reader and the checks write.
#pragma once

#include <string>

#if defined(__GNUC__) && !defined(_WIN32)
__attribute__((format(printf, 1, 2)))
#endif
std::string Format(const char* format, ...);
