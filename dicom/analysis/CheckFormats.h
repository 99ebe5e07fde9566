// The value formats the checks hold text values to, as pure functions over a value's bytes:
// dates, times, numbers, ages, UIDs and the character rules of each VR, the defined terms of
// Specific Character Set and how many characters a text counts in the set in force.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "dicom/dictionary/DicomVR.h"

namespace check {

// A span of value bytes.
struct Span {
    const uint8_t* data = nullptr;
    size_t size = 0;
    Span TrimmedRight() const {
        size_t n = size;
        while (n > 0 && data[n - 1] == ' ') --n;
        return {data, n};
    }
    // Without the trailing spaces and NULs that pad a value.
    Span WithoutPadding() const {
        size_t n = size;
        while (n > 0 && (data[n - 1] == ' ' || data[n - 1] == 0x00)) --n;
        return {data, n};
    }
    Span Trimmed() const {
        Span s = TrimmedRight();
        size_t skip = 0;
        while (skip < s.size && s.data[skip] == ' ') ++skip;
        return {s.data + skip, s.size - skip};
    }
    bool Equals(const char* text) const {
        return std::strlen(text) == size && std::memcmp(data, text, size) == 0;
    }
    bool Contains(uint8_t c) const { return size != 0 && std::memchr(data, c, size) != nullptr; }
};

// Splits at `separator`; calls visit(value, 1-based number) until it returns false.
template <typename Visit>
void ForEachValue(Span text, uint8_t separator, Visit visit) {
    size_t start = 0;
    for (size_t number = 1;; ++number) {
        const void* found = start < text.size ? std::memchr(text.data + start, separator, text.size - start) : nullptr;
        const size_t end = found ? static_cast<size_t>(static_cast<const uint8_t*>(found) - text.data) : text.size;
        if (!visit(Span{text.data + start, end - start}, number)) return;
        if (found == nullptr) return;
        start = end + 1;
    }
}

// File bytes quoted for a message: printable ASCII as it is, anything else as \xNN, cut at 64.
std::string Quoted(const uint8_t* bytes, size_t count);

// The number of digits from `from` on.
size_t CountDigits(Span s, size_t from);

// What is wrong with one value of a VR by its character rule ("" when it is well formed).
std::string CharacterProblem(VRCharacters rule, Span value);

// Whether a term of Specific Character Set is a defined term (or the default repertoire by name).
bool IsDefinedTerm(Span term);

// The Specific Character Set in force for a data set.
struct CharacterSet {
    bool declared = false;   // some term other than the default repertoire
    bool utf8 = false;       // ISO_IR 192
    bool multiByte = false;  // a set whose characters take more than one byte
};

// The set a value of Specific Character Set declares.
CharacterSet CharacterSetOf(Span value);

// Characters in a value for its length limit. Multi-byte texts are counted generously (a byte
// above 0x7F as half a character, an escape sequence as nothing), so that no text is taken for
// too long because of its encoding.
size_t CharacterCount(Span value, const CharacterSet& set);

}  // namespace check
