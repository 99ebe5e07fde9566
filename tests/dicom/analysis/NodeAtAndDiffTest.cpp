// The chain of nodes at a byte (orveldump --at) and the structural diff of two trees
// (orveldump --diff), over files the test writer builds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dicom/read/DicomFile.h"
#include "dicom/model/ElementRange.h"
#include "dicom/model/NodeAt.h"
#include "dicom/analysis/TreeDiff.h"
#include "tests/support/DeferredCheck.h"
#include "tests/support/DicomWriter.h"
#include "tests/support/Load.h"

namespace {

const char kExplicitLE[] = "1.2.840.10008.1.2.1";

// Tags and indexes of the chain, "GGGG,EEEE#i" top level first.
std::vector<std::string> Chain(const CTagArray& tree, uint64_t offset) {
    std::vector<std::string> out;
    for (const NodeAtStep& step : FindNodesAt(tree, offset)) {
        char text[32];
        std::snprintf(text, sizeof text, "%04X,%04X#%u", step.node->GetGroup(), step.node->GetElement(), step.index);
        out.push_back(text);
        EXPECT_LE(GetElementByteRange(*step.node).first, offset);
        EXPECT_GE(GetElementByteRange(*step.node).last, offset);
    }
    return out;
}

using Strings = std::vector<std::string>;

// A sequence of two items (the first of undefined length), encapsulated pixel data with two
// fragments; header numbers as the writer counts them.
DicomWriter NestedFile() {
    DicomWriter w;
    w.Preamble().Meta(kExplicitLE)
        .Element(0x0010, 0x0010, "PN", std::string("Doe^John"))  // header 4
        .BeginSequence(0x0008, 0x1140, true)                      // header 5
        .BeginItem(true)                                          // header 6
        .Element(0x0008, 0x1150, "UI", std::string("1.2.3.4\0", 8))  // header 7
        .EndItem()
        .BeginItem(false)                                         // header 8
        .Element(0x0008, 0x1155, "UI", std::string("1.2.3.5\0", 8))  // header 9
        .EndItem()
        .EndSequence()
        .Filler()
        .BeginFragments()                                         // header 16, offset table 17
        .Fragment(std::vector<uint8_t>(6, 0xAB))                  // header 18
        .Fragment(std::vector<uint8_t>(4, 0xCD))                  // header 19
        .EndFragments();
    return w;
}

}  // namespace

TEST(NodeAt, ChainFromTheTopLevelDownAtHeadersValuesDelimitersAndFragments) {
    const DicomWriter w = NestedFile();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    // A header byte and a value byte of a top-level element.
    EXPECT_EQ(Chain(file, w.HeaderOffset(4)), Strings({"0010,0010#4"}));
    EXPECT_EQ(Chain(file, w.HeaderOffset(4) + 8 + 7), Strings({"0010,0010#4"}));
    // A value byte inside the first item, and the first byte of that item's delimiter.
    EXPECT_EQ(Chain(file, w.HeaderOffset(7) + 9), Strings({"0008,1140#5", "FFFE,E000#0", "0008,1150#0"}));
    EXPECT_EQ(Chain(file, w.HeaderOffset(7) + 16), Strings({"0008,1140#5", "FFFE,E000#0"}));
    // The header of the second item; the sequence delimiter's last byte.
    EXPECT_EQ(Chain(file, w.HeaderOffset(8) + 3), Strings({"0008,1140#5", "FFFE,E000#1"}));
    EXPECT_EQ(Chain(file, w.HeaderOffset(10) - 1), Strings({"0008,1140#5"}));
    // Fragments: the offset table is item 0, the second fragment item 2.
    EXPECT_EQ(Chain(file, w.HeaderOffset(19) + 8 + 3), Strings({"7FE0,0010#12", "FFFE,E000#2"}));
    EXPECT_EQ(Chain(file, w.HeaderOffset(16) + 2), Strings({"7FE0,0010#12"}));
    // No element: preamble, "DICM", past the end.
    EXPECT_TRUE(Chain(file, 0).empty());
    EXPECT_TRUE(Chain(file, 131).empty());
    EXPECT_TRUE(Chain(file, w.Size()).empty());
    EXPECT_TRUE(Chain(file, UINT64_MAX).empty());
}

TEST(NodeAt, RefusedFileIsSearchedInItsPartialTree) {
    DicomWriter w = NestedFile();
    std::vector<uint8_t> bytes = w.Bytes();
    const uint64_t cut = w.HeaderOffset(9) + 8 + 3;  // inside the second item's element
    bytes.resize(cut);
    DicomWriter truncated;
    truncated.Raw(bytes);
    CDicomFile file;
    ParseOptions options;
    options.keepPartialTree = true;
    file.SetParseOptions(options);
    ASSERT_FALSE(Load(truncated, file));
    ASSERT_NE(file.GetFailure(), nullptr);
    const CTagArray& tree = file.GetFailure()->tree;
    EXPECT_EQ(Chain(tree, w.HeaderOffset(7) + 9), Strings({"0008,1140#5", "FFFE,E000#0", "0008,1150#0"}));
    // The open item holds its header only; the element that broke the rule is not in the tree.
    EXPECT_EQ(Chain(tree, w.HeaderOffset(8) + 2), Strings({"0008,1140#5", "FFFE,E000#1"}));
    EXPECT_TRUE(Chain(tree, w.HeaderOffset(9) + 2).empty());
}

namespace {

struct Parsed {
    CDicomFile file;
    std::vector<uint8_t> bytes;
    DiffInput input;
};

// deferred: every value of more than one byte left in the file, as orveldump parses large ones.
void Parse(const DicomWriter& w, Parsed& p, bool deferred = false) {
    p.bytes = w.Bytes();
    if (deferred)
        ASSERT_TRUE(deferred_check::ParseDeferred(p.bytes.data(), p.bytes.size(), p.file, 1, false));
    else
        ASSERT_TRUE(Load(w, p.file));
    p.input.tree = &p.file;
    p.input.bytes = p.bytes.data();
    p.input.size = p.bytes.size();
    p.input.hasPreamble = p.file.HasPreamble();
    p.input.explicitVR = p.file.IsExplicitVR();
    p.input.littleEndian = p.file.IsLittleEndian();
    p.input.trailingSize = p.file.GetTrailingSize();
}

// "kind aspect path" per difference, the path as tags with indexes.
Strings Differences(const Parsed& a, const Parsed& b) {
    Strings out;
    for (const TreeDifference& d : DiffTrees(a.input, b.input)) {
        std::string line = DiffKindName(d.kind);
        if (*d.aspect) line += std::string(" ") + d.aspect;
        for (const DiffStep& step : d.path) {
            char text[32];
            std::snprintf(text, sizeof text, " %04X,%04X#%u", step.group, step.element, step.index);
            line += text;
        }
        out.push_back(line);
    }
    return out;
}

// A small data set in the given encoding: patient name and ID, a sequence with an item, rows.
DicomWriter Study(bool explicitVR, bool littleEndian, const std::string& syntax, const std::string& name = "Doe^John",
                  bool extra = false) {
    DicomWriter w(explicitVR, littleEndian);
    w.Preamble().Meta(syntax)
        .Element(0x0010, 0x0010, "PN", name)
        .Element(0x0010, 0x0020, "LO", std::string("ID1 "));
    if (extra) w.Element(0x0010, 0x0030, "DA", std::string("19700101"));
    w.BeginSequence(0x0008, 0x1140, false)
        .BeginItem(false)
        .Element(0x0008, 0x1150, "UI", std::string("1.2.3.4\0", 8))
        .EndItem()
        .EndSequence()
        .US(0x0028, 0x0010, 512)
        .Element(0x0020, 0x0010, "SH", std::string("S1"))
        .Element(0x0020, 0x0011, "IS", std::string("7 "))
        .Element(0x0020, 0x0013, "IS", std::string("1 "));
    return w;
}

}  // namespace

TEST(TreeDiff, SameFileAgreesAndOneChangedElementIsOneValueAndLength) {
    Parsed a, same, changed;
    Parse(Study(true, true, kExplicitLE), a);
    Parse(Study(true, true, kExplicitLE), same);
    Parse(Study(true, true, kExplicitLE, "Roe^Jane^X"), changed);
    EXPECT_TRUE(Differences(a, same).empty());
    EXPECT_EQ(Differences(a, changed), Strings({"length 0010,0010#4", "value 0010,0010#4"}));
}

TEST(TreeDiff, ElementsOnlyInOneFileKeepTheirPlaceAndTheirOwnTreesPath) {
    Parsed a, b;
    Parse(Study(true, true, kExplicitLE), a);
    Parse(Study(true, true, kExplicitLE, "Doe^John", true), b);
    EXPECT_EQ(Differences(a, b), Strings({"only-in-b 0010,0030#6"}));
    EXPECT_EQ(Differences(b, a), Strings({"only-in-a 0010,0030#6"}));
}

TEST(TreeDiff, SameDataInAnotherTransferSyntaxDiffersOnlyInEncoding) {
    Parsed a, implicitLE, bigEndian;
    Parse(Study(true, true, kExplicitLE), a);
    Parse(Study(false, true, "1.2.840.10008.1.2"), implicitLE);
    Parse(Study(true, false, "1.2.840.10008.1.2.2"), bigEndian);
    // The meta group names the transfer syntax; the data set reads alike (sequence lengths
    // differ with the header sizes but follow from their children).
    EXPECT_EQ(Differences(a, implicitLE),
              Strings({"file transfer-syntax", "encoding vr-encoding", "length 0002,0010#3", "value 0002,0010#3"}));
    EXPECT_EQ(Differences(a, bigEndian), Strings({"file transfer-syntax", "encoding byte-order", "value 0002,0010#3"}));
}

TEST(TreeDiff, PaddingAndLengthFormAreEncodingDifferences) {
    DicomWriter padA, padB;
    padA.Preamble().Meta(kExplicitLE).Element(0x0008, 0x1150, "UI", std::string("1.2 ")).Filler();
    padB.Preamble().Meta(kExplicitLE).Element(0x0008, 0x1150, "UI", std::string("1.2\0", 4)).Filler();
    Parsed a, b;
    Parse(padA, a);
    Parse(padB, b);
    const Strings padding = Differences(a, b);
    // The value texts agree once the padding is trimmed; only the padding byte differs.
    EXPECT_EQ(padding, Strings({"encoding padding 0008,1150#4"}));
    // Without one file's bytes its padding is unknown, not "not padded": nothing to report.
    b.input.bytes = nullptr;
    EXPECT_TRUE(Differences(a, b).empty());
    EXPECT_TRUE(Differences(b, a).empty());

    DicomWriter definedSeq, undefinedSeq;
    definedSeq.Preamble().Meta(kExplicitLE).BeginSequence(0x0008, 0x1140, false).BeginItem(false)
        .Element(0x0008, 0x1150, "UI", std::string("1.2\0", 4)).EndItem().EndSequence().Filler();
    undefinedSeq.Preamble().Meta(kExplicitLE).BeginSequence(0x0008, 0x1140, true).BeginItem(true)
        .Element(0x0008, 0x1150, "UI", std::string("1.2\0", 4)).EndItem().EndSequence().Filler();
    Parsed c, d;
    Parse(definedSeq, c);
    Parse(undefinedSeq, d);
    EXPECT_EQ(Differences(c, d), Strings({"encoding length-form 0008,1140#4", "encoding length-form 0008,1140#4 FFFE,E000#0"}));
}

namespace {

// Encapsulated pixel data after the fillers: the offset table and two fragments.
DicomWriter Fragments(const std::vector<uint8_t>& table, const std::vector<uint8_t>& first,
                      const std::vector<uint8_t>& second) {
    DicomWriter w;
    w.Preamble().Meta(kExplicitLE).Filler().BeginFragments(table).Fragment(first).Fragment(second).EndFragments();
    return w;
}

}  // namespace

TEST(TreeDiff, FragmentsAndTheOffsetTableAreValuesComparedByLengthAndBytes) {
    const std::vector<uint8_t> first(6, 0xAB), second(4, 0xCD);
    std::vector<uint8_t> changed = second, longer = first;
    changed[2] = 0xCE;
    longer.push_back(0xAB);
    Parsed a, deferred, byte, length, table;
    Parse(Fragments({}, first, second), a);
    // Fragments left in the file compare through the file's bytes.
    Parse(Fragments({}, first, second), deferred, true);
    Parse(Fragments({}, first, changed), byte, true);
    Parse(Fragments({}, longer, second), length);
    Parse(Fragments({0, 0, 0, 0}, first, second), table);
    ASSERT_EQ(deferred.file.FindElement(0x7FE0, 0x0010)->GetChildren().at(1)->Data().GetBytes(), nullptr);
    EXPECT_TRUE(Differences(a, deferred).empty());
    EXPECT_EQ(Differences(a, byte), Strings({"value 7FE0,0010#10 FFFE,E000#2"}));
    EXPECT_EQ(Differences(a, length), Strings({"length 7FE0,0010#10 FFFE,E000#1"}));
    EXPECT_EQ(Differences(table, a), Strings({"length 7FE0,0010#10 FFFE,E000#0"}));
    // The first differing byte, in each file: B's second fragment lies five bytes later.
    Parsed shifted;
    Parse(Fragments({0, 0, 0, 0}, longer, second), shifted);
    const std::vector<TreeDifference> found = DiffTrees(byte.input, shifted.input);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[2].kind, DiffKind::Value);
    EXPECT_EQ(found[2].aFirstDifference, found[2].a->GetValueOffset() + 2);
    EXPECT_EQ(found[2].bFirstDifference, found[2].aFirstDifference + 4 + 1);
}

TEST(TreeDiff, LengthsAreComparedAsStoredNotAsPadded) {
    auto file = [](const std::string& value, const std::string& next, uint16_t nextGroup = 0x0010) {
        DicomWriter w;
        w.Preamble().Meta(kExplicitLE).Element(0x0008, 0x0070, "LO", value).Element(nextGroup, 0x0010, "LO", next)
            .Filler();
        return w;
    };
    Parsed odd, even, oddOtherNext, oddChanged;
    Parse(file("ABC", "Doe"), odd);
    Parse(file("ABC ", "Doe"), even);
    Parse(file("ABC", "Doe", 0x0012), oddOtherNext);
    Parse(file("ABD", "Doe"), oddChanged);
    const CDicomTag* stored = odd.file.FindElement(0x0008, 0x0070);
    EXPECT_EQ(stored->GetValueLength(), 4u);  // the model's padded copy
    EXPECT_EQ(GetStoredValueLength(*stored), 3u);
    EXPECT_EQ(GetStoredValueLength(*even.file.FindElement(0x0008, 0x0070)), 4u);
    EXPECT_EQ(Differences(odd, even), Strings({"length 0008,0070#4", "encoding padding 0008,0070#4"}));
    // The byte after an odd value belongs to the next element, not to the value.
    EXPECT_EQ(Differences(odd, oddOtherNext), Strings({"only-in-a 0010,0010#5", "only-in-b 0012,0010#5"}));
    const std::vector<TreeDifference> changed = DiffTrees(odd.input, oddChanged.input);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].kind, DiffKind::Value);
    EXPECT_EQ(changed[0].aFirstDifference, stored->GetValueOffset() + 2);
}
