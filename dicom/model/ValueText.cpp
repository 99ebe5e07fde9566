// Display text and numbers of an element's value.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "dicom/text/CharacterSet.h"
#include "dicom/dictionary/DicomDictionary.h"
#include "dicom/io/ByteOrder.h"
#include "dicom/model/DicomTag.h"

namespace {

// Values are stored in host order, which is little endian on every platform we build for; they
// are read byte by byte (io/ByteOrder.h) so that this holds whatever the alignment.
uint64_t Little64(const uint8_t* p) {
    return static_cast<uint64_t>(Little32(p)) | (static_cast<uint64_t>(Little32(p + 4)) << 32);
}
float LittleFloat(const uint8_t* p) {
    const uint32_t bits = Little32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
double LittleDouble(const uint8_t* p) {
    const uint64_t bits = Little64(p);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// "%d " of a number, without the cost of a formatted print.
void AppendInteger(std::wstring& text, int64_t value) {
    wchar_t digits[24];
    wchar_t* end = digits + 24;
    wchar_t* p = end;
    const bool negative = value < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        *--p = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) *--p = L'-';
    text.append(p, end);
    text += L' ';
}

std::wstring Widen(const char* text) {
    std::wstring wide;
    for (const char* p = text; *p != 0; ++p) wide += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return wide;
}

int32_t ClampToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);  // truncates toward zero
}

bool IsDecimalChar(char c) {
    return (c >= '0' && c <= '9') || c == ' ' || c == '+' || c == '-' || c == '.' || c == 'E' ||
           c == 'e';
}

// One unit of a binary value as shown: "%d " for an integer, "%f " for a float.
void AppendNumber(std::wstring& text, const uint8_t* q, size_t unit, VRNumbers numbers) {
    const bool isSigned = numbers == VRNumbers::Signed;
    if (numbers == VRNumbers::Float) {
        char buffer[512];
        std::snprintf(buffer, sizeof buffer, "%f ", unit == 4 ? static_cast<double>(LittleFloat(q)) : LittleDouble(q));
        text += Widen(buffer);
    } else if (unit == 2) {
        AppendInteger(text, isSigned ? int64_t(static_cast<int16_t>(Little16(q))) : int64_t(Little16(q)));
    } else {
        AppendInteger(text, isSigned ? int64_t(static_cast<int32_t>(Little32(q))) : int64_t(Little32(q)));
    }
}

}  // namespace

double ParseDecimalString(const char* text) {
    // Only the characters of a decimal number take part; anything else ends the text, so
    // locale words such as "inf" or hexadecimal forms are never read.
    std::string cut;
    for (const char* p = text; *p != 0 && IsDecimalChar(*p); ++p) cut += *p;
    const char* start = cut.c_str();
    while (*start == ' ') ++start;
    char* end = nullptr;
    const double value = std::strtod(start, &end);
    if (end == start) return 0.0;
    return value;
}

int32_t ParseIntegerString(const char* text) {
    while (*text == ' ') ++text;
    if (*text == 0) return 0;
    std::string cut;
    for (const char* p = text; *p != 0; ++p) {
        const char c = *p;
        if ((c >= '0' && c <= '9') || c == ' ' || c == '-') {
            cut += c;
            continue;
        }
        if (c == '+' || c == '.' || c == 'E' || c == 'e') return ClampToInt32(ParseDecimalString(text));
        break;
    }
    // Read like "%d": optional sign, then digits; saturate instead of overflowing.
    const char* p = cut.c_str();
    while (*p == ' ') ++p;
    bool negative = false;
    if (*p == '-') {
        negative = true;
        ++p;
    }
    if (*p < '0' || *p > '9') return 0;
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > 2147483648LL) value = 2147483648LL;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) value = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value);
}

const std::wstring& CDicomTag::GetTagName() const {
    // Every (gggg,0000) is a group length, in groups the dictionary lists and
    // in all others (private ones among them): the name it got at construction.
    if (m_element == 0x0000) return *m_description;
    return CDicomDictionary::Instance().GetName(FoldRepeatingGroup(m_group), m_element);
}

HeapArray<char> CDicomTag::CopyValueBytes() const {
    const uint32_t length = GetValueLength();
    if (length == kUndefinedLength) return nullptr;
    // Room for the value's bytes only: items and sequences keep no bytes of their own, and the
    // length they declare comes from the file unchecked (a defined-length item may claim more
    // than the file holds), so it must not size the block. Past those bytes the copy would be
    // zeros anyway, which the terminating zero already says.
    const size_t available = GetValueByteCount();
    const size_t count = available < length ? available : length;
    HeapArray<char> copy(static_cast<char*>(std::calloc(count + 1, 1)));
    if (copy == nullptr) return nullptr;
    if (!ReadValueBytes(0, reinterpret_cast<uint8_t*>(copy.get()), count)) copy.get()[0] = 0;
    return copy;
}

int32_t CDicomTag::GetNumericValue() const {
    const std::wstring& vr = GetVRText();
    const uint32_t length = GetValueLength();
    if (IsIntegerVR(m_vr.GetCode()) || vr.empty()) {
        uint8_t bytes[4];
        if (length > 4 || GetValueByteCount() < length || !ReadValueBytes(0, bytes, length)) return 0;
        switch (length) {
            case 1: return static_cast<int8_t>(bytes[0]);
            case 2: return static_cast<int16_t>(Little16(bytes));
            case 4: return static_cast<int32_t>(Little32(bytes));
            default: return 0;
        }
    }
    if (IsISVR(m_vr.GetCode()) || IsDSVR(m_vr.GetCode())) {
        const HeapArray<char> text = CopyValueBytes();
        if (text == nullptr) return 0;
        return IsISVR(m_vr.GetCode()) ? ParseIntegerString(text.get()) : ClampToInt32(ParseDecimalString(text.get()));
    }
    return 0;
}

double CDicomTag::GetFloatValue() const {
    if (!IsFloatVR(m_vr.GetCode())) return 0.0;
    const uint32_t length = GetValueLength();
    uint8_t bytes[8];
    if ((length != 4 && length != 8) || GetValueByteCount() < length || !ReadValueBytes(0, bytes, length)) return 0.0;
    return length == 4 ? LittleFloat(bytes) : LittleDouble(bytes);
}

double CDicomTag::GetDecimalValue() const {
    if (!IsDSVR(m_vr.GetCode())) return 0.0;
    const HeapArray<char> text = CopyValueBytes();
    if (text == nullptr) return 0.0;
    return ParseDecimalString(text.get());
}

namespace {

// Calls show(bytes, count) over the first `count` bytes of the value: once over the held block,
// or chunk by chunk (each a multiple of 8 bytes but the last) for a value left in the file.
// False when a chunk cannot be read.
template <typename Show>
bool ForEachChunk(const CDicomTag& tag, const uint8_t* held, size_t count, Show show) {
    if (held != nullptr || count == 0) {
        show(held, count);
        return true;
    }
    constexpr size_t kChunk = size_t(64) << 10;
    std::vector<uint8_t> chunk(count < kChunk ? count : kChunk);
    for (size_t from = 0; from < count; from += chunk.size()) {
        const size_t n = count - from < chunk.size() ? count - from : chunk.size();
        if (!tag.ReadValueBytes(from, chunk.data(), n)) return false;
        show(chunk.data(), n);
    }
    return true;
}

}  // namespace

std::wstring CDicomTag::GetValueText(const std::wstring& characterSet) const {
    const uint32_t length = GetValueLength();
    if (length == 0) return std::wstring();
    const std::wstring& vr = GetVRText();
    const bool deferred = m_value.IsDeferred();
    const uint8_t* bytes = m_value.GetBytes();
    // Only whole bytes of the value are ever read, whatever the length slots claim.
    const size_t available = GetValueByteCount();
    const size_t count = available < length ? available : length;
    // A value left in the file has its first bytes (up to 128) read here when the text needs them.
    uint8_t first[128];
    auto readFirst = [&](size_t n) {
        if (!deferred) return;
        bytes = first;
        if (!ReadValueBytes(0, first, n)) bytes = nullptr;
    };

    if (vr.empty()) {
        // The dictionary does not know the tag and the file gave no VR: a short value with a
        // byte outside the printable range is taken for a number, anything else for text.
        if (length == 1 || length == 2 || length == 4 || length == 8) {
            readFirst(count);
            const size_t shown = bytes == nullptr ? 0 : count;
            bool binary = false;
            for (size_t i = 0; i < shown; ++i)
                if (bytes[i] < 0x20 || bytes[i] > 0xC8) binary = true;
            if (binary) {
                char buffer[32];
                std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(GetNumericValue()));
                return Widen(buffer);
            }
        }
    } else if (m_vr.Is(VRKind::OB) || m_vr.Is(VRKind::OW)) {
        return IsPixelData() ? L"(Frame Data)" : L"(Sequence Data)";
    } else if (m_vr.Is(VRKind::SQ)) {
        return L"(Sequence Data)";
    } else if (m_vr.GetInfo() != nullptr && !m_vr.GetInfo()->text) {
        // A binary VR the table knows: its numbers as the table says.
        const VRInfo& info = *m_vr.GetInfo();
        const size_t unit = info.numberUnit;
        std::wstring text;
        bool ok = true;
        switch (info.numbers) {
            case VRNumbers::Unsigned:
            case VRNumbers::Signed:
            case VRNumbers::Float:
                // Each whole unit joined with "\" (a chunk is a whole number of units but the last).
                ok = ForEachChunk(*this, bytes, count, [&](const uint8_t* p, size_t n) {
                    for (size_t offset = 0; offset + unit <= n; offset += unit) {
                        if (!text.empty()) text += L'\\';
                        AppendNumber(text, p + offset, unit, info.numbers);
                    }
                });
                break;
            case VRNumbers::TagPair: {
                // A value too short for one tag shows nothing rather than bytes beyond it.
                if (count < unit) return std::wstring();
                readFirst(unit);
                if (bytes == nullptr) return std::wstring();
                const uint32_t word = Little32(bytes);
                char buffer[32];
                std::snprintf(buffer, sizeof buffer, "%04X, %04X", static_cast<unsigned>(word & 0xFFFF),
                              static_cast<unsigned>(word >> 16));
                return Widen(buffer);
            }
            case VRNumbers::None:
                break;
        }
        return ok ? text : std::wstring();
    }

    if (length >= 128) return L"(Long Size Data)";
    // What CopyValueBytes would give, on the stack: the value's bytes, at most the length, ended
    // by a zero.
    char text[128];
    size_t shown = count;
    if (deferred) {
        if (!ReadValueBytes(0, reinterpret_cast<uint8_t*>(text), count)) shown = 0;
    } else if (count != 0) {
        std::memcpy(text, bytes, count);
    }
    text[shown] = 0;
    return DecodeText(text, characterSet);
}
