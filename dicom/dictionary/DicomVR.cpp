#include "dicom/dictionary/DicomVR.h"

#include <map>

namespace {

// The records of the empty code and of every code in the table, and a look-up by two letters.
struct KnownCodes {
    VRCode empty{std::wstring(), nullptr};
    VRCode codes[kVRFactsCount];
    const VRCode* byLetters[26 * 26] = {};
    KnownCodes() {
        for (size_t i = 0; i < kVRFactsCount; ++i) {
            const VRInfo& info = kVRFacts[i];
            codes[i].text = std::wstring{static_cast<wchar_t>(info.code[0]), static_cast<wchar_t>(info.code[1])};
            codes[i].info = &info;
            byLetters[(info.code[0] - 'A') * 26 + (info.code[1] - 'A')] = &codes[i];
        }
    }
    const VRCode* Find(unsigned first, unsigned second) const {
        if (first < 'A' || first > 'Z' || second < 'A' || second > 'Z') return nullptr;
        return byLetters[(first - 'A') * 26 + (second - 'A')];
    }
};

// Built on first use and never destroyed, so that elements in static objects can still read
// their code while the program exits.
const KnownCodes& Known() {
    static const KnownCodes* known = new KnownCodes();
    return *known;
}

// Texts that are not known codes, each kept once. A file can bring at most 65536 two-byte codes,
// so what files add stays bounded. Not locked: the core is single-threaded (elements are built
// and read on one thread at a time, as the dictionary's cache of unknown tags is), so this
// table, like that cache, needs no lock.
struct OtherCodes {
    std::map<std::wstring, VRCode> codes;
};

OtherCodes& Others() {
    static OtherCodes* others = new OtherCodes();
    return *others;
}

wchar_t UpperAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

// The row of two letters, or null.
const VRInfo* Row(unsigned first, unsigned second) {
    const VRCode* code = Known().Find(first, second);
    return code != nullptr ? code->info : nullptr;
}

// The row of a text compared without regard to case, without making an upper-case copy.
const VRInfo* RowAnyCase(const std::wstring& vr) {
    if (vr.size() != 2) return nullptr;
    return Row(static_cast<unsigned>(UpperAscii(vr[0])), static_cast<unsigned>(UpperAscii(vr[1])));
}

bool KindIs(const std::wstring& vr, VRKind kind) {
    const VRInfo* info = RowAnyCase(vr);
    return info != nullptr && info->kind == kind;
}

VRNumbers NumbersOf(const std::wstring& vr) {
    const VRInfo* info = RowAnyCase(vr);
    return info != nullptr ? info->numbers : VRNumbers::None;
}

}  // namespace

std::wstring UpperCaseAscii(const std::wstring& text) {
    std::wstring upper(text);
    for (wchar_t& c : upper) c = UpperAscii(c);
    return upper;
}

const VRInfo* FindVRInfo(const std::wstring& code) {
    if (code.size() != 2) return nullptr;
    return Row(static_cast<unsigned>(code[0]), static_cast<unsigned>(code[1]));
}

const VRInfo* FindVRInfo(const char* twoLetters) {
    return Row(static_cast<unsigned char>(twoLetters[0]), static_cast<unsigned char>(twoLetters[1]));
}

const VRCode* NoVRCode() { return &Known().empty; }

const VRCode* InternVRCode(const std::wstring& text) {
    if (text.empty()) return NoVRCode();
    const KnownCodes& known = Known();
    if (text.size() == 2) {
        const VRCode* code = known.Find(static_cast<unsigned>(UpperAscii(text[0])), static_cast<unsigned>(UpperAscii(text[1])));
        if (code != nullptr) return code;
    }
    const std::wstring upper = UpperCaseAscii(text);
    OtherCodes& others = Others();
    auto found = others.codes.find(upper);
    if (found == others.codes.end())
        found = others.codes.emplace(upper, VRCode{upper, FindVRInfo(upper)}).first;
    return &found->second;
}

const VRCode* VRCodeOfBytes(uint8_t first, uint8_t second) {
    const VRCode* code = Known().Find(first, second);
    if (code != nullptr) return code;
    return InternVRCode(std::wstring{static_cast<wchar_t>(first), static_cast<wchar_t>(second)});
}

bool IsKnownVRCode(const char* twoLetters) { return FindVRInfo(twoLetters) != nullptr; }

bool IsLongLengthVR(const std::wstring& code) {
    const VRInfo* info = FindVRInfo(code);
    return info != nullptr && info->longLength;
}

bool IsIntegerVR(const std::wstring& vr) {
    const VRNumbers numbers = NumbersOf(vr);
    return numbers == VRNumbers::Signed || numbers == VRNumbers::Unsigned;
}
bool IsFloatVR(const std::wstring& vr) { return NumbersOf(vr) == VRNumbers::Float; }
bool IsDSVR(const std::wstring& vr) { return KindIs(vr, VRKind::DS); }
bool IsISVR(const std::wstring& vr) { return KindIs(vr, VRKind::IS); }
