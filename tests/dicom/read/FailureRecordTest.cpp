// Where and why a refused file was refused: offset, path, reason and the partial tree, over
// files built byte by byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dicom/read/DicomFile.h"
#include "tests/support/DicomWriter.h"
#include "tests/support/FailureCheck.h"
#include "tests/support/Load.h"

namespace {

const char kExplicitLE[] = "1.2.840.10008.1.2.1";

struct Step {
    uint32_t index;
    uint16_t group, element;
};

struct Case {
    std::string name;
    DicomWriter file;
    std::optional<uint64_t> offset;
    std::vector<Step> path;
    std::string reason;  // exact, or the start of the reason when it ends in "..."
};

const ParseFailure& Refuse(const DicomWriter& w, CDicomFile& file) {
    ParseOptions options;
    options.keepPartialTree = true;
    file.SetParseOptions(options);
    EXPECT_FALSE(Load(w, file));
    EXPECT_TRUE(file.GetElements().empty());
    static const ParseFailure kNone;
    return file.GetFailure() != nullptr ? *file.GetFailure() : kNone;
}

DicomWriter Part10() {
    DicomWriter w;
    w.Preamble().Meta(kExplicitLE);
    return w;
}

std::string At(uint64_t offset) { return " at offset " + std::to_string(offset); }

}  // namespace

TEST(FailureRecord, OffsetPathAndReasonNameTheRuleThatBroke) {
    std::vector<Case> cases;
    {
        DicomWriter w = Part10();
        w.Filler(3).Header(0x0010, 0x0010, "PN", 300).Raw(std::string(120, 'x'));
        const uint64_t at = w.HeaderOffset(7);
        cases.push_back({"value past the end", w, at, {{7, 0x0010, 0x0010}},
                         "value length 300 of (0010,0010)" + At(at) + " runs past the end of the file (120 bytes left)"});
    }
    {
        DicomWriter w = Part10();
        w.Header(0x0008, 0x1140, "SQ", 8).Tag(0x0008, 0x0016).U32(0).Filler();
        const uint64_t at = w.HeaderOffset(4) + 12;
        cases.push_back({"item tag required", w, at, {{4, 0x0008, 0x1140}, {0, 0x0008, 0x0016}},
                         "(0008,0016)" + At(at) + " where an item tag (FFFE,E000) is required"});
    }
    {
        DicomWriter w = Part10();
        w.Filler().Raw(std::string("abc"));
        cases.push_back({"bytes left over", w, w.Size() - 3, {}, "3 bytes left after the last element"});
    }
    {
        // Inside an undefined-length item of an undefined-length sequence: a header cut short.
        DicomWriter w = Part10();
        w.Filler().BeginSequence(0x0040, 0x0275, true).BeginItem(true).Element(0x0040, 0x0009, "SH", std::string("AB"));
        const uint64_t at = w.Size();
        w.Tag(0x0040, 0x1001).Raw(std::string("SH"));
        cases.push_back({"header cut inside an item", w, at, {{10, 0x0040, 0x0275}, {0, 0xFFFE, 0xE000}, {1, 0x0040, 0x1001}},
                         "header of (0040,1001)" + At(at) + " runs past the end of the file (6 bytes left)"});
    }
    {
        // The file ends inside an item before its delimiter: no header began, so no element.
        DicomWriter w = Part10();
        w.Filler().BeginSequence(0x0040, 0x0275, true).BeginItem(true).Element(0x0040, 0x0009, "SH", std::string("AB"));
        const uint64_t item = w.HeaderOffset(11);
        cases.push_back({"end inside an item", w, w.Size(), {{10, 0x0040, 0x0275}, {0, 0xFFFE, 0xE000}},
                         "the file ends" + At(w.Size()) + " inside (FFFE,E000)" + At(item) + ", where a tag is expected"});
    }
    {
        // A fragment whose value runs past the end; the delimiter of the pixel data is missing.
        DicomWriter w = Part10();
        w.Filler().BeginFragments().Fragment(BytesOf({1, 2, 3, 4}));
        const uint64_t at = w.Size();
        w.Tag(0xFFFE, 0xE000).U32(100).Raw(BytesOf({5, 6}));
        cases.push_back({"fragment past the end", w, at, {{10, 0x7FE0, 0x0010}, {2, 0xFFFE, 0xE000}},
                         "value length 100 of (FFFE,E000)" + At(at) + " runs past the end of the file (2 bytes left)"});
    }
    {
        DicomWriter w = Part10();
        w.Filler().BeginFragments();
        const uint64_t at = w.Size();
        w.Tag(0x0008, 0x0016).U32(0).Filler();
        cases.push_back({"fragment tag required", w, at, {{10, 0x7FE0, 0x0010}, {1, 0x0008, 0x0016}},
                         "(0008,0016)" + At(at) +
                             " where an item tag (FFFE,E000) or the sequence delimiter (FFFE,E0DD) is required"});
    }
    {
        DicomWriter w = Part10();
        w.Filler();
        const uint64_t at = w.Size();
        w.Element(0x8000, 0x0010, "LO", std::string("XX")).Filler();
        cases.push_back({"group 8000", w, at, {{10, 0x8000, 0x0010}}, "(8000,0010)" + At(at) + ": group 8000..."});
    }
    {
        DicomWriter w = Part10();
        w.Filler(1);
        cases.push_back({"too few elements", w, std::nullopt, {},
                         "only 5 top-level elements (meta elements included); at least 6 are required"});
    }
    {
        DicomWriter w;
        w.Raw(std::string("not a DICOM file at all, just text"));
        cases.push_back({"not DICOM, short", w, 0, {}, "the file has 34 bytes, too few for a preamble and \"DICM\"..."});
        w.Raw(std::string(200, 'x'));
        cases.push_back({"not DICOM", w, 0, {}, "no \"DICM\" at offset 128, and the first tag..."});
    }
    {
        DicomWriter w;
        w.Raw(std::string(128, '\0')).Raw(std::string("DICMPAPYRUS 3.0")).Filler();
        cases.push_back({"PAPYRUS", w, 132, {}, "a PAPYRUS file (\"PAPYRUS\" at offset 132) is not read"});
    }
    {
        DicomWriter w;
        w.Preamble().Element(0x0008, 0x0050, "SH", std::string("AB")).Filler();
        cases.push_back({"implausible first tag after DICM", w, 132, {}, "the first tag after \"DICM\"..."});
    }
    {
        // Deflated: the compressed bytes after the meta group are read as elements and fail;
        // the reason says why nobody should look for a corrupt element there.
        DicomWriter w;
        w.Preamble().Meta("1.2.840.10008.1.2.1.99").Raw(BytesOf({0x8D, 0x52, 0xCB, 0x6E, 0xDB, 0x30, 0x10}));
        cases.push_back({"deflated", w, w.Size() - 7, {{4, 0x528D, 0x6ECB}},
                         "the data set is deflate-compressed (1.2.840.10008.1.2.1.99) and is not inflated..."});
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CDicomFile file;
        const ParseFailure& failure = Refuse(c.file, file);
        EXPECT_EQ(failure.offset, c.offset);
        std::vector<std::pair<uint32_t, uint32_t>> path, expected;
        for (const FailureStep& s : failure.path) path.push_back({s.index, uint32_t(s.group) << 16 | s.element});
        for (const Step& s : c.path) expected.push_back({s.index, uint32_t(s.group) << 16 | s.element});
        EXPECT_EQ(path, expected);
        if (c.reason.size() > 3 && c.reason.compare(c.reason.size() - 3, 3, "...") == 0)
            EXPECT_EQ(failure.reason.substr(0, c.reason.size() - 3), c.reason.substr(0, c.reason.size() - 3)) << failure.reason;
        else
            EXPECT_EQ(failure.reason, c.reason);
        EXPECT_EQ(failure_check::Check(file, c.file.Size(), true), "");
    }
}

TEST(FailureRecord, PartialTreeHoldsWhatWasReadWithOpenContainersIncomplete) {
    // Sequence > item > (element read whole, nested sequence > item > element cut short).
    DicomWriter w = Part10();
    w.Filler().BeginSequence(0x0040, 0x0275, true).BeginItem(true).Element(0x0040, 0x0009, "SH", std::string("AB"))
        .Header(0x0040, 0x0100, "SQ", 200).Tag(0xFFFE, 0xE000).U32(150).Element(0x0008, 0x0060, "CS", std::string("MR"));
    w.Header(0x0040, 0x0001, "AE", 40).Raw(std::string(10, 'x'));
    CDicomFile file;
    const ParseFailure& failure = Refuse(w, file);
    ASSERT_EQ(failure.path.size(), 5u);
    EXPECT_EQ(failure.offset, w.HeaderOffset(15));

    const std::vector<CDicomTag*>& top = failure.tree.GetElements();
    ASSERT_EQ(top.size(), 11u);
    for (size_t i = 0; i < 10; ++i) EXPECT_TRUE(top[i]->IsComplete()) << i;
    const CDicomTag* outer = top[10];
    ASSERT_EQ(outer->GetChildren().size(), 1u);
    const CDicomTag* item = outer->GetChildren()[0];
    ASSERT_EQ(item->GetChildren().size(), 2u);
    const CDicomTag* inner = item->GetChildren()[1];
    ASSERT_EQ(inner->GetChildren().size(), 1u);
    const CDicomTag* innerItem = inner->GetChildren()[0];
    ASSERT_EQ(innerItem->GetChildren().size(), 1u);
    const CDicomTag* last = innerItem->GetChildren()[0];
    EXPECT_TRUE(last->IsComplete() && item->GetChildren()[0]->IsComplete());
    for (const CDicomTag* open : {outer, item, inner, innerItem}) {
        EXPECT_FALSE(open->IsComplete());
        // An open container ends where its last child read whole ends.
        EXPECT_EQ(open->GetEndOffset(), last->GetEndOffset());
    }
    EXPECT_EQ(last->GetEndOffset(), w.HeaderOffset(15));

    // Without the option the record is the same but holds no tree, and the viewer's object is
    // empty either way.
    CDicomFile plain;
    ASSERT_FALSE(Load(w, plain));
    ASSERT_NE(plain.GetFailure(), nullptr);
    EXPECT_EQ(plain.GetFailure()->reason, failure.reason);
    EXPECT_TRUE(plain.GetFailure()->tree.GetElements().empty());
    // A parse that succeeds clears the record.
    DicomWriter good = Part10();
    good.Filler();
    EXPECT_TRUE(Load(good, plain));
    EXPECT_EQ(plain.GetFailure(), nullptr);
}

TEST(FailureRecord, NestingBoundNamesTheSequenceThatWentTooDeep) {
    DicomWriter w = Part10();
    for (int i = 0; i <= kMaxSequenceDepth; ++i) w.BeginSequence(0x0008, 0x1140, true).BeginItem(true);
    CDicomFile file;
    const ParseFailure& failure = Refuse(w, file);
    EXPECT_EQ(failure.reason, "sequence nesting deeper than 64");
    EXPECT_EQ(failure.offset, w.HeaderOffset(4 + 2 * kMaxSequenceDepth));
    // 64 sequences and their items are open; the 65th sequence broke the rule.
    ASSERT_EQ(failure.path.size(), 2u * kMaxSequenceDepth + 1);
    EXPECT_EQ(failure.path.back().group, 0x0008);
    EXPECT_EQ(failure.path.back().index, 0u);
    EXPECT_EQ(failure_check::Check(file, w.Size(), true), "");
}

TEST(FailureRecord, BareDataSetReadAgainAsImplicitKeepsBothReasons) {
    // Looks explicit (a VR at bytes 4 and 5) but an element's value runs past the end: read
    // again as implicit VR, which fails at once; the record is the implicit one's.
    DicomWriter w(true, true);
    // At least 132 bytes, or it would be read as implicit VR from the start.
    w.Element(0x0008, 0x0005, "CS", std::string("ISO_IR 100")).Filler(10).Header(0x0010, 0x0010, "PN", 50).Raw(std::string("AB"));
    CDicomFile file;
    const ParseFailure& failure = Refuse(w, file);
    EXPECT_EQ(failure.firstReason,
              "value length 50 of (0010,0010)" + At(w.HeaderOffset(11)) + " runs past the end of the file (2 bytes left)");
    EXPECT_EQ(failure.explicitVR, std::optional<bool>(false));
    EXPECT_EQ(failure.hasPreamble, std::optional<bool>(false));
    EXPECT_EQ(failure.offset, 0u);
    // Read as implicit VR, "CS" and the 2-byte length are a 4-byte length.
    EXPECT_EQ(failure.reason, "value length 676675 of (0008,0005) at offset 0 runs past the end of the file (" +
                                  std::to_string(w.Size() - 8) + " bytes left)");
    EXPECT_EQ(failure_check::Check(file, w.Size(), true), "");
}

#ifndef _WIN32
TEST(FailureRecord, FileOfTwoGiBIsRefusedAtItsStart) {
    // Sparse: no disk space is taken for it.
    DicomWriter w = Part10();
    const std::string path = w.WriteTempFile("orvel_two_gib.dcm");
    std::error_code error;
    std::filesystem::resize_file(path, uint64_t(1) << 31, error);
    if (error) GTEST_SKIP() << "no sparse file of 2 GiB here";
    CDicomFile file;
    EXPECT_FALSE(file.LoadFile(WidePath(path)));
    std::filesystem::remove(path, error);
    ASSERT_NE(file.GetFailure(), nullptr);
    EXPECT_EQ(file.GetFailure()->offset, 0u);
    // Where file offsets have 32 bits the size cannot be measured; the reason says so.
    const std::string& reason = file.GetFailure()->reason;
    EXPECT_TRUE(reason == "the file is 2147483648 bytes long; files of 2 GiB or more are not read" ||
                reason == "the file is too large to measure; files of 2 GiB or more are not read")
        << reason;
}
#endif
