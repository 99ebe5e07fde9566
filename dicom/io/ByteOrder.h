// Numbers from bytes in a given byte order, read byte by byte so that alignment never matters,
// and the encoding (explicit VR or not, byte order) in which a data set stores its headers.
#pragma once

#include <cstddef>
#include <cstdint>

inline uint16_t Little16(const uint8_t* b) { return static_cast<uint16_t>(b[0] | (b[1] << 8)); }
inline uint16_t Big16(const uint8_t* b) { return static_cast<uint16_t>((b[0] << 8) | b[1]); }
inline uint32_t Little32(const uint8_t* b) {
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}
inline uint32_t Big32(const uint8_t* b) {
    return (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
           (static_cast<uint32_t>(b[2]) << 8) | static_cast<uint32_t>(b[3]);
}
inline uint16_t Read16(const uint8_t* b, bool littleEndian) { return littleEndian ? Little16(b) : Big16(b); }
inline uint32_t Read32(const uint8_t* b, bool littleEndian) { return littleEndian ? Little32(b) : Big32(b); }

// Reverses the bytes of every whole unit of `unit` bytes in place (a part of a unit at the end
// stays), for values stored big endian.
inline void SwapUnits(uint8_t* bytes, size_t count, size_t unit) {
    for (size_t offset = 0; offset + unit <= count; offset += unit)
        for (size_t i = 0; i < unit / 2; ++i) {
            const uint8_t keep = bytes[offset + i];
            bytes[offset + i] = bytes[offset + unit - 1 - i];
            bytes[offset + unit - 1 - i] = keep;
        }
}

// How the headers and numbers of a data set are encoded.
struct Encoding {
    bool explicitVR;
    bool littleEndian;

    uint16_t Order16(const uint8_t* b) const { return Read16(b, littleEndian); }
    uint32_t Order32(const uint8_t* b) const { return Read32(b, littleEndian); }
    // The items of an undefined-length UN element: implicit VR little endian in every data set,
    // big-endian ones included.
    static Encoding UnknownItems() { return Encoding{false, true}; }
};
