// Test-only writer of byte-exact DICOM files: headers in either VR mode and byte order, defined
// or undefined lengths, items, fragments, odd lengths, raw bytes, and the offsets of what it
// wrote so tests can check the parser's positions.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class DicomWriter {
public:
    DicomWriter(bool explicitVR = true, bool littleEndian = true)
        : m_explicitVR(explicitVR), m_littleEndian(littleEndian) {}

    // Encoding of what is written next.
    DicomWriter& Mode(bool explicitVR, bool littleEndian);
    // 128 zero bytes and "DICM".
    DicomWriter& Preamble();
    // A meta group (explicit VR little endian whatever the mode) naming the transfer syntax;
    // four elements with (0002,0010) last. The mode is left as it was.
    DicomWriter& Meta(const std::string& transferSyntax);

    // One element with the given VR and value bytes (an explicit VR of any two letters).
    DicomWriter& Element(uint16_t group, uint16_t element, const char* vr, const std::string& value);
    DicomWriter& Element(uint16_t group, uint16_t element, const char* vr, const std::vector<uint8_t>& value);
    DicomWriter& US(uint16_t group, uint16_t element, uint16_t value);
    // Header only, with a length of the caller's choice (undefined, too long, ...).
    DicomWriter& Header(uint16_t group, uint16_t element, const char* vr, uint32_t length);

    // Sequences and items; an undefined length ends with its delimiter, a defined one is patched
    // with the byte count when it ends.
    DicomWriter& BeginSequence(uint16_t group, uint16_t element, bool undefined, const char* vr = "SQ");
    DicomWriter& EndSequence();
    DicomWriter& BeginItem(bool undefined);
    DicomWriter& EndItem();

    // Encapsulated pixel data: (7FE0,0010) OB of undefined length, an offset table, fragments.
    DicomWriter& BeginFragments(const std::vector<uint8_t>& offsetTable = {});
    DicomWriter& Fragment(const std::vector<uint8_t>& bytes);
    DicomWriter& EndFragments();

    DicomWriter& Raw(const std::vector<uint8_t>& bytes);
    DicomWriter& Raw(const std::string& bytes);
    DicomWriter& Tag(uint16_t group, uint16_t element);
    DicomWriter& U16(uint16_t value);
    DicomWriter& U32(uint32_t value);

    // Private filler elements (0011,1010) and on, LO "FILL"; six are enough for the
    // minimum element count of a loadable file, in either VR mode.
    DicomWriter& Filler(int count = 6);

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    uint64_t Size() const { return m_bytes.size(); }
    // Offset of the header of the n-th element or item written by Element/Header/Begin* (0-based).
    uint64_t HeaderOffset(size_t n) const { return m_headers.at(n); }

    // Writes the bytes to a new temporary stream, rewound; the caller closes it.
    FILE* OpenStream() const;
    // Writes the bytes to a file under the system's temporary folder and returns its path.
    std::string WriteTempFile(const std::string& name) const;

private:
    struct Open {
        size_t lengthAt;
        size_t valueStart;
        bool undefined;
        bool item;
    };
    static bool LongForm(const char* vr);
    void Put16(uint16_t value);
    void Put32(uint32_t value);
    void Patch32(size_t at, uint32_t value);
    void End(bool item);

    bool m_explicitVR;
    bool m_littleEndian;
    std::vector<uint8_t> m_bytes;
    std::vector<Open> m_open;
    std::vector<uint64_t> m_headers;
};

std::vector<uint8_t> BytesOf(std::initializer_list<int> values);
// Wide form of a test path (ASCII or UTF-8 paths of our own making).
std::wstring WidePath(const std::string& path);
