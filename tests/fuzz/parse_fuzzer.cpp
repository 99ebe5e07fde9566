// Fuzz target: bytes in memory go through the same stream parse that LoadFile uses, every node of
// an accepted tree is displayed the way the viewer and orveldump display it, the node chain at a
// byte agrees with a plain search, the encoding checks walk the tree over the same bytes, a
// parse that leaves its values in the file shows what the held parse shows, and what orveldump
// --redact prints does not depend on the bytes it leaves out (RedactionCheck.h).
//
// Built with clang's libFuzzer (-fsanitize=fuzzer) in the sanitizer configuration; see
// tests/fuzz/README.md for running it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dicom/analysis/Check.h"
#include "dicom/read/DicomFile.h"
#include "dicom/model/ElementRange.h"
#include "dicom/model/TagArray.h"
#include "cli/html/report.h"
#include "cli/json_read.h"
#include "tests/fuzz/RedactionCheck.h"
#include "tests/support/DeferredCheck.h"
#include "tests/support/FailureCheck.h"
#include "tests/support/ToolsCheck.h"

namespace {

// Character sets the display is asked with: none, single-byte, UTF-8, code extensions with
// escape sequences, and the multi-byte Chinese one.
const wchar_t* const kCharacterSets[] = {
    L"", L"ISO_IR 100", L"ISO_IR 192", L"\\ISO 2022 IR 149", L"ISO 2022 IR 6\\ISO 2022 IR 87", L"GB18030",
};

[[noreturn]] void Broken(const char* what) {
    std::fprintf(stderr, "parse_fuzzer: %s\n", what);
    std::abort();
}

// Keeps the compiler from dropping results that are computed only to be exercised.
volatile size_t g_sink;

void Display(CDicomFile& file, CDicomTag& tag, const std::wstring& inherited, uint64_t fileSize, int depth) {
    if (depth > 2 * kMaxSequenceDepth + 8) Broken("tree deeper than the nesting bound allows");
    for (const wchar_t* characterSet : kCharacterSets) g_sink += tag.GetValueText(characterSet).size();
    g_sink += tag.GetValueText(inherited).size();
    g_sink += tag.GetTagName().size() + tag.GetVRText().size() + tag.HasLongLengthField();
    g_sink += static_cast<size_t>(tag.GetNumericValue());
    g_sink += static_cast<size_t>(tag.GetFloatValue() != 0.0) + static_cast<size_t>(tag.GetDecimalValue() != 0.0);
    if (const HeapArray<char> copy = tag.CopyValueBytes()) g_sink += copy[0];

    // The hex view highlights this range: it must lie inside the file.
    const ElementByteRange range = GetElementByteRange(tag);
    if (range.first > range.last || range.last >= fileSize) Broken("element byte range outside the file");
    if (tag.GetValueOffset() > fileSize) Broken("value offset past the end of the file");

    const std::wstring forChildren = CharacterSetForChildren(tag, inherited);
    for (CDicomTag* child : tag.GetChildren()) {
        if (child->GetParent() != &tag) Broken("child with the wrong parent");
        Display(file, *child, forChildren, fileSize, depth + 1);
    }
}

// The checks read only the bytes given (the sanitizer sees a read past them) and report each
// problem inside the file, in file order.
void CheckProblems(const std::vector<CheckProblem>& problems, size_t size) {
    for (size_t i = 0; i < problems.size(); ++i) {
        if (problems[i].offset > size) Broken("problem reported past the end of the file");
        if (i > 0 && problems[i].offset < problems[i - 1].offset) Broken("problems out of file order");
        if (problems[i].message.empty()) Broken("problem without a message");
        g_sink += problems[i].path.size();
    }
}

// orveldump --html: the page model of every accepted and partial tree is JSON and holds none of
// the characters that could end its script block or a line of JavaScript, whatever the file
// holds; redacted and with a tiny budget (which leaves values out) too.
void CheckPageModel(const CDicomFile* file, const ParseFailure* failure, const uint8_t* data, size_t size,
                    const std::vector<CheckProblem>& problems) {
    for (const bool redact : {false, true}) {
        ReportInput input;
        input.name = "</script>&\xE2\x80\xA8.dcm";
        input.file = file;
        input.failure = failure;
        input.bytes = data;
        input.byteCount = size;
        input.problems = &problems;
        input.redact = redact;
        input.budget = redact ? 1024 : kDefaultHtmlBudget;
        ReportSummary summary;
        const std::string model = ReportModel(input, summary);
        if (model.find_first_of("<>&") != std::string::npos || model.find("\xE2\x80\xA8") != std::string::npos ||
            model.find("\xE2\x80\xA9") != std::string::npos)
            Broken("page model with a character its script block must not hold");
        JsonValue parsed;
        std::string error;
        if (!ReadJson(model, parsed, error)) Broken(("page model: " + error).c_str());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // fmemopen refuses an empty buffer on some C libraries; an empty stream is a temporary file.
    FILE* stream = size != 0 ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : std::tmpfile();
    if (stream == nullptr) return 0;
    CDicomFile file;
    ParseOptions options;
    options.keepPartialTree = true;
    file.SetParseOptions(options);
    const bool loaded = file.ParseStream(stream);
    std::fclose(stream);

    // The same bytes parsed with every value of more than one byte left in the file show and
    // measure exactly as the held ones.
    {
        CDicomFile deferred;
        const bool deferredLoaded = deferred_check::ParseDeferred(data, size, deferred, 1, true);
        const std::string problem = deferred_check::Compare(file, loaded, deferred, deferredLoaded);
        if (!problem.empty()) Broken(("deferred values: " + problem).c_str());
    }
    {
        const std::string leak = redaction_check::Check(data, size, file, loaded);
        if (!leak.empty()) Broken(("redaction: " + leak).c_str());
    }

    if (!loaded) {
        // A refused file leaves nothing behind in the file object; the failure record holds
        // what was read, and it must agree with itself and lie inside the file.
        if (!file.GetElements().empty() || file.GetTrailingData() != nullptr || file.GetTrailingSize() != 0 ||
            !file.GetUltrasoundRegions().empty())
            Broken("refused file left a partial tree");
        const std::string problem = failure_check::Check(file, size, true);
        if (!problem.empty()) Broken(problem.c_str());
        const CTagArray& partial = file.GetFailure()->tree;
        const std::wstring top = TopLevelCharacterSet(partial);
        for (CDicomTag* tag : partial.GetElements()) Display(file, *tag, top, size, 0);
        // orveldump --at searches the partial tree.
        const std::string chains = tools_check::CheckChains(partial, size);
        if (!chains.empty()) Broken(chains.c_str());
        // orveldump --check checks the partial tree as it checks a loaded one.
        CheckInput input;
        input.elements = partial.GetElements().data();
        input.elementCount = partial.GetElements().size();
        input.bytes = data;
        input.size = size;
        input.hasPreamble = file.GetFailure()->hasPreamble.value_or(false);
        input.explicitVR = file.GetFailure()->explicitVR.value_or(true);
        input.littleEndian = file.GetFailure()->littleEndian.value_or(true);
        input.partial = true;
        const std::vector<CheckProblem> problems = CheckFile(input);
        CheckProblems(problems, size);
        CheckPageModel(nullptr, file.GetFailure(), data, size, problems);
        return 0;
    }
    if (file.GetFailure() != nullptr) Broken("loaded file with a failure record");
    if (file.GetFileSize() != static_cast<int64_t>(size)) Broken("file size differs from the bytes given");
    if (file.GetTrailingSize() > size) Broken("more trailing data than file");

    const std::wstring top = TopLevelCharacterSet(file);
    for (CDicomTag* tag : file.GetElements()) {
        if (tag->GetParent() != nullptr) Broken("top-level element with a parent");
        Display(file, *tag, top, size, 0);
    }

    // The node chain at a byte (orveldump --at).
    const std::string chains = tools_check::CheckChains(file, size);
    if (!chains.empty()) Broken(chains.c_str());

    // Image attributes, palettes and ultrasound regions, read again from the tree.
    file.FillPixelModule();
    g_sink += file.IsUncompressed() + file.IsPhotometric(L"RGB") + file.IsUltrasound();
    file.BuildUltrasoundRegions();
    for (const auto& region : file.GetUltrasoundRegions()) {
        if (region->tableOfXBreakPoints)
            for (uint32_t i = 0; i < region->numberOfTableBreakPoints; ++i) g_sink += region->tableOfXBreakPoints[i];
        if (region->tableOfYBreakPoints)
            for (uint32_t i = 0; i < region->numberOfTableBreakPoints; ++i)
                g_sink += region->tableOfYBreakPoints[i] != 0.0;
        if (region->tableOfPixelValues)
            for (uint32_t i = 0; i < region->numberOfTableEntries; ++i) g_sink += region->tableOfPixelValues[i];
        if (region->tableOfParameterValues)
            for (uint32_t i = 0; i < region->numberOfTableEntries; ++i)
                g_sink += region->tableOfParameterValues[i] != 0.0f;
    }

    const std::vector<CheckProblem> problems = CheckFile(CheckInputOf(file, data, size));
    CheckProblems(problems, size);
    CheckPageModel(&file, nullptr, data, size, problems);

    // Encoded sizes last: measuring may rewrite the lengths of defined-length items.
    for (CDicomTag* tag : file.GetElements()) g_sink += static_cast<size_t>(file.GetEncodedSize(tag));
    return 0;
}
