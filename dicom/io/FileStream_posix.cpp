#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <climits>
#include <string>

#include "dicom/io/FileStream.h"

namespace {

// The wide path as UTF-8, the form file names take on this platform. U+DC80 to U+DCFF, which
// no well-formed text holds, carry the bytes of a name that is not UTF-8: they become those
// bytes again.
std::string Utf8FromWide(const std::wstring& text) {
    // Most paths are ASCII: that part is copied in one pass.
    size_t ascii = 0;
    while (ascii < text.size() && static_cast<uint32_t>(text[ascii]) < 0x80) ++ascii;
    std::string out(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(ascii));
    for (size_t i = ascii; i < text.size(); ++i) {
        uint32_t c = static_cast<uint32_t>(text[i]);
        if (c >= 0xDC80 && c <= 0xDCFF) {
            out += static_cast<char>(c - 0xDC00);
            continue;
        }
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace

FILE* OpenFileForReading(const std::wstring& path) {
    if (path.empty()) return nullptr;
    return std::fopen(Utf8FromWide(path).c_str(), "rb");
}

bool SeekStream(FILE* stream, uint64_t offset) {
    if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
    return fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

int64_t StreamSize(FILE* stream, bool* moved) {
    if (moved != nullptr) *moved = false;
    // A regular file's size is its status's (one call, the position untouched); a directory,
    // which opens here, has none; anything else is measured by seeking to its end.
    struct stat info;
    const int descriptor = fileno(stream);
    if (descriptor >= 0 && fstat(descriptor, &info) == 0) {
        if (S_ISREG(info.st_mode)) return static_cast<int64_t>(info.st_size);
        if (S_ISDIR(info.st_mode)) {
            errno = EISDIR;
            return -1;
        }
    } else if (descriptor >= 0 && errno == EOVERFLOW) {
        return -1;
    }
    if (moved != nullptr) *moved = true;
    if (fseeko(stream, 0, SEEK_END) != 0) return -1;
    return static_cast<int64_t>(ftello(stream));
}
