#include "dicom/analysis/CheckRules.h"

namespace {
using F = CheckFamily;
using S = CheckSeverity;
using R = CheckRule;
}  // namespace

constexpr CheckRuleRow kCheckRules[] = {
    {R::OddLength, "odd-length", F::Structure, S::Warning},
    {R::VRMismatch, "vr-mismatch", F::Header, S::Warning},
    {R::UnknownVR, "unknown-vr", F::Header, S::Error},
    {R::BadLengthForVR, "bad-length-for-vr", F::Header, S::Error},
    {R::ValueTooLong, "value-too-long", F::Text, S::Warning},
    {R::BadCharacter, "bad-character", F::Text, S::Warning},
    {R::Padding, "padding", F::Text, S::Warning},
    {R::MetaGroupLength, "group-length", F::Structure, S::Error},
    {R::GroupLength, "group-length", F::Structure, S::Warning},
    {R::TagOrder, "tag-order", F::Structure, S::Warning},
    {R::TagRepeated, "tag-order", F::Structure, S::Error},
    {R::ItemOutsideSequence, "item-outside-sequence", F::Structure, S::Error},
    {R::NotAnItem, "not-an-item", F::Structure, S::Error},
    {R::PrivateCreator, "private-creator", F::Structure, S::Warning},
    {R::CharsetMissing, "charset-missing", F::Text, S::Warning},
    {R::CharsetUnknown, "charset-unknown", F::Text, S::Warning},
    {R::TrailingBytes, "trailing-bytes", F::File, S::Warning},
    {R::TrailingBytesAllowed, "trailing-bytes", F::File, S::Info},
    {R::PixelShort, "pixel-length", F::Pixel, S::Error},
    {R::PixelLong, "pixel-length", F::Pixel, S::Warning},
    {R::PixelVR, "pixel-vr", F::Pixel, S::Warning},
    {R::PixelVRBigEndian, "pixel-vr", F::Pixel, S::Error},
    {R::OffsetTable, "offset-table", F::Pixel, S::Error},
    {R::MetaMissingSyntax, "meta-missing", F::File, S::Error},
    {R::MetaMissing, "meta-missing", F::File, S::Warning},
    {R::MetaVersion, "meta-version", F::File, S::Warning},
    {R::MetaMismatch, "meta-mismatch", F::File, S::Warning},
    {R::MetaMisplaced, "meta-misplaced", F::File, S::Warning},
    {R::UNSequence, "un-sequence", F::Structure, S::Info},
    {R::NoPreamble, "no-preamble", F::File, S::Info},
    {R::NotChecked, "not-checked", F::File, S::Info},
};
const size_t kCheckRuleCount = sizeof kCheckRules / sizeof kCheckRules[0];

namespace {

constexpr bool RowsInOrder() {
    for (size_t i = 0; i < sizeof kCheckRules / sizeof kCheckRules[0]; ++i)
        if (static_cast<size_t>(kCheckRules[i].rule) != i) return false;
    return true;
}
static_assert(RowsInOrder(), "each row stands at the index of its CheckRule");
static_assert(sizeof kCheckRules / sizeof kCheckRules[0] == static_cast<size_t>(CheckRule::NotChecked) + 1,
              "every CheckRule has its row");

}  // namespace
