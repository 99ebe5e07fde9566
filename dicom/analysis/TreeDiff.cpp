#include "dicom/analysis/TreeDiff.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "dicom/model/ElementRange.h"
#include "dicom/model/TagArray.h"

namespace {

struct Side {
    const DiffInput& input;
    std::vector<DiffStep> path;
};

uint64_t Key(const CDicomTag& tag, uint32_t occurrence) {
    return (static_cast<uint64_t>(tag.GetGroup()) << 48) | (static_cast<uint64_t>(tag.GetElement()) << 32) | occurrence;
}

// Sequences, items and encapsulated pixel data: their lengths follow from their children, so
// only the children and the length form are compared.
bool IsContainer(const CDicomTag& tag) {
    return tag.IsItem() || tag.GetVR().Is(VRKind::SQ) || !tag.GetChildren().empty() ||
           (tag.IsPixelData() && tag.IsUndefinedLength());
}

// A fragment of encapsulated pixel data, or its offset table: a value of bytes, not a container.
bool IsFragment(const CDicomTag& tag) {
    return tag.IsItem() && tag.GetParent() != nullptr && tag.GetParent()->IsPixelData();
}

// The stored value bytes, or null when the bytes are not given or the value is not in them.
const uint8_t* ValueBytes(const DiffInput& input, const CDicomTag& tag) {
    const uint64_t length = GetStoredValueLength(tag);
    if (input.bytes == nullptr || tag.IsUndefinedLength() || tag.GetValueOffset() > input.size ||
        length > input.size - tag.GetValueOffset())
        return nullptr;
    return input.bytes + tag.GetValueOffset();
}

bool IsText(const CDicomTag& tag) {
    const VRInfo* info = tag.GetVR().GetInfo();
    return info != nullptr && info->text && info->kind != VRKind::UN;
}

// How a text value of even length ends: its padding byte, as words; null where that is not
// known (not a text, or its bytes could not be read again).
const char* PaddingOf(const DiffInput& input, const CDicomTag& tag) {
    if (!IsText(tag)) return nullptr;
    const uint32_t length = GetStoredValueLength(tag);
    const uint8_t* bytes = ValueBytes(input, tag);
    if (bytes == nullptr) return nullptr;
    if (length == 0 || length % 2 != 0) return "not padded";
    if (bytes[length - 1] == 0x00) return "padded with NUL";
    if (bytes[length - 1] == 0x20) return "padded with a space";
    return "not padded";
}

// The text without its trailing spaces and NULs.
std::wstring WithoutPadding(std::wstring text) {
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\0')) text.pop_back();
    return text;
}

// The value text as compared: trailing spaces and NULs of a text value are its padding, not
// its value.
std::wstring ComparedText(const CDicomTag& tag, const std::wstring& characterSet) {
    std::wstring text = tag.GetValueText(characterSet);
    return IsText(tag) ? WithoutPadding(std::move(text)) : text;
}

// The index of the first byte at which the two runs differ, or count when they agree. A block
// at a time, so that long values of mapped files are walked once, in order.
uint64_t FirstDifference(const uint8_t* a, const uint8_t* b, uint64_t count) {
    constexpr uint64_t kBlock = 64 * 1024;
    for (uint64_t at = 0; at < count; at += kBlock) {
        const size_t n = static_cast<size_t>(std::min(kBlock, count - at));
        if (std::memcmp(a + at, b + at, n) == 0) continue;
        return at + static_cast<uint64_t>(std::mismatch(a + at, a + at + n, b + at).first - (a + at));
    }
    return count;
}

std::string TrimmedText(const CTagArray& tree, uint16_t group, uint16_t element) {
    const CDicomTag* tag = tree.FindElement(group, element);
    if (tag == nullptr) return "none";
    std::string narrow;
    for (const wchar_t c : WithoutPadding(tag->GetValueText(L""))) narrow += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    return narrow;
}

class Differ {
public:
    Differ(const DiffInput& a, const DiffInput& b) : m_a{a, {}}, m_b{b, {}} {}

    std::vector<TreeDifference> Run() {
        CompareFiles();
        CompareLists(m_a.input.tree->GetElements().data(), m_a.input.tree->GetElements().size(),
                     m_b.input.tree->GetElements().data(), m_b.input.tree->GetElements().size(),
                     TopLevelCharacterSet(*m_a.input.tree), TopLevelCharacterSet(*m_b.input.tree));
        return std::move(m_found);
    }

private:
    // A difference of the files as a whole: no element, no path.
    void File(DiffKind kind, const char* aspect, std::string aText, std::string bText) {
        Add(kind, nullptr, nullptr, aspect, std::move(aText), std::move(bText));
    }

    void CompareFiles() {
        const DiffInput& a = m_a.input;
        const DiffInput& b = m_b.input;
        auto preamble = [](const DiffInput& in) { return in.hasPreamble ? "128-byte preamble and DICM" : "no preamble"; };
        if (a.hasPreamble != b.hasPreamble)
            File(DiffKind::File, "preamble", preamble(a), preamble(b));
        else if (a.hasPreamble && a.bytes != nullptr && b.bytes != nullptr && a.size >= 128 && b.size >= 128 &&
                 std::memcmp(a.bytes, b.bytes, 128) != 0)
            File(DiffKind::File, "preamble", "128-byte preamble with other bytes", "128-byte preamble with other bytes");
        const std::string aSyntax = TrimmedText(*a.tree, 0x0002, 0x0010), bSyntax = TrimmedText(*b.tree, 0x0002, 0x0010);
        if (aSyntax != bSyntax) File(DiffKind::File, "transfer-syntax", aSyntax, bSyntax);
        if (a.explicitVR != b.explicitVR)
            File(DiffKind::Encoding, "vr-encoding", a.explicitVR ? "explicit VR" : "implicit VR",
                 b.explicitVR ? "explicit VR" : "implicit VR");
        if (a.littleEndian != b.littleEndian)
            File(DiffKind::Encoding, "byte-order", a.littleEndian ? "little endian" : "big endian",
                 b.littleEndian ? "little endian" : "big endian");
        auto trailing = [](const DiffInput& in) { return std::to_string(in.trailingSize) + " trailing bytes"; };
        bool trailingDiffers = a.trailingSize != b.trailingSize;
        if (!trailingDiffers && a.trailingSize != 0 && a.bytes != nullptr && b.bytes != nullptr &&
            a.trailingSize <= a.size && b.trailingSize <= b.size)
            trailingDiffers = std::memcmp(a.bytes + a.size - a.trailingSize, b.bytes + b.size - b.trailingSize,
                                          static_cast<size_t>(a.trailingSize)) != 0;
        if (trailingDiffers) File(DiffKind::File, "trailing-bytes", trailing(a), trailing(b));
    }

    void Add(DiffKind kind, const CDicomTag* a, const CDicomTag* b, const char* aspect = "", std::string aText = {},
             std::string bText = {}) {
        TreeDifference d{kind, kind == DiffKind::OnlyInB ? m_b.path : m_a.path, a, b, aspect, std::move(aText),
                         std::move(bText)};
        m_found.push_back(std::move(d));
    }

    void CompareLists(CDicomTag* const* a, size_t aCount, CDicomTag* const* b, size_t bCount, const std::wstring& aSet,
                      const std::wstring& bSet) {
        // B's nodes by tag and occurrence; A's nodes find their partners there.
        std::unordered_map<uint64_t, size_t> bByKey;
        std::unordered_map<uint32_t, uint32_t> seen;
        bByKey.reserve(bCount);
        for (size_t j = 0; j < bCount; ++j) {
            const uint32_t tag = (static_cast<uint32_t>(b[j]->GetGroup()) << 16) | b[j]->GetElement();
            bByKey.emplace(Key(*b[j], seen[tag]++), j);
        }
        seen.clear();
        std::vector<size_t> partner(aCount, bCount);
        std::vector<bool> matched(bCount, false);
        for (size_t i = 0; i < aCount; ++i) {
            const uint32_t tag = (static_cast<uint32_t>(a[i]->GetGroup()) << 16) | a[i]->GetElement();
            const auto found = bByKey.find(Key(*a[i], seen[tag]++));
            if (found != bByKey.end()) {
                partner[i] = found->second;
                matched[found->second] = true;
            }
        }
        size_t j = 0;
        auto onlyInB = [&](size_t upTo) {
            for (; j < upTo; ++j)
                if (!matched[j]) {
                    m_b.path.push_back(Step(j, *b[j]));
                    Add(DiffKind::OnlyInB, nullptr, b[j]);
                    m_b.path.pop_back();
                }
        };
        for (size_t i = 0; i < aCount; ++i) {
            m_a.path.push_back(Step(i, *a[i]));
            if (partner[i] == bCount) {
                Add(DiffKind::OnlyInA, a[i], nullptr);
            } else {
                if (partner[i] >= j) onlyInB(partner[i]);
                if (partner[i] >= j) j = partner[i] + 1;
                m_b.path.push_back(Step(partner[i], *b[partner[i]]));
                ComparePair(*a[i], *b[partner[i]], aSet, bSet);
                m_b.path.pop_back();
            }
            m_a.path.pop_back();
        }
        onlyInB(bCount);
    }

    static DiffStep Step(size_t index, const CDicomTag& tag) {
        return DiffStep{static_cast<uint32_t>(index), tag.GetGroup(), tag.GetElement()};
    }

    void ComparePair(const CDicomTag& a, const CDicomTag& b, const std::wstring& aSet, const std::wstring& bSet) {
        if (a.GetVRText() != b.GetVRText()) Add(DiffKind::VR, &a, &b);
        if (a.IsUndefinedLength() != b.IsUndefinedLength())
            Add(DiffKind::Encoding, &a, &b, "length-form", a.IsUndefinedLength() ? "undefined length" : "defined length",
                b.IsUndefinedLength() ? "undefined length" : "defined length");
        if (IsFragment(a) && IsFragment(b)) {
            CompareFragments(a, b);
            return;
        }
        if (IsContainer(a) || IsContainer(b)) {
            const std::wstring aInner = CharacterSetForChildren(a, aSet), bInner = CharacterSetForChildren(b, bSet);
            CompareLists(a.GetChildren().data(), a.GetChildren().size(), b.GetChildren().data(), b.GetChildren().size(),
                         aInner, bInner);
            return;
        }
        // Lengths as the files store them: an odd length the model padded is not the even one.
        const uint32_t aLength = GetStoredValueLength(a), bLength = GetStoredValueLength(b);
        if (!a.IsUndefinedLength() && !b.IsUndefinedLength() && aLength != bLength) Add(DiffKind::Length, &a, &b);
        bool valueDiffers = ComparedText(a, aSet) != ComparedText(b, bSet);
        // A padding difference matters where the values read alike (a different value says more).
        const char* aPad = PaddingOf(m_a.input, a);
        const char* bPad = PaddingOf(m_b.input, b);
        const bool padDiffers = !valueDiffers && aPad != nullptr && bPad != nullptr && std::strcmp(aPad, bPad) != 0;
        if (padDiffers) Add(DiffKind::Encoding, &a, &b, "padding", aPad, bPad);
        // The texts can hide a difference (a cut text, a placeholder): the bytes as stored decide
        // where both files order their bytes alike; a padding byte is not a value.
        const uint8_t* aBytes = ValueBytes(m_a.input, a);
        const uint8_t* bBytes = ValueBytes(m_b.input, b);
        uint64_t differsAt = TreeDifference::kNoOffset;
        if (aBytes != nullptr && bBytes != nullptr && m_a.input.littleEndian == m_b.input.littleEndian) {
            uint64_t compared = std::min(aLength, bLength);
            if (padDiffers && aLength == bLength && compared > 0) --compared;
            const uint64_t first = FirstDifference(aBytes, bBytes, compared);
            if (first < compared) differsAt = first;
            if (aLength == bLength) valueDiffers = valueDiffers || differsAt != TreeDifference::kNoOffset;
        }
        if (valueDiffers) AddValue(a, b, differsAt);
    }

    // Fragments and the offset table hold bytes no text shows: their lengths and bytes as stored
    // are compared (items have no VR, so their bytes are never swapped).
    void CompareFragments(const CDicomTag& a, const CDicomTag& b) {
        if (a.IsUndefinedLength() || b.IsUndefinedLength()) return;
        const uint32_t aLength = a.GetValueLength(), bLength = b.GetValueLength();
        if (aLength != bLength) Add(DiffKind::Length, &a, &b);
        const uint8_t* aBytes = ValueBytes(m_a.input, a);
        const uint8_t* bBytes = ValueBytes(m_b.input, b);
        if (aBytes == nullptr || bBytes == nullptr) return;
        const uint64_t compared = std::min(aLength, bLength);
        const uint64_t first = FirstDifference(aBytes, bBytes, compared);
        if (first < compared) AddValue(a, b, first);
    }

    // A value difference; differsAt counts from the start of both values.
    void AddValue(const CDicomTag& a, const CDicomTag& b, uint64_t differsAt) {
        Add(DiffKind::Value, &a, &b);
        if (differsAt == TreeDifference::kNoOffset) return;
        m_found.back().aFirstDifference = a.GetValueOffset() + differsAt;
        m_found.back().bFirstDifference = b.GetValueOffset() + differsAt;
    }

    Side m_a;
    Side m_b;
    std::vector<TreeDifference> m_found;
};

}  // namespace

const char* DiffKindName(DiffKind kind) {
    switch (kind) {
        case DiffKind::OnlyInA: return "only-in-a";
        case DiffKind::OnlyInB: return "only-in-b";
        case DiffKind::VR: return "vr";
        case DiffKind::Length: return "length";
        case DiffKind::Value: return "value";
        case DiffKind::Encoding: return "encoding";
        case DiffKind::File: return "file";
    }
    return "";
}

std::vector<TreeDifference> DiffTrees(const DiffInput& a, const DiffInput& b) {
    static const CTagArray kEmpty;
    DiffInput left = a, right = b;
    if (left.tree == nullptr) left.tree = &kEmpty;
    if (right.tree == nullptr) right.tree = &kEmpty;
    return Differ(left, right).Run();
}
