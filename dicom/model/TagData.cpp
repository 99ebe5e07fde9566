#include "dicom/model/TagData.h"

#include <cstdlib>
#include <cstring>

CTagData::~CTagData() { FreeBytes(); }

void CTagData::FreeBytes() {
    if ((m_flags & kOwnsBytes) != 0) std::free(m_bytes);
    m_bytes = nullptr;
    m_byteCount = 0;
    m_flags = 0;
}

void CTagData::Adopt(uint8_t* block, size_t count) {
    FreeBytes();
    m_bytes = block;
    m_byteCount = block != nullptr ? count : 0;
    m_flags = block != nullptr ? kOwnsBytes : 0;
}

void CTagData::Defer(CValueSource* source, size_t count, bool bigEndian) {
    FreeBytes();
    if (source == nullptr || count == 0) return;
    m_source = source;
    m_byteCount = count;
    m_flags = static_cast<uint8_t>(kDeferred | (bigEndian ? kBigEndian : 0));
}

void CTagData::Borrow(uint8_t* bytes, size_t count) {
    FreeBytes();
    m_bytes = bytes;
    m_byteCount = bytes != nullptr ? count : 0;
}

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
    if (IsDeferred()) {
        // The pad byte is supplied when the value is read.
        if ((m_flags & kPadded) != 0) return true;
        StoreLength(length + 1);
        m_flags |= kPadded;
        return true;
    }
    if (!Resize(length + 1)) return false;
    m_bytes[length] = pad;
    return true;
}

bool CTagData::Resize(uint32_t newLength) {
    const size_t size = newLength == 0 ? 1 : newLength;
    uint8_t* block;
    if (IsDeferred()) {
        Reset();
        return false;
    }
    if ((m_flags & kOwnsBytes) != 0 || m_bytes == nullptr) {
        block = static_cast<uint8_t*>(std::realloc(m_bytes, size));
    } else {
        block = static_cast<uint8_t*>(std::malloc(size));
        if (block != nullptr) std::memcpy(block, m_bytes, m_byteCount < size ? m_byteCount : size);
    }
    if (block == nullptr) {
        Reset();
        return false;
    }
    if (newLength > m_byteCount) std::memset(block + m_byteCount, 0, newLength - m_byteCount);
    m_bytes = block;
    m_flags = kOwnsBytes;
    m_byteCount = newLength;
    StoreLength(newLength);
    return true;
}
