#include "dicom/DicomVR.h"

#include <cstring>

namespace {

// Every VR of the standard's list. Long length: the explicit-VR header has 2 reserved bytes and a
// 4-byte length. Text: shown by the text rule of the value display; only the ten binary codes
// that have a display rule of their own are false (the newer codes have none and show as text).
const VRInfo kVRTable[] = {
    {"AE", false, true},  {"AS", false, true},  {"AT", false, false}, {"CS", false, true},
    {"DA", false, true},  {"DS", false, true},  {"DT", false, true},  {"FD", false, false},
    {"FL", false, false}, {"IS", false, true},  {"LO", false, true},  {"LT", false, true},
    {"OB", true, false},  {"OD", true, true},   {"OF", true, true},   {"OL", true, true},
    {"OV", true, true},   {"OW", true, false},  {"PN", false, true},  {"SH", false, true},
    {"SL", false, false}, {"SQ", true, false},  {"SS", false, false}, {"ST", false, true},
    {"SV", true, true},  {"TM", false, true},  {"UC", true, true},   {"UI", false, true},
    {"UL", false, false}, {"UN", true, true},   {"UR", true, true},   {"US", false, false},
    {"UT", true, true},   {"UV", true, true},
};

bool SameCode(const std::wstring& vr, const char* code) {
    return vr.size() == 2 && vr[0] == static_cast<wchar_t>(code[0]) &&
           vr[1] == static_cast<wchar_t>(code[1]);
}

bool UpperIs(const std::wstring& vr, const char* code) {
    return SameCode(UpperCaseAscii(vr), code);
}

}  // namespace

std::wstring UpperCaseAscii(const std::wstring& text) {
    std::wstring upper(text);
    for (wchar_t& c : upper)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return upper;
}

const VRInfo* FindVRInfo(const std::wstring& code) {
    if (code.size() != 2) return nullptr;
    for (const VRInfo& info : kVRTable)
        if (SameCode(code, info.code)) return &info;
    return nullptr;
}

const VRInfo* FindVRInfo(const char* twoLetters) {
    for (const VRInfo& info : kVRTable)
        if (twoLetters[0] == info.code[0] && twoLetters[1] == info.code[1]) return &info;
    return nullptr;
}

bool IsKnownVRCode(const char* twoLetters) { return FindVRInfo(twoLetters) != nullptr; }

bool IsLongLengthVR(const std::wstring& code) {
    const VRInfo* info = FindVRInfo(code);
    return info != nullptr && info->longLength;
}

bool IsTextVR(const std::wstring& vr) {
    // Unknown and empty codes count as text; so do the newer codes the display has no rule for.
    const VRInfo* info = FindVRInfo(UpperCaseAscii(vr));
    return info == nullptr || info->text;
}

bool IsShortIntegerVR(const std::wstring& vr) { return UpperIs(vr, "SS") || UpperIs(vr, "US"); }
bool IsLongIntegerVR(const std::wstring& vr) { return UpperIs(vr, "SL") || UpperIs(vr, "UL"); }
bool IsIntegerVR(const std::wstring& vr) { return IsShortIntegerVR(vr) || IsLongIntegerVR(vr); }
bool IsFLVR(const std::wstring& vr) { return UpperIs(vr, "FL"); }
bool IsFDVR(const std::wstring& vr) { return UpperIs(vr, "FD"); }
bool IsFloatVR(const std::wstring& vr) { return IsFLVR(vr) || IsFDVR(vr); }
bool IsDSVR(const std::wstring& vr) { return UpperIs(vr, "DS"); }
bool IsISVR(const std::wstring& vr) { return UpperIs(vr, "IS"); }
bool IsATVR(const std::wstring& vr) { return UpperIs(vr, "AT"); }
