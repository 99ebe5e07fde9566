#include "dicom/TagData.h"

#include <cstdlib>
#include <cstring>

CTagData::~CTagData() { std::free(m_bytes); }

void CTagData::Adopt(uint8_t* block, size_t count) {
    std::free(m_bytes);
    m_bytes = block;
    m_byteCount = block != nullptr ? count : 0;
}

void CTagData::FreeBytes() { Adopt(nullptr, 0); }

void CTagData::Reset() {
    FreeBytes();
    m_shortLength = 0;
    m_longLength = 0;
}

void CTagData::StoreLength(uint32_t length) {
    // A length that no longer fits the short slot moves to the long one rather than wrapping.
    if (m_longLength != 0 || length > 0xFFFFu) {
        m_longLength = length;
        m_shortLength = 0;
    } else {
        m_shortLength = static_cast<uint16_t>(length);
    }
}

bool CTagData::PadToEven(uint8_t pad) {
    const uint32_t length = GetValueLength();
    if (length == 0 || length % 2 == 0 || length == kUndefinedLength) return true;
    if (!Resize(length + 1)) return false;
    m_bytes[length] = pad;
    return true;
}

bool CTagData::Resize(uint32_t newLength) {
    uint8_t* block = static_cast<uint8_t*>(std::realloc(m_bytes, newLength == 0 ? 1 : newLength));
    if (block == nullptr) {
        Reset();
        return false;
    }
    if (newLength > m_byteCount) std::memset(block + m_byteCount, 0, newLength - m_byteCount);
    m_bytes = block;
    m_byteCount = newLength;
    StoreLength(newLength);
    return true;
}
