// The rules of the checks, one row each: the id a problem names, the family of checks that
// reports it and its severity. One id may have rows of several severities (a group length is
// an error in the meta group, a warning elsewhere). Adding a rule is a row here, a name in
// CheckRule and the function that reports it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dicom/analysis/Check.h"

enum class CheckFamily : uint8_t {
    Structure,  // lengths, tag order, group lengths, items, private blocks
    Header,     // the VR an element's header names and the length it gives
    Text,       // text values: padding, characters, lengths, character sets
    Pixel,      // pixel data and its offset table
    File,       // the file as a whole: preamble, meta group, trailing bytes
};

// In the order of the rows below.
enum class CheckRule : uint8_t {
    OddLength,
    VRMismatch,
    UnknownVR,
    BadLengthForVR,
    ValueTooLong,
    BadCharacter,
    Padding,
    MetaGroupLength,
    GroupLength,
    TagOrder,
    TagRepeated,
    ItemOutsideSequence,
    NotAnItem,
    PrivateCreator,
    CharsetMissing,
    CharsetUnknown,
    TrailingBytes,
    TrailingBytesAllowed,
    PixelShort,
    PixelLong,
    PixelVR,
    PixelVRBigEndian,
    OffsetTable,
    MetaMissingSyntax,
    MetaMissing,
    MetaVersion,
    MetaMismatch,
    MetaMisplaced,
    UNSequence,
    NoPreamble,
    NotChecked,
};

struct CheckRuleRow {
    CheckRule rule;
    const char* id;
    CheckFamily family;
    CheckSeverity severity;
};

// Every rule, in the order of CheckRule.
extern const CheckRuleRow kCheckRules[];
extern const size_t kCheckRuleCount;

inline const CheckRuleRow& RowOf(CheckRule rule) { return kCheckRules[static_cast<size_t>(rule)]; }
