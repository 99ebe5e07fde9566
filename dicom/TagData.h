// The stored value of one element: its two length slots and its bytes.
#pragma once

#include <cstddef>
#include <cstdint>

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

    const uint8_t* GetBytes() const { return m_bytes; }
    // Number of bytes the block really holds; never read past it, whatever the lengths say.
    size_t GetByteCount() const { return m_byteCount; }

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
    // On allocation failure the value is dropped (lengths 0, no bytes) and false is returned.
    bool PadToEven(uint8_t pad);
    // Resizes the block to newLength bytes (new bytes are zero) and stores newLength in the slot in
    // use. Borrowed bytes are copied into a block of its own first. On allocation failure the value
    // is dropped and false is returned.
    bool Resize(uint32_t newLength);

private:
    void StoreLength(uint32_t length);
    void Release();

    uint16_t m_shortLength = 0;
    bool m_ownsBytes = false;        // false for no bytes and for borrowed bytes
    uint32_t m_longLength = 0;
    uint8_t* m_bytes = nullptr;
    size_t m_byteCount = 0;
};
