// The stored value of one element: its two length slots and its bytes.
#pragma once

#include <cstddef>
#include <cstdint>

class CValueSource;

// The value length of 0xFFFFFFFF marks an undefined length (sequences, items, encapsulated pixels).
constexpr uint32_t kUndefinedLength = 0xFFFFFFFFu;

// Not polymorphic: it lives inside every element, and a table pointer would only add to each.
class CTagData {
public:
    CTagData() = default;
    CTagData(const CTagData&) = delete;
    CTagData& operator=(const CTagData&) = delete;
    ~CTagData();

    uint16_t GetShortLength() const { return m_shortLength; }
    uint32_t GetLongLength() const { return m_longLength; }
    void SetShortLength(uint16_t length) { m_shortLength = length; }
    void SetLongLength(uint32_t length) { m_longLength = length; }
    // The long length when it is non-zero, else the short length.
    uint32_t GetValueLength() const { return m_longLength != 0 ? m_longLength : m_shortLength; }

    // The bytes held in memory; null for none and for a value left in the file.
    const uint8_t* GetBytes() const { return IsDeferred() ? nullptr : m_bytes; }
    // Number of bytes the block really holds; never read past it, whatever the lengths say. 0 for
    // a value left in the file.
    size_t GetByteCount() const { return IsDeferred() ? 0 : m_byteCount; }

    // A value left in the file: its bytes are read from the source when they are needed (the
    // element knows where they start). count is how many bytes of it lie in the file; a padded
    // value has one more, the pad byte, which no file holds. bigEndian: the file holds its units
    // big endian, so they are swapped as they are read.
    void Defer(CValueSource* source, size_t count, bool bigEndian);
    bool IsDeferred() const { return (m_flags & kDeferred) != 0; }
    CValueSource* GetSource() const { return IsDeferred() ? m_source : nullptr; }
    size_t GetDeferredCount() const { return IsDeferred() ? m_byteCount : 0; }
    bool IsDeferredPadded() const { return (m_flags & kPadded) != 0; }
    bool IsDeferredBigEndian() const { return (m_flags & kBigEndian) != 0; }

    // Takes ownership of a malloc'ed block of count bytes (frees the old one). Lengths unchanged.
    void Adopt(uint8_t* block, size_t count);
    // Points at count bytes kept elsewhere for at least as long as this value (a file's node
    // store); they are never freed here. Frees the old block. Lengths unchanged.
    void Borrow(uint8_t* bytes, size_t count);
    // Frees the bytes; the lengths stay.
    void FreeBytes();
    // Frees the bytes and zeroes both lengths.
    void Reset();

    // Adds one pad byte when the value length is odd and non-zero; the slot in use grows by one.
    // On allocation failure the value is dropped (lengths 0, no bytes) and false is returned. A
    // value left in the file only notes that its last byte is the pad.
    bool PadToEven(uint8_t pad);
    // Resizes the block to newLength bytes (new bytes are zero) and stores newLength in the slot in
    // use. Borrowed bytes are copied into a block of its own first. On allocation failure the value
    // is dropped and false is returned. Not for a value left in the file.
    bool Resize(uint32_t newLength);

private:
    void StoreLength(uint32_t length);

    static constexpr uint8_t kOwnsBytes = 1;   // not for no bytes, borrowed or deferred ones
    static constexpr uint8_t kDeferred = 2;    // m_source is set, m_byteCount bytes in the file
    static constexpr uint8_t kPadded = 4;      // deferred, and the length counts one pad byte
    static constexpr uint8_t kBigEndian = 8;   // deferred, and its units are big endian in the file

    uint16_t m_shortLength = 0;
    uint8_t m_flags = 0;
    uint32_t m_longLength = 0;
    union {
        uint8_t* m_bytes = nullptr;
        CValueSource* m_source;
    };
    size_t m_byteCount = 0;
};
