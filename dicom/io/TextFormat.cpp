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
