// Every fact the program knows about a VR code, one row per code of the standard. The header
// layout, the byte swapping of big-endian values, the normalisation of stored values, the
// display of numbers and the checks of a file's values all read it; nothing else lists VRs.
#pragma once

#include <cstddef>
#include <cstdint>

// The VR codes of the standard, for switching on a known code.
enum class VRKind : uint8_t {
    AE, AS, AT, CS, DA, DS, DT, FD, FL, IS, LO, LT, OB, OD, OF, OL, OV, OW, PN, SH,
    SL, SQ, SS, ST, SV, TM, UC, UI, UL, UN, UR, US, UT, UV
};

// How the numbers of a value are shown (the binary VRs with a display rule of their own).
enum class VRNumbers : uint8_t { None, Unsigned, Signed, Float, TagPair };

// The characters and layout a value's text must have.
enum class VRCharacters : uint8_t {
    Any,            // no rule beyond the character set
    UID,            // digits and "."
    CodeString,     // upper-case letters, digits, space and "_"
    Date,           // YYYYMMDD
    Time,           // HH[MM[SS[.F{1,6}]]]
    DateTime,       // YYYY[MM[DD[HH[MM[SS[.F{1,6}]]]]]][&ZZXX]
    IntegerString,  // [+-]digits, surrounded by spaces at most, within 32 bits
    DecimalString,  // a fixed or floating-point decimal, surrounded by spaces at most
    AgeString,      // nnnD, nnnW, nnnM or nnnY
    ApplicationEntity,  // the default repertoire without control characters and "\"
};

// No padding byte, in either pad column.
constexpr int kNoPad = -1;

struct VRInfo {
    const char* code;        // two upper-case letters
    VRKind kind;
    bool longLength;         // explicit VR: 2 reserved bytes and a 4-byte length follow the code
    bool text;               // shown as decoded text (false: numbers, tags or a placeholder)
    uint8_t swapUnit;        // bytes per unit swapped when read big endian; 0: kept as read
    VRNumbers numbers;       // how its values are shown as numbers
    uint8_t numberUnit;      // bytes per number shown (0 for none)
    // The byte the model appends to its stored copy of an odd-length value, or kNoPad.
    int storedPad;
    bool storedLong;         // a stored value's length moves from the short slot to the long one
    // What the checks hold a file's value to:
    uint8_t unit;            // bytes per binary unit; the length must be a multiple (1 for texts and bytes)
    // The byte the encoding rules pad an odd-length value with to even length, or kNoPad
    // (binary values, whose padding the rules leave open).
    int requiredPad;
    // Longest value, in characters, of each value of a multi-valued text (of each component group
    // for PN); 0 for no limit worth checking.
    uint16_t maxLength;
    // The longest value when it holds a fraction (TM); 0 where maxLength is all there is.
    uint16_t maxLengthWithFraction;
    VRCharacters characters;
    // Values split at "\" (single-valued texts may hold a backslash as a character).
    bool multiValued;
    // Bytes above 0x7F stand for characters of the Specific Character Set.
    bool characterSetText;
};

// Text: shown by the text rule of the value display; only the ten binary codes that have a
// display rule of their own are false (the newer codes have none and show as text). Swapped:
// the numbers of the value, and the 16-bit halves of attribute tags (in host order they display
// correctly); OW by 16-bit words; everything else, OF and OD among them, as read. The two pad
// columns differ where the model keeps a stored copy unpadded (DA, UC, UR) or pads bytes with
// NUL that the rules leave open (OB, OW). Rows follow VRKind, so kVRFacts[kind] is a kind's row.
namespace vr_facts {
using K = VRKind;
using N = VRNumbers;
using C = VRCharacters;
inline constexpr VRInfo kVRFacts[] = {
    // code kind   long    text    swap numbers       unit stored   long    unit required max    frac characters            multi   charset
    {"AE", K::AE, false, true,  0, N::None,     0, ' ',    false, 1, ' ',    16,    0,  C::ApplicationEntity, true,  false},
    {"AS", K::AS, false, true,  0, N::None,     0, ' ',    false, 1, ' ',    4,     0,  C::AgeString,         true,  false},
    {"AT", K::AT, false, false, 2, N::TagPair,  4, 0,      false, 4, kNoPad, 0,     0,  C::Any,               false, false},
    {"CS", K::CS, false, true,  0, N::None,     0, ' ',    false, 1, ' ',    16,    0,  C::CodeString,        true,  false},
    {"DA", K::DA, false, true,  0, N::None,     0, kNoPad, false, 1, ' ',    8,     0,  C::Date,              true,  false},
    {"DS", K::DS, false, true,  0, N::None,     0, ' ',    false, 1, ' ',    16,    0,  C::DecimalString,     true,  false},
    {"DT", K::DT, false, true,  0, N::None,     0, ' ',    false, 1, ' ',    26,    0,  C::DateTime,          true,  false},
    {"FD", K::FD, false, false, 8, N::Float,    8, kNoPad, false, 8, kNoPad, 0,     0,  C::Any,               false, false},
    {"FL", K::FL, false, false, 4, N::Float,    4, kNoPad, false, 4, kNoPad, 0,     0,  C::Any,               false, false},
    {"IS", K::IS, false, true,  0, N::None,     0, ' ',    false, 1, ' ',    12,    0,  C::IntegerString,     true,  false},
    {"LO", K::LO, false, true,  0, N::None,     0, ' ',    false, 1, ' ',    64,    0,  C::Any,               true,  true},
    {"LT", K::LT, false, true,  0, N::None,     0, ' ',    false, 1, ' ',    10240, 0,  C::Any,               false, true},
    {"OB", K::OB, true,  false, 0, N::None,     0, 0,      true,  1, kNoPad, 0,     0,  C::Any,               false, false},
    {"OD", K::OD, true,  true,  0, N::None,     0, kNoPad, false, 8, kNoPad, 0,     0,  C::Any,               false, false},
    {"OF", K::OF, true,  true,  0, N::None,     0, kNoPad, false, 4, kNoPad, 0,     0,  C::Any,               false, false},
    {"OL", K::OL, true,  true,  0, N::None,     0, kNoPad, false, 4, kNoPad, 0,     0,  C::Any,               false, false},
    {"OV", K::OV, true,  true,  0, N::None,     0, kNoPad, false, 8, kNoPad, 0,     0,  C::Any,               false, false},
    {"OW", K::OW, true,  false, 2, N::None,     0, 0,      true,  2, kNoPad, 0,     0,  C::Any,               false, false},
    {"PN", K::PN, false, true,  0, N::None,     0, ' ',    false, 1, ' ',    64,    0,  C::Any,               true,  true},
    {"SH", K::SH, false, true,  0, N::None,     0, ' ',    false, 1, ' ',    16,    0,  C::Any,               true,  true},
    {"SL", K::SL, false, false, 4, N::Signed,   4, kNoPad, false, 4, kNoPad, 0,     0,  C::Any,               false, false},
    {"SQ", K::SQ, true,  false, 0, N::None,     0, kNoPad, true,  1, kNoPad, 0,     0,  C::Any,               false, false},
    {"SS", K::SS, false, false, 2, N::Signed,   2, kNoPad, false, 2, kNoPad, 0,     0,  C::Any,               false, false},
    {"ST", K::ST, false, true,  0, N::None,     0, ' ',    false, 1, ' ',    1024,  0,  C::Any,               false, true},
    {"SV", K::SV, true,  true,  0, N::None,     0, kNoPad, false, 8, kNoPad, 0,     0,  C::Any,               false, false},
    {"TM", K::TM, false, true,  0, N::None,     0, ' ',    false, 1, ' ',    14,    16, C::Time,              true,  false},
    {"UC", K::UC, true,  true,  0, N::None,     0, kNoPad, false, 1, ' ',    0,     0,  C::Any,               true,  true},
    {"UI", K::UI, false, true,  0, N::None,     0, 0,      false, 1, 0,      64,    0,  C::UID,               true,  false},
    {"UL", K::UL, false, false, 4, N::Unsigned, 4, kNoPad, false, 4, kNoPad, 0,     0,  C::Any,               false, false},
    {"UN", K::UN, true,  true,  0, N::None,     0, kNoPad, true,  1, kNoPad, 0,     0,  C::Any,               false, false},
    {"UR", K::UR, true,  true,  0, N::None,     0, kNoPad, false, 1, ' ',    0,     0,  C::Any,               false, false},
    {"US", K::US, false, false, 2, N::Unsigned, 2, kNoPad, false, 2, kNoPad, 0,     0,  C::Any,               false, false},
    {"UT", K::UT, true,  true,  0, N::None,     0, ' ',    false, 1, ' ',    0,     0,  C::Any,               false, true},
    {"UV", K::UV, true,  true,  0, N::None,     0, kNoPad, false, 8, kNoPad, 0,     0,  C::Any,               false, false},
};
constexpr bool RowsFollowKinds() {
    for (size_t i = 0; i < sizeof kVRFacts / sizeof kVRFacts[0]; ++i)
        if (static_cast<size_t>(kVRFacts[i].kind) != i) return false;
    return true;
}
static_assert(RowsFollowKinds(), "one row per VR kind, in VRKind order");
}  // namespace vr_facts
using vr_facts::kVRFacts;

constexpr size_t kVRFactsCount = sizeof kVRFacts / sizeof kVRFacts[0];
static_assert(kVRFactsCount == static_cast<size_t>(VRKind::UV) + 1, "every VR kind has a row");
