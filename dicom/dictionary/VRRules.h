// What the encoding rules allow in a value of each VR: one row per code, for the checks that
// compare a file's bytes with them (dicom/Check.h).
#pragma once

#include <cstdint>

#include "dicom/dictionary/DicomVR.h"

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

// No padding rule (binary and undefined values).
constexpr int kNoPadding = -1;

struct VRRule {
    VRKind kind;
    // Longest value, in characters, of each value of a multi-valued text (of each component group
    // for PN); 0 for no limit worth checking.
    uint16_t maxLength;
    // The longest value when it holds a fraction (TM); 0 where maxLength is all there is.
    uint16_t maxLengthWithFraction;
    // Bytes per binary unit; the value length must be a multiple. 1 for texts and bytes.
    uint8_t unit;
    // The byte an odd-length value is padded with to even length, or kNoPadding.
    int16_t padding;
    VRCharacters characters;
    // Values split at "\" (single-valued texts may hold a backslash as a character).
    bool multiValued;
    // Bytes above 0x7F stand for characters of the Specific Character Set.
    bool characterSetText;
};

// The row of a VR; every VRKind has one.
const VRRule& VRRuleFor(VRKind kind);
