// Encoding checks: one clean file, in every encoding, reports nothing above info; each defect
// planted in it is reported with its rule id, at the offset of the element concerned.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "dicom/analysis/Check.h"
#include "dicom/read/DicomFile.h"
#include "tests/support/DicomWriter.h"
#include "tests/support/Load.h"

namespace {

// One element of a planned file. A sequence ("SQ", or "UN" for an undefined-length UN element
// whose item is written implicit VR) holds one item with the given elements.
struct Planned {
    uint16_t group, element;
    std::string vr;
    std::string value;
    int us = -1;                    // a US value, written in the data set's byte order
    std::vector<Planned> item = {};
};

std::string Us(uint16_t value) { return std::string{static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)}; }
std::string Ul(uint32_t value) { return Us(value & 0xFFFF) + Us(static_cast<uint16_t>(value >> 16)); }

struct Plan {
    bool preamble = true;
    bool explicitVR = true;
    bool littleEndian = true;
    std::vector<Planned> meta;      // written explicit VR little endian after (0002,0000)
    long metaGroupLength = -1;      // -1: the right one
    bool metaGroupLengthElement = true;   // false: no (0002,0000) at all
    std::vector<Planned> dataSet;
    std::string pixel = std::string(16, '\x7F');   // native pixel data; empty for none
    std::vector<std::string> fragments;            // encapsulated instead when not empty
    std::vector<uint32_t> offsetTable;
    std::string trailing;
};

Plan CleanPlan(const std::string& syntax = "1.2.840.10008.1.2.1") {
    Plan plan;
    std::string paddedSyntax = syntax;
    if (paddedSyntax.size() % 2) paddedSyntax += '\0';
    plan.meta = {{0x0002, 0x0001, "OB", std::string("\0\1", 2)},
                 {0x0002, 0x0002, "UI", std::string("1.2.840.10008.5.1.4.1.1.7\0", 26)},
                 {0x0002, 0x0003, "UI", std::string("1.2.3.4\0", 8)},
                 {0x0002, 0x0010, "UI", paddedSyntax},
                 {0x0002, 0x0012, "UI", std::string("1.2.3.5\0", 8)}};
    plan.dataSet = {
        {0x0008, 0x0005, "CS", "ISO_IR 100"},
        {0x0008, 0x0016, "UI", std::string("1.2.840.10008.5.1.4.1.1.7\0", 26)},
        {0x0008, 0x0018, "UI", std::string("1.2.3.4\0", 8)},
        {0x0008, 0x0020, "DA", "20240101"},
        {0x0008, 0x0030, "TM", "120000.5"},
        {0x0008, 0x1140, "SQ", "", -1,
         {{0x0008, 0x1150, "UI", std::string("1.2.3\0", 6)}, {0x0008, 0x1155, "UI", std::string("1.2.3.6\0", 8)}}},
        {0x0010, 0x0010, "PN", "M\xFCller^Alf"},
        {0x0010, 0x0020, "LO", "ID01"},
        {0x0010, 0x1010, "AS", "042Y"},
        {0x0011, 0x0010, "LO", "ORVEL "},
        {0x0011, 0x1010, "LO", "FILL"},
        {0x0018, 0x0050, "DS", "1.5 "},
        {0x0020, 0x0013, "IS", "12"},
        {0x0028, 0x0002, "US", "", 1},
        {0x0028, 0x0004, "CS", "MONOCHROME2 "},
        {0x0028, 0x0010, "US", "", 4},
        {0x0028, 0x0011, "US", "", 4},
        {0x0028, 0x0100, "US", "", 8},
    };
    return plan;
}

Planned* Find(std::vector<Planned>& list, uint16_t group, uint16_t element) {
    for (Planned& p : list) {
        if (p.group == group && p.element == element) return &p;
        if (Planned* inner = Find(p.item, group, element)) return inner;
    }
    return nullptr;
}

Planned& In(Plan& plan, uint16_t group, uint16_t element) {
    Planned* p = Find(plan.dataSet, group, element);
    if (p == nullptr) p = Find(plan.meta, group, element);
    if (p == nullptr) throw std::logic_error("no such planned element");
    return *p;
}

void Remove(std::vector<Planned>& list, uint16_t group, uint16_t element) {
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const Planned& p) { return p.group == group && p.element == element; }),
               list.end());
}

// Inserts before the first element with a higher tag.
void Insert(std::vector<Planned>& list, Planned planned) {
    auto at = std::find_if(list.begin(), list.end(), [&](const Planned& p) {
        return (uint32_t(p.group) << 16 | p.element) > (uint32_t(planned.group) << 16 | planned.element);
    });
    list.insert(at, std::move(planned));
}

void WritePlanned(DicomWriter& w, const Plan& plan, const Planned& p) {
    if (p.vr == "raw") {
        w.Raw(p.value);   // bytes as they are, header included
    } else if (p.vr == "SQ" || (p.vr == "UN" && !p.item.empty())) {
        const bool un = p.vr == "UN";
        w.BeginSequence(p.group, p.element, un, p.vr.c_str());
        if (un) w.Mode(false, true);   // the item and the delimiters too
        w.BeginItem(un);
        for (const Planned& child : p.item) WritePlanned(w, plan, child);
        w.EndItem().EndSequence();
        if (un) w.Mode(plan.explicitVR, plan.littleEndian);
    } else if (p.us >= 0) {
        w.US(p.group, p.element, static_cast<uint16_t>(p.us));
    } else {
        w.Element(p.group, p.element, p.vr.c_str(), p.value);
    }
}

DicomWriter Write(const Plan& plan) {
    DicomWriter w(true, true);
    if (plan.preamble) {
        DicomWriter meta(true, true);
        for (const Planned& p : plan.meta) WritePlanned(meta, plan, p);
        const uint32_t length = plan.metaGroupLength < 0 ? static_cast<uint32_t>(meta.Size())
                                                          : static_cast<uint32_t>(plan.metaGroupLength);
        w.Preamble();
        if (plan.metaGroupLengthElement) w.Element(0x0002, 0x0000, "UL", Ul(length));
        w.Raw(meta.Bytes());
    }
    w.Mode(plan.explicitVR, plan.littleEndian);
    for (const Planned& p : plan.dataSet) WritePlanned(w, plan, p);
    if (!plan.fragments.empty()) {
        std::vector<uint8_t> table;
        for (uint32_t offset : plan.offsetTable)
            for (char c : Ul(offset)) table.push_back(static_cast<uint8_t>(c));
        w.BeginFragments(table);
        for (const std::string& f : plan.fragments) w.Fragment(std::vector<uint8_t>(f.begin(), f.end()));
        w.EndFragments();
    } else if (!plan.pixel.empty()) {
        w.Element(0x7FE0, 0x0010, "OB", plan.pixel);
    }
    return w.Raw(plan.trailing);
}

// The file loaded and checked, its bytes kept.
struct Checked {
    DicomWriter writer;
    CDicomFile file;
    std::vector<CheckProblem> problems;
};

void LoadAndCheck(const Plan& plan, Checked& out) {
    out.writer = Write(plan);
    ASSERT_TRUE(Load(out.writer, out.file));
    out.problems = CheckFile(CheckInputOf(out.file, out.writer.Bytes().data(), out.writer.Size()));
}

// As orveldump checks a file: a refused one over its partial tree. The file object keeps the
// tree the problems point into.
std::vector<CheckProblem> CheckAsTheToolDoes(const DicomWriter& writer, CDicomFile& file) {
    ParseOptions options;
    options.keepPartialTree = true;
    file.SetParseOptions(options);
    if (Load(writer, file)) return CheckFile(CheckInputOf(file, writer.Bytes().data(), writer.Size()));
    const ParseFailure* failure = file.GetFailure();
    if (failure == nullptr) return {};
    CheckInput input;
    input.elements = failure->tree.GetElements().data();
    input.elementCount = failure->tree.GetElements().size();
    input.bytes = writer.Bytes().data();
    input.size = writer.Size();
    input.hasPreamble = failure->hasPreamble.value_or(false);
    input.explicitVR = failure->explicitVR.value_or(true);
    input.littleEndian = failure->littleEndian.value_or(true);
    input.partial = true;
    input.deflated = IsDeflated(failure->tree);
    return CheckFile(input);
}

std::vector<CheckProblem> CheckPlan(const Plan& plan, CDicomFile& file) { return CheckAsTheToolDoes(Write(plan), file); }

size_t CountRule(const std::vector<CheckProblem>& problems, const std::string& rule) {
    return static_cast<size_t>(std::count_if(problems.begin(), problems.end(),
                                             [&](const CheckProblem& p) { return p.rule == rule; }));
}

std::string Describe(const std::vector<CheckProblem>& problems) {
    std::string text;
    for (const CheckProblem& p : problems)
        text += std::string(p.rule) + " " + SeverityName(p.severity) + " at " + std::to_string(p.offset) + ": " +
                p.message + "\n";
    return text.empty() ? "no problems" : text;
}

void ExpectNothingAboveInfo(const Plan& plan) {
    Checked c;
    LoadAndCheck(plan, c);
    for (const CheckProblem& p : c.problems) EXPECT_EQ(p.severity, CheckSeverity::Info) << Describe(c.problems);
}

// The last node with the tag, searching depth first in file order.
const CDicomTag* LastWithTag(const CDicomTagList& nodes, uint16_t group, uint16_t element);
const CDicomTag* LastWithTag(const CDicomTag* const* nodes, size_t count, uint16_t group, uint16_t element) {
    const CDicomTag* found = nullptr;
    for (size_t i = 0; i < count; ++i) {
        if (nodes[i]->Is(group, element)) found = nodes[i];
        if (const CDicomTag* inner = LastWithTag(nodes[i]->GetChildren(), group, element)) found = inner;
    }
    return found;
}
const CDicomTag* LastWithTag(const CDicomTagList& nodes, uint16_t group, uint16_t element) {
    return LastWithTag(nodes.data(), nodes.size(), group, element);
}

using Where = std::function<uint64_t(const Checked&)>;
Where TagAt(uint16_t group, uint16_t element) {
    return [=](const Checked& c) {
        const std::vector<CDicomTag*>& top = c.file.GetElements();
        const CDicomTag* tag = LastWithTag(top.data(), top.size(), group, element);
        return tag != nullptr ? tag->GetTagOffset() : ~uint64_t(0);
    };
}
Where Fixed(uint64_t offset) {
    return [=](const Checked&) { return offset; };
}

struct Defect {
    const char* what;
    std::function<void(Plan&)> plant;
    const char* rule;
    Where where;
    CheckSeverity severity;
};

// The defect planted in the clean file is reported with its rule and severity at its place, and
// the problems come in file order.
void ExpectReported(const Defect& defect) {
    SCOPED_TRACE(defect.what);
    Plan plan = CleanPlan();
    defect.plant(plan);
    Checked c;
    LoadAndCheck(plan, c);
    const uint64_t offset = defect.where(c);
    const bool found = std::any_of(c.problems.begin(), c.problems.end(), [&](const CheckProblem& p) {
        return p.rule == std::string(defect.rule) && p.offset == offset && p.severity == defect.severity;
    });
    EXPECT_TRUE(found) << "expected " << defect.rule << " at " << offset << "; got\n" << Describe(c.problems);
    for (size_t i = 1; i < c.problems.size(); ++i) EXPECT_LE(c.problems[i - 1].offset, c.problems[i].offset);
}

}  // namespace

TEST(Check, CleanFileReportsNothingAboveInfoInEveryEncoding) {
    ExpectNothingAboveInfo(CleanPlan());
    Plan big = CleanPlan("1.2.840.10008.1.2.2");
    big.littleEndian = false;
    ExpectNothingAboveInfo(big);
    // The item of an undefined-length UN element is implicit VR little endian in a big-endian
    // data set too: the group length in it, whose tag reads alike in both orders, is right ...
    Insert(big.dataSet, {0x0009, 0x0010, "LO", "ORVEL "});
    Insert(big.dataSet, {0x0009, 0x1000, "UN", "", -1,
                         {{0x0000, 0x0000, "UL", Ul(16)}, {0x0000, 0x0002, "UI", std::string("1.2.3.4\0", 8)}}});
    ExpectNothingAboveInfo(big);
    // ... and a wrong one is found (its length, read big endian, ran past the file).
    In(big, 0x0009, 0x1000).item[0].value = Ul(20);
    CDicomFile withWrongLength;
    const std::vector<CheckProblem> problems = CheckPlan(big, withWrongLength);
    EXPECT_EQ(CountRule(problems, "group-length"), 1u) << Describe(problems);
    Plan implicit = CleanPlan("1.2.840.10008.1.2");
    implicit.explicitVR = false;
    ExpectNothingAboveInfo(implicit);

    // Encapsulated pixel data whose offset table points at both fragments.
    Plan encapsulated = CleanPlan("1.2.840.10008.1.2.4.50");
    encapsulated.fragments = {"ABCD", "EFGHIJ"};
    encapsulated.offsetTable = {0, 12};
    ExpectNothingAboveInfo(encapsulated);

    // A group length that is right, and trailing padding that is an element.
    Plan grouped = CleanPlan();
    Insert(grouped.dataSet, {0x0008, 0x0000, "UL", Ul(0)});
    Checked first;
    LoadAndCheck(grouped, first);
    uint64_t groupBytes = 0;
    for (const CDicomTag* t : first.file.GetElements())
        if (t->GetGroup() == 0x0008 && t->GetElement() != 0) groupBytes += t->GetEndOffset() - t->GetTagOffset();
    In(grouped, 0x0008, 0x0000).value = Ul(static_cast<uint32_t>(groupBytes));
    grouped.trailing = std::string("\xFC\xFF\xFC\xFFOB\0\0\2\0\0\0\0\0", 14);
    ExpectNothingAboveInfo(grouped);
}

TEST(Check, EachPlantedDefectIsReportedWithItsRuleAtItsElement) {
    const Defect defects[] = {
        {"odd length", [](Plan& p) { In(p, 0x0010, 0x0020).value = "ID1"; }, "odd-length", TagAt(0x0010, 0x0020),
         CheckSeverity::Warning},
        {"explicit VR the dictionary does not list", [](Plan& p) { In(p, 0x0010, 0x0010).vr = "LO"; }, "vr-mismatch",
         TagAt(0x0010, 0x0010), CheckSeverity::Warning},
        {"explicit VR that is no VR", [](Plan& p) { In(p, 0x0010, 0x1010).vr = "XY"; }, "unknown-vr",
         TagAt(0x0010, 0x1010), CheckSeverity::Error},
        {"FD of 12 bytes", [](Plan& p) { Insert(p.dataSet, {0x0018, 0x602C, "FD", std::string(12, '\0')}); },
         "bad-length-for-vr", TagAt(0x0018, 0x602C), CheckSeverity::Error},
        {"US of 3 bytes", [](Plan& p) { In(p, 0x0028, 0x0002) = {0x0028, 0x0002, "US", std::string("\1\0\0", 3)}; },
         "bad-length-for-vr", TagAt(0x0028, 0x0002), CheckSeverity::Error},
        {"LO of 66 characters", [](Plan& p) { In(p, 0x0010, 0x0020).value = std::string(66, 'A'); },
         "value-too-long", TagAt(0x0010, 0x0020), CheckSeverity::Warning},
        {"second DS value of 18 characters", [](Plan& p) { In(p, 0x0018, 0x0050).value = "1\\1.2345678901234567"; },
         "value-too-long", TagAt(0x0018, 0x0050), CheckSeverity::Warning},
        {"PN component group of 66 characters",
         [](Plan& p) { In(p, 0x0010, 0x0010).value = "A=" + std::string(66, 'B'); }, "value-too-long",
         TagAt(0x0010, 0x0010), CheckSeverity::Warning},
        {"UI with a letter, in an item", [](Plan& p) { In(p, 0x0008, 0x1155).value = std::string("1.2.x.6\0", 8); },
         "bad-character", TagAt(0x0008, 0x1155), CheckSeverity::Warning},
        {"CS in lower case", [](Plan& p) { In(p, 0x0028, 0x0004).value = "monochrome2 "; }, "bad-character",
         TagAt(0x0028, 0x0004), CheckSeverity::Warning},
        {"TM with colons", [](Plan& p) { In(p, 0x0008, 0x0030).value = "12:00:00"; }, "bad-character",
         TagAt(0x0008, 0x0030), CheckSeverity::Warning},
        {"DA with dots", [](Plan& p) { In(p, 0x0008, 0x0020).value = "2024.01.01"; }, "bad-character",
         TagAt(0x0008, 0x0020), CheckSeverity::Warning},
        {"IS with a letter", [](Plan& p) { In(p, 0x0020, 0x0013).value = "1A"; }, "bad-character",
         TagAt(0x0020, 0x0013), CheckSeverity::Warning},
        {"DS that is no number", [](Plan& p) { In(p, 0x0018, 0x0050).value = "1,5 "; }, "bad-character",
         TagAt(0x0018, 0x0050), CheckSeverity::Warning},
        {"AS of 3 characters", [](Plan& p) { In(p, 0x0010, 0x1010).value = "42Y "; }, "bad-character",
         TagAt(0x0010, 0x1010), CheckSeverity::Warning},
        {"UI padded with a space, in an item", [](Plan& p) { In(p, 0x0008, 0x1150).value = "1.2.3 "; }, "padding",
         TagAt(0x0008, 0x1150), CheckSeverity::Warning},
        {"LO padded with NUL", [](Plan& p) { In(p, 0x0010, 0x0020).value = std::string("ID1\0", 4); }, "padding",
         TagAt(0x0010, 0x0020), CheckSeverity::Warning},
        {"wrong group length", [](Plan& p) { Insert(p.dataSet, {0x0008, 0x0000, "UL", Ul(1)}); }, "group-length",
         TagAt(0x0008, 0x0000), CheckSeverity::Warning},
        {"wrong meta group length", [](Plan& p) { p.metaGroupLength = 100; }, "group-length", Fixed(132),
         CheckSeverity::Error},
        {"tags out of order", [](Plan& p) { std::swap(In(p, 0x0010, 0x0010), In(p, 0x0010, 0x0020)); }, "tag-order",
         TagAt(0x0010, 0x0010), CheckSeverity::Warning},
        {"tag twice", [](Plan& p) { Insert(p.dataSet, {0x0018, 0x0050, "DS", "2 "}); }, "tag-order",
         TagAt(0x0018, 0x0050), CheckSeverity::Error},
        {"private element without its creator", [](Plan& p) { Remove(p.dataSet, 0x0011, 0x0010); },
         "private-creator", TagAt(0x0011, 0x1010), CheckSeverity::Warning},
        {"byte above 0x7F without a character set", [](Plan& p) { Remove(p.dataSet, 0x0008, 0x0005); },
         "charset-missing", TagAt(0x0010, 0x0010), CheckSeverity::Warning},
        {"character set that is no defined term", [](Plan& p) { In(p, 0x0008, 0x0005).value = "ISO_IR 999"; },
         "charset-unknown", TagAt(0x0008, 0x0005), CheckSeverity::Warning},
        {"bytes after the pixel data", [](Plan& p) { p.trailing = "\1\2\3\4"; }, "trailing-bytes",
         [](const Checked& c) { return c.writer.Size() - 4; }, CheckSeverity::Warning},
        {"native pixel data 2 bytes too long", [](Plan& p) { p.pixel += "\1\2"; }, "pixel-length",
         TagAt(0x7FE0, 0x0010), CheckSeverity::Warning},
        {"offset table entry between fragments",
         [](Plan& p) {
             p = CleanPlan("1.2.840.10008.1.2.4.50");
             p.fragments = {"ABCD", "EFGHIJ"};
             p.offsetTable = {0, 10};
         },
         "offset-table", [](const Checked& c) { return c.file.GetElements().back()->GetChildren().at(0)->GetTagOffset(); },
         CheckSeverity::Error},
        {"meta group without implementation class", [](Plan& p) { Remove(p.meta, 0x0002, 0x0012); }, "meta-missing",
         Fixed(132), CheckSeverity::Warning},
        {"meta group without transfer syntax", [](Plan& p) { Remove(p.meta, 0x0002, 0x0010); }, "meta-missing",
         Fixed(132), CheckSeverity::Error},
        {"SOP instance other than the meta group's",
         [](Plan& p) { In(p, 0x0008, 0x0018).value = std::string("1.2.3.9\0", 8); }, "meta-mismatch",
         TagAt(0x0008, 0x0018), CheckSeverity::Warning},
        {"UN element of undefined length",
         [](Plan& p) {
             Insert(p.dataSet, {0x0009, 0x0010, "LO", "ORVEL "});
             Insert(p.dataSet, {0x0009, 0x1000, "UN", "", -1, {{0x0008, 0x0100, "SH", "CODE"}}});
         },
         "un-sequence", TagAt(0x0009, 0x1000), CheckSeverity::Info},
        {"bare data set", [](Plan& p) { p.preamble = false; }, "no-preamble", Fixed(0), CheckSeverity::Info},
    };
    for (const Defect& defect : defects) ExpectReported(defect);
}

TEST(Check, PathsLeadFromTheTopLevelDownToTheElement) {
    Plan plan = CleanPlan();
    In(plan, 0x0008, 0x1155).value = std::string("1.2.x.6\0", 8);
    Checked c;
    LoadAndCheck(plan, c);
    ASSERT_EQ(c.problems.size(), 1u) << Describe(c.problems);
    const CheckProblem& p = c.problems[0];
    // Top-level index 11: the meta group's six elements come first.
    ASSERT_EQ(p.path.size(), 3u);
    EXPECT_EQ(p.path[0].index, 11u);
    EXPECT_EQ(p.path[0].group, 0x0008);
    EXPECT_EQ(p.path[0].element, 0x1140);
    EXPECT_EQ(p.path[1].index, 0u);
    EXPECT_EQ(p.path[1].group, 0xFFFE);
    EXPECT_EQ(p.path[2].index, 1u);
    EXPECT_EQ(p.path[2].element, 0x1155);
    EXPECT_EQ(p.element, LastWithTag(c.file.GetElements().data(), c.file.GetElements().size(), 0x0008, 0x1155));
}

TEST(Check, NeverReadsOutsideTheBytesItIsGiven) {
    // The tree of a file checked against every shorter copy of its bytes, each in a block of its
    // own size, so that the sanitizer sees any read past the end.
    Plan plan = CleanPlan("1.2.840.10008.1.2.4.50");
    plan.fragments = {"ABCD", "EFGHIJ"};
    plan.offsetTable = {0, 12};
    Insert(plan.dataSet, {0x0008, 0x0000, "UL", Ul(7)});
    plan.trailing = "\1\2\3";
    Checked c;
    LoadAndCheck(plan, c);
    for (size_t size = 0; size < c.writer.Size(); ++size) {
        std::vector<uint8_t> cut(c.writer.Bytes().begin(), c.writer.Bytes().begin() + size);
        CheckInput input = CheckInputOf(c.file, cut.empty() ? nullptr : cut.data(), size);
        for (const CheckProblem& p : CheckFile(input)) EXPECT_FALSE(p.message.empty());
    }
}

TEST(Check, APartialTreeIsNotBlamedForWhatTheCutTookAway) {
    // A refused file's partial tree ends where the parse stopped: a group length or a meta group
    // or an offset table that counts what came after is not wrong for that. Checked as if whole,
    // the same trees do report, so the test sees the difference the flag makes.
    struct Cut {
        const char* what;
        Plan plan;
        std::function<uint64_t(const DicomWriter&)> at;   // bytes kept
        std::vector<std::string> blamedIfWhole;
    };
    Plan fragments = CleanPlan("1.2.840.10008.1.2.4.50");
    fragments.fragments = {"ABCD", "EFGHIJ"};
    fragments.offsetTable = {0, 12};
    const std::vector<Cut> cuts = {
        {"inside the meta group's transfer syntax", CleanPlan(), [](const DicomWriter&) { return 132 + 12 + 14 + 34 + 16 + 10; },
         {"group-length", "meta-missing"}},
        {"inside the second fragment", fragments, [](const DicomWriter& w) { return w.Size() - 8 - 3; },
         {"offset-table"}},
    };
    for (const Cut& cut : cuts) {
        SCOPED_TRACE(cut.what);
        const DicomWriter whole = Write(cut.plan);
        DicomWriter cutWriter;
        cutWriter.Raw(std::vector<uint8_t>(whole.Bytes().begin(), whole.Bytes().begin() + cut.at(whole)));
        CDicomFile file;
        ParseOptions options;
        options.keepPartialTree = true;
        file.SetParseOptions(options);
        ASSERT_FALSE(Load(cutWriter, file));
        const ParseFailure* failure = file.GetFailure();
        ASSERT_NE(failure, nullptr);
        CheckInput input;
        input.elements = failure->tree.GetElements().data();
        input.elementCount = failure->tree.GetElements().size();
        input.bytes = cutWriter.Bytes().data();
        input.size = cutWriter.Size();
        input.hasPreamble = true;
        for (const bool partial : {false, true}) {
            input.partial = partial;
            std::vector<std::string> rules;
            for (const CheckProblem& p : CheckFile(input))
                if (p.severity != CheckSeverity::Info) rules.push_back(p.rule);
            for (const std::string& rule : cut.blamedIfWhole)
                EXPECT_EQ(std::count(rules.begin(), rules.end(), rule) > 0, !partial && rule != "offset-table")
                    << rule << (partial ? " (partial)" : " (whole)") << "\n" << Describe(CheckFile(input));
        }
    }
}

TEST(Check, NoRuleJudgesBytesThatAreNoElements) {
    // A deflated data set whose compressed bytes happen to read as elements (out of order, odd,
    // with no VR), loaded or refused: the meta group is checked, the rest is one info problem.
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "refused" : "loaded");
        Plan plan = CleanPlan("1.2.840.10008.1.2.1.99");
        In(plan, 0x0010, 0x0020).value = "ID1";
        In(plan, 0x0010, 0x1010).vr = "XY";
        std::swap(In(plan, 0x0018, 0x0050), In(plan, 0x0020, 0x0013));
        In(plan, 0x0002, 0x0012).value = std::string("1.2.3.x\0", 8);   // in the meta group: still found
        if (refused) {
            plan.pixel.clear();
            plan.trailing = "\1\2\3";   // too few bytes for a tag
        }
        CDicomFile file;
        const std::vector<CheckProblem> problems = CheckPlan(plan, file);
        EXPECT_EQ(file.GetFailure() != nullptr, refused);
        ASSERT_EQ(problems.size(), 2u) << Describe(problems);
        EXPECT_EQ(problems[0].rule, std::string("bad-character")) << Describe(problems);
        EXPECT_EQ(problems[1].rule, std::string("not-checked"));
        EXPECT_EQ(problems[1].severity, CheckSeverity::Info);
        DicomWriter meta;
        for (const Planned& p : plan.meta) WritePlanned(meta, plan, p);
        EXPECT_EQ(problems[1].offset, 132 + 12 + meta.Size());   // the first element after the meta group
    }
}

TEST(Check, AnImplicitDataSetIsNeverReadAsExplicit) {
    // (0040,A170) is an SQ in the dictionary; here its value is text, whose first bytes read as
    // an explicit header would give the VR "\x0A\x00". The file is refused at the "item"; its
    // partial tree holds the sequence.
    Plan plan = CleanPlan("1.2.840.10008.1.2");
    plan.explicitVR = false;
    Insert(plan.dataSet, {0x0040, 0xA170, "raw", std::string("\x40\x00\x70\xA1\x0A\x00\x00\x00NAMED TYPE", 18)});
    CDicomFile file;
    const std::vector<CheckProblem> problems = CheckPlan(plan, file);
    EXPECT_EQ(CountRule(problems, "unknown-vr"), 0u) << Describe(problems);
    EXPECT_EQ(CountRule(problems, "odd-length") + CountRule(problems, "vr-mismatch"), 0u) << Describe(problems);
    EXPECT_LE(problems.size(), 1u) << Describe(problems);
}

TEST(Check, TagOrderBlamesEachMisplacedTagOnceAndEveryRepeat) {
    struct Case {
        const char* what;
        std::function<void(Plan&)> plant;
        std::vector<std::pair<std::string, uint32_t>> expected;   // rule and tag of each problem
    };
    const Case cases[] = {
        {"(0028,0004) moved behind the rows, columns and bits",
         [](Plan& p) {
             auto& d = p.dataSet;
             auto at = std::find_if(d.begin(), d.end(), [](const Planned& x) { return x.element == 0x0004 && x.group == 0x0028; });
             Planned moved = *at;
             d.erase(at);
             d.push_back(moved);
         },
         {{"tag-order", 0x00280004}}},
        {"(0028,0100) moved before the rows",
         [](Plan& p) {
             auto& d = p.dataSet;
             Planned bits = d.back();
             d.pop_back();
             d.insert(d.end() - 2, bits);
         },
         {{"tag-order", 0x00280010}}},
        {"a tag three times, once after a lower one",
         [](Plan& p) {
             p.dataSet.push_back({0x0018, 0x0050, "DS", "2 "});
             Insert(p.dataSet, {0x0018, 0x0050, "DS", "3 "});
         },
         {{"tag-order", 0x00180050}, {"tag-order", 0x00180050}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Plan plan = CleanPlan();
        c.plant(plan);
        CDicomFile file;
        const std::vector<CheckProblem> problems = CheckPlan(plan, file);
        std::vector<std::pair<std::string, uint32_t>> got;
        for (const CheckProblem& p : problems)
            if (p.severity != CheckSeverity::Info)
                got.push_back({p.rule, uint32_t(p.path.back().group) << 16 | p.path.back().element});
        EXPECT_EQ(got, c.expected) << Describe(problems);
    }
    // A repeat is an error wherever it falls, an order fault a warning.
    Plan plan = CleanPlan();
    plan.dataSet.push_back({0x0018, 0x0050, "DS", "2 "});
    CDicomFile file;
    const std::vector<CheckProblem> problems = CheckPlan(plan, file);
    ASSERT_EQ(problems.size(), 1u) << Describe(problems);
    EXPECT_EQ(problems[0].severity, CheckSeverity::Error);
}

TEST(Check, AnItemOrDelimiterAmongElementsIsReportedThereAndNothingAfterIt) {
    const std::string item("\xFE\xFF\x00\xE0\x00\x00\x00\x00", 8);
    const std::string itemEnd("\xFE\xFF\x0D\xE0\x00\x00\x00\x00", 8);
    const std::string sequenceEnd("\xFE\xFF\xDD\xE0\x00\x00\x00\x00", 8);
    for (const bool explicitVR : {true, false}) {
        for (const std::string* planted : {&item, &itemEnd, &sequenceEnd}) {
            for (const bool inItem : {false, true}) {
                SCOPED_TRACE(std::string(explicitVR ? "explicit, " : "implicit, ") + (inItem ? "in an item, " : "") +
                             std::to_string(static_cast<uint8_t>((*planted)[2])));
                Plan plan = CleanPlan(explicitVR ? "1.2.840.10008.1.2.1" : "1.2.840.10008.1.2");
                plan.explicitVR = explicitVR;
                const Planned raw{0xFFFE, 0xE000, "raw", *planted};
                if (inItem) {
                    auto& inner = In(plan, 0x0008, 0x1140).item;
                    inner.insert(inner.begin() + 1, raw);
                } else {
                    auto& d = plan.dataSet;
                    d.insert(d.begin() + 8, raw);   // after (0010,0020)
                }
                CDicomFile file;
                const std::vector<CheckProblem> problems = CheckPlan(plan, file);
                ASSERT_EQ(file.GetFailure(), nullptr);
                ASSERT_EQ(problems.size(), 1u) << Describe(problems);
                EXPECT_EQ(problems[0].rule, std::string("item-outside-sequence"));
                EXPECT_EQ(problems[0].severity, CheckSeverity::Error);
                EXPECT_EQ(problems[0].path.back().group, 0xFFFE);
            }
        }
    }
}

TEST(Check, OnlyTheStandardsRepeatingGroupsFoldToTheirBaseGroup) {
    struct Case {
        const char* what;
        bool explicitVR;
        std::vector<Planned> planted;
        std::vector<std::string> rules;
    };
    const Case cases[] = {
        {"odd group 6003 is private: its creator is an LO, its element a US",
         true, {{0x6003, 0x0010, "LO", "ACME"}, {0x6003, 0x1001, "US", "", 7}}, {}},
        {"even overlay group 6002 is Rows (US)", true, {{0x6002, 0x0010, "LO", "AB"}}, {"vr-mismatch"}},
        {"even curve group 5002 is Curve Dimensions (US)", true, {{0x5002, 0x0005, "LO", "AB"}}, {"vr-mismatch"}},
        {"group 6020 is no overlay group", true, {{0x6020, 0x0010, "LO", "AB"}}, {}},
        {"implicit curve group 5002: Curve Description is an LO", false,
         {{0x5002, 0x0022, "LO", std::string(66, 'C')}}, {"value-too-long"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Plan plan = CleanPlan(c.explicitVR ? "1.2.840.10008.1.2.1" : "1.2.840.10008.1.2");
        plan.explicitVR = c.explicitVR;
        for (const Planned& p : c.planted) Insert(plan.dataSet, p);
        CDicomFile file;
        std::vector<std::string> rules;
        for (const CheckProblem& p : CheckPlan(plan, file))
            if (p.severity != CheckSeverity::Info) rules.push_back(p.rule);
        EXPECT_EQ(rules, c.rules) << Describe(CheckPlan(plan, file));
    }
}

TEST(Check, EachMalformedValueGivesOneProblem) {
    struct Case {
        const char* what;
        uint16_t group, element;
        std::string vr, value;
        const char* rule;   // the one problem, or null for none
    };
    const Case cases[] = {
        {"UI with an empty component", 0x0008, 0x1155, "UI", std::string("1.2..3\0", 8), "bad-character"},
        {"UI ending in a dot", 0x0008, 0x1155, "UI", "1.2.3.", "bad-character"},
        {"UI starting with a dot", 0x0008, 0x1155, "UI", std::string(".1.2.3\0", 8), "bad-character"},
        {"UI with a leading zero", 0x0008, 0x1155, "UI", "1.2.03", "bad-character"},
        {"UI with a zero component", 0x0008, 0x1155, "UI", std::string("1.2.0.3\0", 8), nullptr},
        {"AE with a line feed", 0x0008, 0x0054, "AE", "STORE\nSCP ", "bad-character"},
        {"AE with a space", 0x0008, 0x0054, "AE", "STORE SCP ", nullptr},
        {"DA with dots, longer than a date", 0x0008, 0x0020, "DA", "1994.01.30", "bad-character"},
        {"TM of 18 characters with letters", 0x0008, 0x0030, "TM", "12h00m00.000000000", "bad-character"},
        {"character set term in lower case", 0x0008, 0x0005, "CS", "iso_ir 100", "charset-unknown"},
        {"character set term of 18 characters", 0x0008, 0x0005, "CS", "ISO 2022 IR 100 XY", "charset-unknown"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Plan plan = CleanPlan();
        Planned* existing = Find(plan.dataSet, c.group, c.element);
        if (existing != nullptr) {
            existing->vr = c.vr;
            existing->value = c.value;
        } else {
            Insert(plan.dataSet, {c.group, c.element, c.vr, c.value});
        }
        CDicomFile file;
        std::vector<std::string> rules;
        for (const CheckProblem& p : CheckPlan(plan, file))
            if (p.severity != CheckSeverity::Info) rules.push_back(p.rule);
        EXPECT_EQ(rules, c.rule ? std::vector<std::string>{c.rule} : std::vector<std::string>{})
            << Describe(CheckPlan(plan, file));
    }
}

TEST(Check, FindsWhatOtherValidatorsFind) {
    const std::string undefinedSequence("\x08\x00\x40\x11SQ\0\0\xFF\xFF\xFF\xFF", 12);
    const std::string sequenceEnd("\xFE\xFF\xDD\xE0\0\0\0\0", 8);
    const Defect defects[] = {
        {"meta information version 00 02", [](Plan& p) { In(p, 0x0002, 0x0001).value = std::string("\0\2", 2); },
         "meta-version", TagAt(0x0002, 0x0001), CheckSeverity::Warning},
        {"no meta group length", [](Plan& p) { p.metaGroupLengthElement = false; }, "meta-missing", Fixed(132),
         CheckSeverity::Warning},
        {"native 16-bit pixel data as OB",
         [](Plan& p) {
             In(p, 0x0028, 0x0100).us = 16;
             p.pixel = std::string(32, '\1');
         },
         "pixel-vr", TagAt(0x7FE0, 0x0010), CheckSeverity::Warning},
        {"a UN value of a date with dots", [](Plan& p) { In(p, 0x0008, 0x0020) = {0x0008, 0x0020, "UN", "2024.01.01"}; },
         "bad-character", TagAt(0x0008, 0x0020), CheckSeverity::Warning},
        {"a UN value of a US of 3 bytes",
         [](Plan& p) { In(p, 0x0028, 0x0002) = {0x0028, 0x0002, "UN", std::string("\1\0\0\0", 3)}; },
         "bad-length-for-vr", TagAt(0x0028, 0x0002), CheckSeverity::Error},
        {"a private element in the reserved block", [](Plan& p) { Insert(p.dataSet, {0x0011, 0x0005, "LO", "X "}); },
         "private-creator", TagAt(0x0011, 0x0005), CheckSeverity::Warning},
        {"an empty private creator", [](Plan& p) { In(p, 0x0011, 0x0010).value = ""; }, "private-creator",
         TagAt(0x0011, 0x0010), CheckSeverity::Warning},
        {"a meta element in the data set",
         [](Plan& p) { p.dataSet.insert(p.dataSet.begin() + 1, {0x0002, 0x0013, "SH", "ORVEL"}); }, "meta-misplaced",
         TagAt(0x0002, 0x0013), CheckSeverity::Warning},
        {"a meta element in an item",
         [](Plan& p) {
             auto& item = In(p, 0x0008, 0x1140).item;
             item.insert(item.begin(), {0x0002, 0x0013, "SH", "ORVEL"});
         },
         "meta-misplaced", TagAt(0x0002, 0x0013), CheckSeverity::Warning},
        {"an item delimiter where an item goes",
         [&](Plan& p) {
             In(p, 0x0008, 0x1140) = {0x0008, 0x1140, "raw",
                                      undefinedSequence + std::string("\xFE\xFF\x0D\xE0\0\0\0\0", 8) + sequenceEnd};
         },
         "not-an-item", TagAt(0xFFFE, 0xE00D), CheckSeverity::Error},
    };
    for (const Defect& defect : defects) ExpectReported(defect);

    // Encapsulated pixel data whose header says OW.
    Plan plan = CleanPlan("1.2.840.10008.1.2.4.50");
    plan.fragments = {"ABCD"};
    std::vector<uint8_t> bytes = Write(plan).Bytes();
    const std::vector<uint8_t> header = BytesOf({0xE0, 0x7F, 0x10, 0x00, 'O', 'B'});
    auto at = std::search(bytes.begin(), bytes.end(), header.begin(), header.end());
    ASSERT_NE(at, bytes.end());
    at[5] = 'W';
    DicomWriter ow;
    ow.Raw(bytes);
    CDicomFile file;
    const std::vector<CheckProblem> problems = CheckAsTheToolDoes(ow, file);
    EXPECT_EQ(CountRule(problems, "pixel-vr"), 1u) << Describe(problems);
}

TEST(Check, ElementsAfterThePixelDataAreCheckedLikeAnyOther) {
    auto element = [](uint16_t group, uint16_t number, const char* vr, const std::string& value) {
        DicomWriter w;
        w.Element(group, number, vr, value);
        return std::string(w.Bytes().begin(), w.Bytes().end());
    };
    const std::string creator = element(0x7FE1, 0x0010, "LO", "ACME");
    const std::string number = element(0x7FE1, 0x1001, "US", std::string("\7\0", 2));
    const std::string padding = element(0xFFFC, 0xFFFC, "OB", std::string(6, '\0'));
    struct Case {
        const char* what;
        std::string trailing;
        std::vector<std::pair<std::string, CheckSeverity>> expected;
        size_t warningAt;   // bytes after the pixel data where a trailing-bytes warning stands
    };
    const Case cases[] = {
        {"a private block", creator + number, {}, 0},
        {"a private element without its creator", number, {{"private-creator", CheckSeverity::Warning}}, 0},
        {"an odd length", creator + element(0x7FE1, 0x1002, "LO", "ODD"), {{"odd-length", CheckSeverity::Warning}}, 0},
        {"elements, then bytes that are none", creator + number + "\1\2\3\4\5\6\7\10\11",
         {{"trailing-bytes", CheckSeverity::Warning}}, (creator + number).size()},
        {"a tag below the pixel data's", element(0x0008, 0x0005, "CS", "ISO_IR 100"),
         {{"trailing-bytes", CheckSeverity::Warning}}, 0},
        {"trailing padding", creator + padding, {{"trailing-bytes", CheckSeverity::Info}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Plan plan = CleanPlan();
        plan.trailing = c.trailing;
        std::vector<CheckProblem> problems;
        uint64_t pixelEnd = 0;
        {
            CDicomFile file;
            ASSERT_TRUE(Load(Write(plan), file));
            problems = CheckAsTheToolDoes(Write(plan), file);
            pixelEnd = file.GetElements().back()->GetEndOffset();
            EXPECT_EQ(file.GetTrailingSize(), c.trailing.size());   // the load itself reads none of them
        }
        // The file is gone; the problems still hold the nodes they point at.
        std::vector<std::pair<std::string, CheckSeverity>> got;
        for (const CheckProblem& p : problems) {
            got.push_back({p.rule, p.severity});
            if (p.element != nullptr) {
                EXPECT_NE(p.outsideTree, nullptr);
                EXPECT_EQ(p.element->GetGroup(), p.path.back().group);
                EXPECT_GE(p.offset, pixelEnd);
            }
        }
        EXPECT_EQ(got, c.expected) << Describe(problems);
        for (const CheckProblem& p : problems) {
            if (p.rule == std::string("trailing-bytes") && p.severity == CheckSeverity::Warning) {
                EXPECT_EQ(p.offset, pixelEnd + c.warningAt);
            }
        }
    }
}
