#include "dicom/model/TagArray.h"

#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "dicom/io/TextFormat.h"
#include "dicom/io/ByteOrder.h"

namespace {

bool IsWhiteSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\f' || c == L'\v'; }

}  // namespace

CPixelModule::~CPixelModule() = default;

void CPixelModule::ResetPixelModule() {
    for (int i = 0; i < 3; ++i) {
        m_paletteData[i].reset();
        m_paletteDataLength[i] = 0;
        m_paletteEntries[i] = 0;
        m_paletteBits[i] = 0;
    }
    m_numberOfFrames = 0;
    m_rows = 0;
    m_columns = 0;
    m_bitsAllocated = m_samplesPerPixel = 0;
    m_pixelAspectRatio = 0.0;
    m_pixelRepresentation = 0;
}

CTagArray::~CTagArray() { DeleteAllElements(); }

bool CTagArray::AddElement(CDicomTag* tag) {
    if (tag != nullptr) m_elements.push_back(tag);
    return true;
}

void CTagArray::DeleteAllElements() {
    // Elements made with new first: they may look at children of the store while they go.
    for (CDicomTag* tag : m_elements)
        if (!tag->IsInNodeStore()) delete tag;
    m_elements.clear();
    m_nodeStore.Release();
}

void CTagArray::TakeTree(CTagArray& from) noexcept {
    m_elements.swap(from.m_elements);
    m_nodeStore.Swap(from.m_nodeStore);
    m_valueSource.swap(from.m_valueSource);
}

bool CTagArray::ReadValuesFrom(const uint8_t* bytes, uint64_t size) {
    return m_valueSource == nullptr || m_valueSource->ReadFromMemory(bytes, size);
}

CDicomTag* CTagArray::FindElement(uint16_t group, uint16_t element) const {
    for (CDicomTag* tag : m_elements)
        if (tag->Is(group, element)) return tag;
    return nullptr;
}

std::wstring CTagArray::GetCharacterSet() const {
    const CDicomTag* tag = FindElement(0x0008, 0x0005);
    return tag != nullptr ? tag->GetValueText(std::wstring()) : std::wstring();
}

std::wstring CTagArray::GetModality() const {
    const CDicomTag* tag = FindElement(0x0008, 0x0060);
    if (tag == nullptr) return std::wstring();
    const std::wstring text = tag->GetValueText(GetCharacterSet());
    size_t first = 0, last = text.size();
    while (first < last && IsWhiteSpace(text[first])) ++first;
    while (last > first && IsWhiteSpace(text[last - 1])) --last;
    return text.substr(first, last - first);
}

bool CTagArray::IsUltrasound() const {
    const std::wstring modality = GetModality();
    return modality.size() == 2 && (modality[0] == L'U' || modality[0] == L'u') &&
           (modality[1] == L'S' || modality[1] == L's');
}

std::wstring CTagArray::TrimmedValue(uint16_t group, uint16_t element) const {
    const CDicomTag* tag = FindElement(group, element);
    return tag != nullptr ? TrimBlanks(tag->GetValueText(std::wstring())) : std::wstring();
}

const TransferSyntax* CTagArray::GetTransferSyntax() const {
    if (FindElement(0x0002, 0x0010) == nullptr) return nullptr;
    return FindTransferSyntax(TrimmedValue(0x0002, 0x0010));
}

bool CTagArray::IsPhotometric(const wchar_t* term) const {
    if (FindElement(0x0028, 0x0004) != nullptr) return TrimmedValue(0x0028, 0x0004) == term;
    const std::wstring wanted(term);
    if (wanted == L"RGB") return m_samplesPerPixel == 3;
    if (wanted == L"ARGB") return m_samplesPerPixel == 4;
    if (wanted == L"PALETTE COLOR")
        return (m_samplesPerPixel == 0 || m_samplesPerPixel == 1) && m_paletteData[2] != nullptr;
    return false;
}

void CTagArray::FillPixelModule() {
    ResetPixelModule();
    for (CDicomTag* tag : m_elements) {
        if (tag->GetGroup() > 0x0028) break;
        CollectImageAttribute(tag);
    }
    if (m_numberOfFrames == 0 && m_rows != 0) m_numberOfFrames = 1;
}

void CTagArray::CollectImageAttribute(CDicomTag* tag) {
    const uint16_t group = tag->GetGroup();
    const uint16_t element = tag->GetElement();
    if (group != 0x0028) return;

    // Rows and columns are unsigned 16-bit numbers; keep all 16 bits when the value is 2 bytes.
    auto unsigned16 = [tag]() -> uint32_t {
        const int32_t value = tag->GetNumericValue();
        return tag->GetValueLength() == 2 ? static_cast<uint16_t>(value) : static_cast<uint32_t>(value);
    };
    switch (element) {
        case 0x0008: m_numberOfFrames = static_cast<uint32_t>(tag->GetNumericValue()); break;
        case 0x0010: m_rows = unsigned16(); break;
        case 0x0011: m_columns = static_cast<int32_t>(unsigned16()); break;
        case 0x0100: m_bitsAllocated = static_cast<uint16_t>(tag->GetNumericValue()); break;
        case 0x0002: m_samplesPerPixel = static_cast<uint16_t>(tag->GetNumericValue()); break;
        case 0x0103: m_pixelRepresentation = static_cast<uint8_t>(tag->GetNumericValue()); break;
        case 0x0034: {
            const HeapArray<char> copy = tag->CopyValueBytes();
            if (copy == nullptr) break;
            const char* text = copy.get();
            const size_t length = std::strlen(text);
            const char* backslash = std::strchr(text, '\\');
            if (length != 0 && length <= 128 && std::strchr(text, '/') == nullptr &&
                backslash != nullptr && backslash != text) {
                const std::string first(text, static_cast<size_t>(backslash - text));
                const double vertical = ParseDecimalString(first.c_str());
                const double horizontal = ParseDecimalString(backslash + 1);
                if (vertical != 0.0 && horizontal != 0.0) {
                    const double ratio = vertical / horizontal;
                    if (ratio > 0.1 && ratio < 10.0) m_pixelAspectRatio = ratio;
                }
            }
            break;
        }
        default:
            // The display of these follows the pixel representation: signed or unsigned.
            if (element >= 0x0104 && element <= 0x0111) {
                const std::wstring code = UpperCaseAscii(tag->GetVRText());
                if (code == L"US" && m_pixelRepresentation > 0) tag->SetVR(L"SS");
                else if (code == L"SS" && m_pixelRepresentation == 0) tag->SetVR(L"US");
            }
            break;
    }
}

bool CTagArray::ReadPaletteTables() {
    for (CDicomTag* tag : m_elements) {
        if (tag->GetGroup() != 0x0028) continue;
        const uint16_t element = tag->GetElement();
        int colour = -1;
        if (element >= 0x1101 && element <= 0x1103) {
            colour = element - 0x1101;
            uint8_t bytes[6];
            if (tag->GetValueLength() != 6 || tag->GetValueByteCount() < 6 || !tag->ReadValueBytes(0, bytes, 6)) return false;
            m_paletteEntries[colour] = Little16(bytes);
            m_paletteBits[colour] = Little16(bytes + 4);
            continue;
        }
        if (element == 0x1201 || element == 0x1211 || element == 0x1221) colour = 0;
        else if (element == 0x1202 || element == 0x1212 || element == 0x1222) colour = 1;
        else if (element == 0x1203 || element == 0x1213 || element == 0x1223) colour = 2;
        else continue;

        const uint32_t length = tag->GetValueLength();
        if (length == 0 || length == kUndefinedLength || tag->GetValueByteCount() < length) return false;
        uint32_t& entries = m_paletteEntries[colour];
        uint16_t& bits = m_paletteBits[colour];
        if (entries == 0 && bits != 0) entries = static_cast<uint32_t>(uint64_t(length) * 8 / bits);
        if (entries != 0 && uint64_t(length) != uint64_t(entries) * bits / 8) {
            const uint64_t newBits = uint64_t(length / entries) * 8;
            if (newBits != 8 && newBits != 16) return false;
            bits = static_cast<uint16_t>(newBits);
        }
        std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[length]);
        if (block == nullptr) return false;
        if (!tag->ReadValueBytes(0, block.get(), length)) return false;
        m_paletteData[colour] = std::move(block);
        m_paletteDataLength[colour] = length;
    }
    return m_paletteEntries[0] == m_paletteEntries[1] && m_paletteEntries[1] == m_paletteEntries[2];
}

namespace {
constexpr size_t kCharacterSetChars = 255;
}

std::wstring CharacterSetForChildren(const CDicomTag& element, const std::wstring& inherited) {
    for (const CDicomTag* child : element.GetChildren())
        if (child->Is(0x0008, 0x0005)) return child->GetValueText(std::wstring()).substr(0, kCharacterSetChars);
    return inherited.substr(0, kCharacterSetChars);
}

std::wstring TopLevelCharacterSet(const CTagArray& dataSet) {
    return dataSet.GetCharacterSet().substr(0, kCharacterSetChars);
}
