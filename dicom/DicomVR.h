// Value representations: the two-letter VR code of an element and every fact the
// program needs about a code, answered from one table.
#pragma once

#include <cstdint>
#include <string>

// The VR codes of the standard, for switching on a known code.
enum class VRKind : uint8_t {
    AE, AS, AT, CS, DA, DS, DT, FD, FL, IS, LO, LT, OB, OD, OF, OL, OV, OW, PN, SH,
    SL, SQ, SS, ST, SV, TM, UC, UI, UL, UN, UR, US, UT, UV
};

// What the program knows about one VR code.
struct VRInfo {
    const char* code;        // two upper-case letters
    VRKind kind;
    bool longLength;         // explicit VR: 2 reserved bytes and a 4-byte length follow the code
    bool text;               // shown as decoded text (false: numbers, tags or a placeholder)
};

// The row for a code (exact, upper case), or null when the program does not know it.
const VRInfo* FindVRInfo(const std::wstring& code);
const VRInfo* FindVRInfo(const char* twoLetters);

// True for every VR code the standard defines (used to tell whether two bytes in a file are a VR).
bool IsKnownVRCode(const char* twoLetters);

// True when an explicit-VR header for this code uses the 12-byte form.
bool IsLongLengthVR(const std::wstring& code);

// Predicates on a VR text; each compares an upper-cased copy with whole codes.
bool IsTextVR(const std::wstring& vr);
bool IsIntegerVR(const std::wstring& vr);
bool IsShortIntegerVR(const std::wstring& vr);
bool IsLongIntegerVR(const std::wstring& vr);
bool IsFloatVR(const std::wstring& vr);
bool IsFLVR(const std::wstring& vr);
bool IsFDVR(const std::wstring& vr);
bool IsDSVR(const std::wstring& vr);
bool IsISVR(const std::wstring& vr);
bool IsATVR(const std::wstring& vr);

std::wstring UpperCaseAscii(const std::wstring& text);

// The VR code of one element.
class CDicomVR {
public:
    CDicomVR() = default;
    CDicomVR(const CDicomVR&) = default;
    CDicomVR& operator=(const CDicomVR&) = default;
    virtual ~CDicomVR() = default;

    // Stores the code upper-cased.
    void SetCode(const std::wstring& code);
    const std::wstring& GetCode() const { return m_code; }
    // The table row of the code, or null for an unknown or empty code.
    const VRInfo* GetInfo() const { return m_info; }
    bool Is(VRKind kind) const { return m_info != nullptr && m_info->kind == kind; }
    const std::wstring& GetAlternateCode() const { return m_alternateCode; }
    // The code, or the alternate code when the code is empty.
    const std::wstring& GetText() const { return m_code.empty() ? m_alternateCode : m_code; }
    void Reset() {
        m_code.clear();
        m_alternateCode.clear();
        m_info = nullptr;
    }

private:
    std::wstring m_code;
    std::wstring m_alternateCode;   // never set to a non-empty text; kept as a read fallback
    const VRInfo* m_info = nullptr; // looked up once when the code is set
};
