// Every fact the program knows about a VR code, one row per code of the standard. The header
// layout, the byte swapping of big-endian values, the normalisation of stored values and the
// display of numbers all read it; nothing else lists VRs.
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

// Padding byte for a stored value of odd length.
constexpr int kNoPad = -1;

struct VRInfo {
    const char* code;        // two upper-case letters
    VRKind kind;
    bool longLength;         // explicit VR: 2 reserved bytes and a 4-byte length follow the code
    bool text;               // shown as decoded text (false: numbers, tags or a placeholder)
    uint8_t swapUnit;        // bytes per unit swapped when read big endian; 0: kept as read
    VRNumbers numbers;       // how its values are shown as numbers
    uint8_t numberUnit;      // bytes per number shown (0 for none)
    int pad;                 // byte appended to a stored value of odd length, or kNoPad
    bool storedLong;         // a stored value's length moves from the short slot to the long one
};

// Text: shown by the text rule of the value display; only the ten binary codes that have a
// display rule of their own are false (the newer codes have none and show as text). Swapped:
// the numbers of the value, and the 16-bit halves of attribute tags (in host order they display
// correctly); OW by 16-bit words; everything else, OF and OD among them, as read.
inline constexpr VRInfo kVRFacts[] = {
    // code  kind         long   text   swap numbers              unit pad     storedLong
    {"AE", VRKind::AE, false, true,  0, VRNumbers::None,     0, ' ',    false},
    {"AS", VRKind::AS, false, true,  0, VRNumbers::None,     0, ' ',    false},
    {"AT", VRKind::AT, false, false, 2, VRNumbers::TagPair,  4, 0,      false},
    {"CS", VRKind::CS, false, true,  0, VRNumbers::None,     0, ' ',    false},
    {"DA", VRKind::DA, false, true,  0, VRNumbers::None,     0, kNoPad, false},
    {"DS", VRKind::DS, false, true,  0, VRNumbers::None,     0, ' ',    false},
    {"DT", VRKind::DT, false, true,  0, VRNumbers::None,     0, ' ',    false},
    {"FD", VRKind::FD, false, false, 8, VRNumbers::Float,    8, kNoPad, false},
    {"FL", VRKind::FL, false, false, 4, VRNumbers::Float,    4, kNoPad, false},
    {"IS", VRKind::IS, false, true,  0, VRNumbers::None,     0, ' ',    false},
    {"LO", VRKind::LO, false, true,  0, VRNumbers::None,     0, ' ',    false},
    {"LT", VRKind::LT, false, true,  0, VRNumbers::None,     0, ' ',    false},
    {"OB", VRKind::OB, true,  false, 0, VRNumbers::None,     0, 0,      true},
    {"OD", VRKind::OD, true,  true,  0, VRNumbers::None,     0, kNoPad, false},
    {"OF", VRKind::OF, true,  true,  0, VRNumbers::None,     0, kNoPad, false},
    {"OL", VRKind::OL, true,  true,  0, VRNumbers::None,     0, kNoPad, false},
    {"OV", VRKind::OV, true,  true,  0, VRNumbers::None,     0, kNoPad, false},
    {"OW", VRKind::OW, true,  false, 2, VRNumbers::None,     0, 0,      true},
    {"PN", VRKind::PN, false, true,  0, VRNumbers::None,     0, ' ',    false},
    {"SH", VRKind::SH, false, true,  0, VRNumbers::None,     0, ' ',    false},
    {"SL", VRKind::SL, false, false, 4, VRNumbers::Signed,   4, kNoPad, false},
    {"SQ", VRKind::SQ, true,  false, 0, VRNumbers::None,     0, kNoPad, true},
    {"SS", VRKind::SS, false, false, 2, VRNumbers::Signed,   2, kNoPad, false},
    {"ST", VRKind::ST, false, true,  0, VRNumbers::None,     0, ' ',    false},
    {"SV", VRKind::SV, true,  true,  0, VRNumbers::None,     0, kNoPad, false},
    {"TM", VRKind::TM, false, true,  0, VRNumbers::None,     0, ' ',    false},
    {"UC", VRKind::UC, true,  true,  0, VRNumbers::None,     0, kNoPad, false},
    {"UI", VRKind::UI, false, true,  0, VRNumbers::None,     0, 0,      false},
    {"UL", VRKind::UL, false, false, 4, VRNumbers::Unsigned, 4, kNoPad, false},
    {"UN", VRKind::UN, true,  true,  0, VRNumbers::None,     0, kNoPad, true},
    {"UR", VRKind::UR, true,  true,  0, VRNumbers::None,     0, kNoPad, false},
    {"US", VRKind::US, false, false, 2, VRNumbers::Unsigned, 2, kNoPad, false},
    {"UT", VRKind::UT, true,  true,  0, VRNumbers::None,     0, ' ',    false},
    {"UV", VRKind::UV, true,  true,  0, VRNumbers::None,     0, kNoPad, false},
};

constexpr size_t kVRFactsCount = sizeof kVRFacts / sizeof kVRFacts[0];
