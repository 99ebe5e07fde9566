// The walk of the checks: it visits the meta group, the data set with its sequences, items and
// fragments, and the elements after the top-level pixel data, in file order, and calls the rule
// families at each node (CheckStructure.cpp, CheckHeader.cpp, CheckText.cpp, CheckPixel.cpp,
// CheckFile.cpp). Problems are kept in the order found, then sorted by offset, stably.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dicom/analysis/Check.h"
#include "dicom/analysis/CheckFormats.h"
#include "dicom/analysis/CheckRules.h"
#include "dicom/dictionary/DicomVR.h"
#include "dicom/io/ByteOrder.h"
#include "dicom/model/DicomTag.h"
#include "dicom/model/NodeStore.h"

namespace check {

constexpr uint32_t Key(uint16_t group, uint16_t element) { return (uint32_t(group) << 16) | element; }

// The group under which the dictionary lists a tag: the even overlay groups 6000-601E under
// 6000 and the even curve groups 5000-501E under 5000 (the odd groups among them are private),
// the waveform groups 54xx under 5400 as the load does.
uint16_t DictionaryGroup(uint16_t group);

// The one VR the dictionary gives a tag (with its group folded as above), or null where it
// gives none or several.
const VRInfo* DictionaryVR(uint16_t group, uint16_t element);

// A private tag: an odd group above 0008 other than FFFF.
inline bool IsPrivateGroup(uint16_t group) { return (group & 1) != 0 && group > 0x0008 && group != 0xFFFF; }

// What one element looks like in the file.
struct Stored {
    Encoding encoding;
    bool headerRead = false;     // the header lies in the file and was understood
    uint32_t length = 0;         // the length field as stored
    const VRInfo* fileVR = nullptr;  // explicit VR: the VR the header names (null if no VR code)
    uint8_t vrBytes[2] = {};
};

// The elements of one data set (the top level or an item) that other checks consult.
struct DataSetFacts {
    const CDicomTag* characterSet = nullptr;
    const CDicomTag* rows = nullptr;
    const CDicomTag* columns = nullptr;
    const CDicomTag* bitsAllocated = nullptr;
    const CDicomTag* samplesPerPixel = nullptr;
    const CDicomTag* numberOfFrames = nullptr;
    const CDicomTag* photometric = nullptr;
    bool hasGroupLength = false;
    std::vector<uint32_t> creators;   // group << 8 | block of each private creator
};

// The tags of one data set seen so far: those that ascended, in order (most files hold only
// these), and the others, so that every repeat is found in logarithmic time.
struct TagOrder {
    bool any = false;
    uint32_t previous = 0;
    std::vector<std::pair<uint32_t, uint64_t>> ascending;   // key, tag offset
    std::map<uint32_t, uint64_t> others;                    // key, tag offset
};

// Nodes read from the bytes after the top-level pixel data, for the check alone.
struct TrailingElements {
    CNodeStore store;
    std::vector<CDicomTag*> elements;
};

class Checker {
public:
    explicit Checker(const CheckInput& input) : m_in(input) {}

    std::vector<CheckProblem> Run();

private:
    const CheckInput& m_in;
    std::vector<CheckProblem> m_problems;
    std::vector<CheckPathStep> m_path;
    bool m_inMetaGroup = false;
    std::shared_ptr<const void> m_outsideTree;   // the owner of the nodes being checked, where not the tree's

    // ---- the walk and what it reads (CheckWalker.cpp)

    bool Has(uint64_t offset, uint64_t count) const { return offset <= m_in.size && count <= m_in.size - offset; }
    const uint8_t* At(uint64_t offset) const { return m_in.bytes + offset; }

    void Report(CheckRule rule, const CDicomTag* element, uint64_t offset, std::string message);
    // A problem of the element whose step is the last on the path.
    void ReportAt(const CDicomTag& tag, CheckRule rule, std::string message) {
        Report(rule, &tag, tag.GetTagOffset(), std::move(message));
    }
    // The problem reported last, to add the elements its message quotes.
    CheckProblem& Last() { return m_problems.back(); }

    Stored StoredOf(const CDicomTag& tag, Encoding fallback) const;
    static const VRInfo* RuleVR(const CDicomTag& tag, const Stored& stored);
    Span ValueOf(const CDicomTag& tag, const Stored& stored) const;
    bool NumberOf(const CDicomTag* tag, Encoding fallback, uint32_t& value) const;
    bool IntegerOf(const CDicomTag* tag, Encoding fallback, uint32_t& value) const;
    static DataSetFacts FactsOf(const CDicomTag* const* nodes, size_t count);
    static bool IsUN(const Stored& stored) { return stored.fileVR != nullptr && stored.fileVR->kind == VRKind::UN; }
    static bool IsItemOrDelimiter(const CDicomTag& tag);

    void DataSet(const CDicomTag* const* nodes, size_t count, const CharacterSet& inherited, Encoding encoding,
                 bool topLevel, size_t first);
    void Element(const CDicomTag& tag, const Stored& stored, const DataSetFacts& facts,
                 const CharacterSet& characterSet, bool topLevel);
    void Sequence(const CDicomTag& sequence, const Stored& stored, const CharacterSet& set);
    void Fragments(const CDicomTag& pixel, const Stored& stored);
    size_t MetaGroupCount() const;

    // ---- structure (CheckStructure.cpp)

    void ReportItemOutside(const CDicomTag& tag);
    void CheckOrder(const CDicomTag& tag, TagOrder& order);
    void CheckGroupLength(const CDicomTag& tag, const Stored& stored, uint64_t bytes);
    void CheckCreatorPresent(const CDicomTag& tag, const DataSetFacts& facts);
    void CheckReservedPrivate(const CDicomTag& tag);
    void CheckCreatorNotEmpty(const CDicomTag& tag, const Stored& stored, Span value);
    // An odd length of a value, item, offset table or fragment (`what`); undefined ones are not given.
    void CheckOddLength(const CDicomTag& tag, uint32_t length, const char* what);
    void CheckItem(const CDicomTag& item, const Stored& stored);
    void CheckUNSequence(const CDicomTag& tag, const Stored& stored);

    // ---- headers (CheckHeader.cpp)

    void CheckExplicitVR(const CDicomTag& tag, const Stored& stored);
    void CheckUnitLength(const CDicomTag& tag, const Stored& stored, const VRInfo& vr);

    // ---- text values (CheckText.cpp)

    void Text(const CDicomTag& tag, const VRInfo& vr, Span value, const CharacterSet& set);
    void CheckCharacterSetTerms(const CDicomTag& tag, Span value);

    // ---- pixel data (CheckPixel.cpp)

    void CheckPixelVR(const CDicomTag& tag, const Stored& stored, const DataSetFacts& facts, bool fragments,
                      bool undefined);
    void CheckOffsetTable(const CDicomTag& table, const Stored& stored, const CDicomTagList& items);
    void CheckPixelLength(const CDicomTag& pixel, const Stored& stored, const DataSetFacts& facts);

    // ---- the file as a whole (CheckFile.cpp)

    void CheckPreamble();
    void CheckMetaGroup();
    void CheckMetaPlace(const CDicomTag& tag, bool topLevel);
    Span UidOf(const CDicomTag& tag, Encoding fallback) const;
    void NotChecked();
    uint64_t ReadTrailingElements(uint64_t at, Encoding encoding, TrailingElements& out, bool& capped) const;
    void CheckTrailingBytes(Encoding encoding);
};

}  // namespace check
