// Value representations: the two-letter VR code of an element, with every fact the program
// needs about a code answered from the one table of VRFacts.h.
#pragma once

#include <cstdint>
#include <string>

#include "dicom/dictionary/VRFacts.h"

// One VR text as elements carry it. Every element with the same text points at the same record,
// which lives for the rest of the process: the known codes are built in, any other text (lower
// case is upper-cased first; file bytes that are no letters; longer texts) is kept once when it
// is first set. So an element holds one pointer for its VR, and setting it allocates nothing.
struct VRCode {
    std::wstring text;       // upper case; empty for no code
    const VRInfo* info;      // the table row, or null for an unknown or empty code
};

// The record of the empty code.
const VRCode* NoVRCode();
// The record of a text, upper-cased (ASCII letters only) before it is looked up.
const VRCode* InternVRCode(const std::wstring& text);
// The record of the two bytes of an explicit-VR header, each taken as one character.
const VRCode* VRCodeOfBytes(uint8_t first, uint8_t second);

// The row for a code (exact, upper case), or null when the program does not know it.
const VRInfo* FindVRInfo(const std::wstring& code);
const VRInfo* FindVRInfo(const char* twoLetters);

// True for every VR code the standard defines (used to tell whether two bytes in a file are a VR).
bool IsKnownVRCode(const char* twoLetters);

// True when an explicit-VR header for this code uses the 12-byte form.
bool IsLongLengthVR(const std::wstring& code);

// Predicates on a VR text; each compares an upper-cased copy with whole codes.
bool IsIntegerVR(const std::wstring& vr);
bool IsFloatVR(const std::wstring& vr);
bool IsDSVR(const std::wstring& vr);
bool IsISVR(const std::wstring& vr);

std::wstring UpperCaseAscii(const std::wstring& text);

// The VR code of one element: one pointer to the shared record of its text. Not polymorphic,
// so that the pointer is all an element spends on it.
class CDicomVR {
public:
    CDicomVR() : m_code(NoVRCode()) {}
    CDicomVR(const CDicomVR&) = default;
    CDicomVR& operator=(const CDicomVR&) = default;
    ~CDicomVR() = default;

    // Stores the code upper-cased.
    void SetCode(const std::wstring& code) { m_code = InternVRCode(code); }
    void SetCode(const VRCode* code) { m_code = code != nullptr ? code : NoVRCode(); }
    const std::wstring& GetCode() const { return m_code->text; }
    // The table row of the code, or null for an unknown or empty code.
    const VRInfo* GetInfo() const { return m_code->info; }
    bool Is(VRKind kind) const { return m_code->info != nullptr && m_code->info->kind == kind; }
    // The code, as GetCode.
    const std::wstring& GetText() const { return m_code->text; }
    void Reset() { m_code = NoVRCode(); }

private:
    const VRCode* m_code;
};
