#include "dicom/io/TextFormat.h"

#include <cstdarg>
#include <cstdio>

std::string Format(const char* format, ...) {
    // Messages are one sentence; a longer one is cut rather than allocated for.
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

std::string TagText(uint16_t group, uint16_t element) { return Format("(%04X,%04X)", group, element); }

std::wstring TrimBlanks(const std::wstring& text) {
    size_t first = 0, last = text.size();
    while (first < last && text[first] == L' ') ++first;
    while (last > first && text[last - 1] == L' ') --last;
    return text.substr(first, last - first);
}
