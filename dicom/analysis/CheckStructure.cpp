// Structure: odd lengths, tag order and repeats, group lengths, items where elements go and
// other tags where items go, private creators, UN elements read as sequences.
#include <algorithm>

#include "dicom/analysis/CheckWalker.h"
#include "dicom/io/ByteOrder.h"
#include "dicom/io/TextFormat.h"

namespace check {

void Checker::ReportItemOutside(const CDicomTag& tag) {
    const uint16_t e = tag.GetElement();
    ReportAt(tag, CheckRule::ItemOutsideSequence,
             Format("%s %s stands among the elements of a data set; %s", e == 0xE000 ? "item" : e == 0xE00D
                    ? "item delimiter" : "sequence delimiter", TagText(0xFFFE, e).c_str(),
                    e == 0xE0DD ? "it may only end an undefined-length sequence"
                                : "items belong in a sequence or encapsulated pixel data"));
}

// A tag lower than the one before it is out of order; a tag seen before in the data set is a
// repeat, wherever it falls.
void Checker::CheckOrder(const CDicomTag& tag, TagOrder& order) {
    const uint32_t key = Key(tag.GetGroup(), tag.GetElement());
    const uint32_t previous = order.previous;
    const bool first = !order.any;
    order.any = true;
    order.previous = key;
    if (first || key > order.ascending.back().first) {
        order.ascending.push_back({key, tag.GetTagOffset()});
        return;
    }
    auto less = [](const std::pair<uint32_t, uint64_t>& a, uint32_t k) { return a.first < k; };
    const auto ascending = std::lower_bound(order.ascending.begin(), order.ascending.end(), key, less);
    const auto other = order.others.find(key);
    if ((ascending != order.ascending.end() && ascending->first == key) || other != order.others.end()) {
        // Each key is in one of the two, with the offset of its first appearance.
        const uint64_t at = other != order.others.end() ? other->second : ascending->second;
        ReportAt(tag, CheckRule::TagRepeated,
                 Format("%s appears a second time in this data set (first at offset %llu); each tag may "
                        "appear once", TagText(tag.GetGroup(), tag.GetElement()).c_str(),
                        static_cast<unsigned long long>(at)));
        return;
    }
    order.others.emplace(key, tag.GetTagOffset());
    if (key < previous)
        ReportAt(tag, CheckRule::TagOrder,
                 Format("%s follows %s; tags must ascend within a data set",
                        TagText(tag.GetGroup(), tag.GetElement()).c_str(),
                        TagText(static_cast<uint16_t>(previous >> 16), static_cast<uint16_t>(previous)).c_str()));
}

void Checker::CheckGroupLength(const CDicomTag& tag, const Stored& stored, uint64_t bytes) {
    const Span v = ValueOf(tag, stored);
    if (v.size != 4) return;   // not a UL: bad-length-for-vr says so
    const uint32_t declared = Read32(v.data, stored.encoding.littleEndian);
    if (declared == bytes) return;
    ReportAt(tag, tag.GetGroup() == 0x0002 ? CheckRule::MetaGroupLength : CheckRule::GroupLength,
             Format("group length %lu of group %04X differs from the %llu bytes its elements take after it",
                    static_cast<unsigned long>(declared), tag.GetGroup(), static_cast<unsigned long long>(bytes)));
}

void Checker::CheckCreatorPresent(const CDicomTag& tag, const DataSetFacts& facts) {
    const uint16_t g = tag.GetGroup(), e = tag.GetElement();
    if (IsPrivateGroup(g) && e >= 0x1000 &&
        !std::binary_search(facts.creators.begin(), facts.creators.end(), (uint32_t(g) << 8) | (e >> 8)))
        ReportAt(tag, CheckRule::PrivateCreator,
                 Format("private element %s has no private creator %s in its data set",
                        TagText(g, e).c_str(), TagText(g, static_cast<uint16_t>(e >> 8)).c_str()));
}

void Checker::CheckReservedPrivate(const CDicomTag& tag) {
    const uint16_t g = tag.GetGroup(), e = tag.GetElement();
    if (IsPrivateGroup(g) && e >= 0x0001 && e <= 0x000F)
        ReportAt(tag, CheckRule::PrivateCreator,
                 Format("%s lies in %s-%s of a private group, which no element may use", TagText(g, e).c_str(),
                        TagText(g, 0x0001).c_str(), TagText(g, 0x000F).c_str()));
}

void Checker::CheckCreatorNotEmpty(const CDicomTag& tag, const Stored& stored, Span value) {
    const uint16_t g = tag.GetGroup(), e = tag.GetElement();
    if (IsPrivateGroup(g) && e >= 0x0010 && e <= 0x00FF && value.size == stored.length &&
        std::all_of(value.data, value.data + value.size, [](uint8_t c) { return c == ' ' || c == 0x00; }))
        ReportAt(tag, CheckRule::PrivateCreator,
                 Format("private creator %s is empty; a creator names the block it reserves", TagText(g, e).c_str()));
}

void Checker::CheckOddLength(const CDicomTag& tag, uint32_t length, const char* what) {
    if ((length & 1) != 0)
        ReportAt(tag, CheckRule::OddLength, Format("%s length %lu is odd; defined lengths must be even", what,
                                                   static_cast<unsigned long>(length)));
}

void Checker::CheckItem(const CDicomTag& item, const Stored& stored) {
    if (!item.Is(0xFFFE, 0xE000))
        ReportAt(item, CheckRule::NotAnItem,
                 Format("%s stands where an item (FFFE,E000) of the sequence is required, and was read as "
                        "one", TagText(item.GetGroup(), item.GetElement()).c_str()));
    if (stored.headerRead && stored.length != kUndefinedLength) CheckOddLength(item, stored.length, "item");
}

void Checker::CheckUNSequence(const CDicomTag& tag, const Stored& stored) {
    if (IsUN(stored) && stored.length == kUndefinedLength)
        ReportAt(tag, CheckRule::UNSequence,
                 "UN element of undefined length, read as a sequence of implicit-VR items");
}

}  // namespace check
