#include "tests/support/DicomWriter.h"

#include <cctype>
#include <cstring>
#include <filesystem>
#include <stdexcept>

DicomWriter& DicomWriter::Mode(bool explicitVR, bool littleEndian) {
    m_explicitVR = explicitVR;
    m_littleEndian = littleEndian;
    return *this;
}

DicomWriter& DicomWriter::Preamble() {
    m_bytes.insert(m_bytes.end(), 128, 0);
    return Raw(std::string("DICM"));
}

DicomWriter& DicomWriter::Meta(const std::string& transferSyntax) {
    const bool explicitVR = m_explicitVR, littleEndian = m_littleEndian;
    Mode(true, true);
    Element(0x0002, 0x0001, "OB", BytesOf({0x00, 0x01}));
    Element(0x0002, 0x0002, "UI", std::string("1.2.840.10008.5.1.4.1.1.7", 26));
    Element(0x0002, 0x0003, "UI", std::string("1.2.3.4"));
    std::string syntax = transferSyntax;
    if (syntax.size() % 2) syntax += '\0';
    Element(0x0002, 0x0010, "UI", syntax);
    return Mode(explicitVR, littleEndian);
}

bool DicomWriter::LongForm(const char* vr) {
    static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ",
                                        "SV", "UC", "UN", "UR", "UT", "UV"};
    // Compared without regard to case, as the parser upper-cases the VR it reads.
    const char upper[2] = {static_cast<char>(std::toupper(static_cast<unsigned char>(vr[0]))),
                           static_cast<char>(vr[0] ? std::toupper(static_cast<unsigned char>(vr[1])) : 0)};
    for (const char* code : kLong)
        if (std::strncmp(upper, code, 2) == 0) return true;
    return false;
}

void DicomWriter::Put16(uint16_t value) {
    if (m_littleEndian) {
        m_bytes.push_back(value & 0xFF);
        m_bytes.push_back(value >> 8);
    } else {
        m_bytes.push_back(value >> 8);
        m_bytes.push_back(value & 0xFF);
    }
}

void DicomWriter::Put32(uint32_t value) {
    if (m_littleEndian) {
        Put16(value & 0xFFFF);
        Put16(value >> 16);
    } else {
        Put16(value >> 16);
        Put16(value & 0xFFFF);
    }
}

void DicomWriter::Patch32(size_t at, uint32_t value) {
    std::vector<uint8_t> saved(m_bytes.begin() + at + 4, m_bytes.end());
    m_bytes.resize(at);
    Put32(value);
    m_bytes.insert(m_bytes.end(), saved.begin(), saved.end());
}

DicomWriter& DicomWriter::Tag(uint16_t group, uint16_t element) {
    Put16(group);
    Put16(element);
    return *this;
}

DicomWriter& DicomWriter::U16(uint16_t value) {
    Put16(value);
    return *this;
}

DicomWriter& DicomWriter::U32(uint32_t value) {
    Put32(value);
    return *this;
}

DicomWriter& DicomWriter::Header(uint16_t group, uint16_t element, const char* vr, uint32_t length) {
    m_headers.push_back(m_bytes.size());
    Tag(group, element);
    if (m_explicitVR) {
        m_bytes.push_back(static_cast<uint8_t>(vr[0]));
        m_bytes.push_back(static_cast<uint8_t>(vr[1]));
        if (LongForm(vr)) {
            Put16(0);
            Put32(length);
        } else {
            Put16(static_cast<uint16_t>(length));
        }
    } else {
        Put32(length);
    }
    return *this;
}

DicomWriter& DicomWriter::Element(uint16_t group, uint16_t element, const char* vr, const std::string& value) {
    Header(group, element, vr, static_cast<uint32_t>(value.size()));
    return Raw(value);
}

DicomWriter& DicomWriter::Element(uint16_t group, uint16_t element, const char* vr,
                                  const std::vector<uint8_t>& value) {
    Header(group, element, vr, static_cast<uint32_t>(value.size()));
    return Raw(value);
}

DicomWriter& DicomWriter::US(uint16_t group, uint16_t element, uint16_t value) {
    Header(group, element, "US", 2);
    Put16(value);
    return *this;
}

DicomWriter& DicomWriter::BeginSequence(uint16_t group, uint16_t element, bool undefined, const char* vr) {
    Header(group, element, vr, undefined ? 0xFFFFFFFFu : 0);
    m_open.push_back(Open{m_bytes.size() - 4, m_bytes.size(), undefined, false});
    return *this;
}

DicomWriter& DicomWriter::BeginItem(bool undefined) {
    m_headers.push_back(m_bytes.size());
    Tag(0xFFFE, 0xE000);
    Put32(undefined ? 0xFFFFFFFFu : 0);
    m_open.push_back(Open{m_bytes.size() - 4, m_bytes.size(), undefined, true});
    return *this;
}

void DicomWriter::End(bool item) {
    if (m_open.empty() || m_open.back().item != item) throw std::logic_error("unbalanced sequence/item");
    const Open open = m_open.back();
    m_open.pop_back();
    if (open.undefined) {
        Tag(0xFFFE, item ? 0xE00D : 0xE0DD);
        Put32(0);
    } else {
        Patch32(open.lengthAt, static_cast<uint32_t>(m_bytes.size() - open.valueStart));
    }
}

DicomWriter& DicomWriter::EndSequence() {
    End(false);
    return *this;
}

DicomWriter& DicomWriter::EndItem() {
    End(true);
    return *this;
}

DicomWriter& DicomWriter::BeginFragments(const std::vector<uint8_t>& offsetTable) {
    Header(0x7FE0, 0x0010, "OB", 0xFFFFFFFFu);
    return Fragment(offsetTable);
}

DicomWriter& DicomWriter::Fragment(const std::vector<uint8_t>& bytes) {
    m_headers.push_back(m_bytes.size());
    Tag(0xFFFE, 0xE000);
    Put32(static_cast<uint32_t>(bytes.size()));
    return Raw(bytes);
}

DicomWriter& DicomWriter::EndFragments() {
    Tag(0xFFFE, 0xE0DD);
    Put32(0);
    return *this;
}

DicomWriter& DicomWriter::Raw(const std::vector<uint8_t>& bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return *this;
}

DicomWriter& DicomWriter::Raw(const std::string& bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return *this;
}

DicomWriter& DicomWriter::Filler(int count) {
    for (int i = 0; i < count; ++i) Element(0x0011, static_cast<uint16_t>(0x1010 + i), "LO", std::string("FILL"));
    return *this;
}

FILE* DicomWriter::OpenStream() const {
    FILE* stream = std::tmpfile();
    if (stream == nullptr) return nullptr;
    if (!m_bytes.empty()) std::fwrite(m_bytes.data(), 1, m_bytes.size(), stream);
    std::rewind(stream);
    return stream;
}

std::string DicomWriter::WriteTempFile(const std::string& name) const {
    const std::filesystem::path path = std::filesystem::temp_directory_path() / ("orvel-test-" + name);
    FILE* file = std::fopen(path.string().c_str(), "wb");
    if (file == nullptr) throw std::runtime_error("cannot write " + path.string());
    if (!m_bytes.empty()) std::fwrite(m_bytes.data(), 1, m_bytes.size(), file);
    std::fclose(file);
    return path.string();
}

std::vector<uint8_t> BytesOf(std::initializer_list<int> values) {
    std::vector<uint8_t> bytes;
    for (int value : values) bytes.push_back(static_cast<uint8_t>(value));
    return bytes;
}

std::wstring WidePath(const std::string& path) { return std::wstring(path.begin(), path.end()); }
