// The rules of the checks, one row each: the name the checks report it by, the id a problem
// names, the family of checks that reports it and its severity. One id may have rows of several
// severities (a group length is an error in the meta group, a warning elsewhere). Adding a rule
// is a row here and the function that reports it.
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

#define CHECK_RULES(RULE) \
    RULE(OddLength, "odd-length", Structure, Warning) \
    RULE(VRMismatch, "vr-mismatch", Header, Warning) \
    RULE(UnknownVR, "unknown-vr", Header, Error) \
    RULE(BadLengthForVR, "bad-length-for-vr", Header, Error) \
    RULE(ValueTooLong, "value-too-long", Text, Warning) \
    RULE(BadCharacter, "bad-character", Text, Warning) \
    RULE(Padding, "padding", Text, Warning) \
    RULE(MetaGroupLength, "group-length", Structure, Error) \
    RULE(GroupLength, "group-length", Structure, Warning) \
    RULE(TagOrder, "tag-order", Structure, Warning) \
    RULE(TagRepeated, "tag-order", Structure, Error) \
    RULE(ItemOutsideSequence, "item-outside-sequence", Structure, Error) \
    RULE(NotAnItem, "not-an-item", Structure, Error) \
    RULE(PrivateCreator, "private-creator", Structure, Warning) \
    RULE(CharsetMissing, "charset-missing", Text, Warning) \
    RULE(CharsetUnknown, "charset-unknown", Text, Warning) \
    RULE(TrailingBytes, "trailing-bytes", File, Warning) \
    RULE(TrailingBytesAllowed, "trailing-bytes", File, Info) \
    RULE(PixelShort, "pixel-length", Pixel, Error) \
    RULE(PixelLong, "pixel-length", Pixel, Warning) \
    RULE(PixelVR, "pixel-vr", Pixel, Warning) \
    RULE(PixelVRBigEndian, "pixel-vr", Pixel, Error) \
    RULE(OffsetTable, "offset-table", Pixel, Error) \
    RULE(MetaMissingSyntax, "meta-missing", File, Error) \
    RULE(MetaMissing, "meta-missing", File, Warning) \
    RULE(MetaVersion, "meta-version", File, Warning) \
    RULE(MetaMismatch, "meta-mismatch", File, Warning) \
    RULE(MetaMisplaced, "meta-misplaced", File, Warning) \
    RULE(UNSequence, "un-sequence", Structure, Info) \
    RULE(NoPreamble, "no-preamble", File, Info) \
    RULE(NotChecked, "not-checked", File, Info)

enum class CheckRule : uint8_t {
#define CHECK_RULE_NAME(name, id, family, severity) name,
    CHECK_RULES(CHECK_RULE_NAME)
#undef CHECK_RULE_NAME
};

struct CheckRuleRow {
    const char* id;
    CheckFamily family;
    CheckSeverity severity;
};

// Every rule, in the order of CheckRule.
constexpr CheckRuleRow kCheckRules[] = {
#define CHECK_RULE_ROW(name, id, family, severity) {id, CheckFamily::family, CheckSeverity::severity},
    CHECK_RULES(CHECK_RULE_ROW)
#undef CHECK_RULE_ROW
};

inline const CheckRuleRow& RowOf(CheckRule rule) { return kCheckRules[static_cast<size_t>(rule)]; }
