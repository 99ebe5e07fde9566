#include "dicom/dictionary/VRRules.h"

#include <cstddef>

namespace {

constexpr int16_t kSpace = 0x20;
constexpr int16_t kNul = 0x00;
using C = VRCharacters;

// In VRKind order, so that a row is found by its kind.
constexpr VRRule kVRRules[] = {
    // kind       max  +frac unit padding     characters        multi  charset
    {VRKind::AE,   16,   0,  1, kSpace,     C::ApplicationEntity, true, false},
    {VRKind::AS,    4,   0,  1, kSpace,     C::AgeString,     true,  false},
    {VRKind::AT,    0,   0,  4, kNoPadding, C::Any,           false, false},
    {VRKind::CS,   16,   0,  1, kSpace,     C::CodeString,    true,  false},
    {VRKind::DA,    8,   0,  1, kSpace,     C::Date,          true,  false},
    {VRKind::DS,   16,   0,  1, kSpace,     C::DecimalString, true,  false},
    {VRKind::DT,   26,   0,  1, kSpace,     C::DateTime,      true,  false},
    {VRKind::FD,    0,   0,  8, kNoPadding, C::Any,           false, false},
    {VRKind::FL,    0,   0,  4, kNoPadding, C::Any,           false, false},
    {VRKind::IS,   12,   0,  1, kSpace,     C::IntegerString, true,  false},
    {VRKind::LO,   64,   0,  1, kSpace,     C::Any,           true,  true},
    {VRKind::LT, 10240,  0,  1, kSpace,     C::Any,           false, true},
    {VRKind::OB,    0,   0,  1, kNoPadding, C::Any,           false, false},
    {VRKind::OD,    0,   0,  8, kNoPadding, C::Any,           false, false},
    {VRKind::OF,    0,   0,  4, kNoPadding, C::Any,           false, false},
    {VRKind::OL,    0,   0,  4, kNoPadding, C::Any,           false, false},
    {VRKind::OV,    0,   0,  8, kNoPadding, C::Any,           false, false},
    {VRKind::OW,    0,   0,  2, kNoPadding, C::Any,           false, false},
    {VRKind::PN,   64,   0,  1, kSpace,     C::Any,           true,  true},
    {VRKind::SH,   16,   0,  1, kSpace,     C::Any,           true,  true},
    {VRKind::SL,    0,   0,  4, kNoPadding, C::Any,           false, false},
    {VRKind::SQ,    0,   0,  1, kNoPadding, C::Any,           false, false},
    {VRKind::SS,    0,   0,  2, kNoPadding, C::Any,           false, false},
    {VRKind::ST,  1024,  0,  1, kSpace,     C::Any,           false, true},
    {VRKind::SV,    0,   0,  8, kNoPadding, C::Any,           false, false},
    {VRKind::TM,   14,  16,  1, kSpace,     C::Time,          true,  false},
    {VRKind::UC,    0,   0,  1, kSpace,     C::Any,           true,  true},
    {VRKind::UI,   64,   0,  1, kNul,       C::UID,           true,  false},
    {VRKind::UL,    0,   0,  4, kNoPadding, C::Any,           false, false},
    {VRKind::UN,    0,   0,  1, kNoPadding, C::Any,           false, false},
    {VRKind::UR,    0,   0,  1, kSpace,     C::Any,           false, false},
    {VRKind::US,    0,   0,  2, kNoPadding, C::Any,           false, false},
    {VRKind::UT,    0,   0,  1, kSpace,     C::Any,           false, true},
    {VRKind::UV,    0,   0,  8, kNoPadding, C::Any,           false, false},
};

constexpr bool RowsFollowKinds() {
    for (size_t i = 0; i < sizeof kVRRules / sizeof kVRRules[0]; ++i)
        if (static_cast<size_t>(kVRRules[i].kind) != i) return false;
    return true;
}
static_assert(RowsFollowKinds(), "one row per VR kind, in VRKind order");
static_assert(sizeof kVRRules / sizeof kVRRules[0] == static_cast<size_t>(VRKind::UV) + 1,
              "every VR kind has a row");

}  // namespace

const VRRule& VRRuleFor(VRKind kind) { return kVRRules[static_cast<size_t>(kind)]; }
