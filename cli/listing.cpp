#include "cli/listing.h"

#include <cstdio>
#include <optional>

#include "cli/node_text.h"
#include "cli/redact.h"
#include "cli/tag_filter.h"
#include "cli/utf8.h"
#include "cli/check.h"
#include "cli/sink.h"
#include "dicom/read/DicomFile.h"
#include "dicom/model/ElementRange.h"

namespace {

const char kInvalid[] = "Invalid DICOM file";
const char kColumns[] = "(tag)       VR  tag offset data offset       size  name  [value]\n";

// A value for one line of the listing: control characters made visible, long text cut.
std::string ListingValue(const CDicomTag& tag, const std::wstring& characterSet, bool redact) {
    std::wstring text = ShownValue(tag, characterSet, redact);
    const size_t kWidth = 64;
    const bool cut = text.size() > kWidth;
    if (cut) text.resize(kWidth);
    for (wchar_t& c : text)
        if (c < 0x20 || c == 0x7F) c = L'.';
    return Utf8(text) + (cut ? "..." : "");
}

void PrintListingNode(std::string& out, const CDicomTag& tag, int depth, const std::wstring& characterSet,
                      bool redact, const ProblemListing* problems) {
    char size[16];
    if (tag.IsUndefinedLength())
        std::snprintf(size, sizeof size, "FFFFFFFF");
    else
        std::snprintf(size, sizeof size, "%lu", static_cast<unsigned long>(tag.GetValueLength()));
    char line[200];
    std::snprintf(line, sizeof line, "%*s(%s) %-2s  %10llu %10llu %10s  ", depth * 2, "", TagText(tag).c_str(),
                  ShownVR(tag, redact).c_str(), static_cast<unsigned long long>(GetElementByteRange(tag).first),
                  static_cast<unsigned long long>(tag.GetValueOffset()), size);
    out += line + NameOf(tag);
    if (!tag.IsComplete()) out += " (incomplete)";
    const std::string value = ListingValue(tag, characterSet, redact);
    if (!value.empty()) out += "  [" + value + "]";
    out += "\n";
    if (problems != nullptr) problems->AppendLinesOf(tag, depth, out);
    const std::wstring childrenCharacterSet = CharacterSetForChildren(tag, characterSet);
    for (const CDicomTag* child : tag.GetChildren())
        PrintListingNode(out, *child, depth + 1, childrenCharacterSet, redact, problems);
}

// The character set in force where the last node of `path` lies.
std::wstring CharacterSetAt(const CTagArray& dataSet, const std::vector<const CDicomTag*>& path) {
    std::wstring characterSet = TopLevelCharacterSet(dataSet);
    for (size_t i = 0; i + 1 < path.size(); ++i) characterSet = CharacterSetForChildren(*path[i], characterSet);
    return characterSet;
}

// The elements of a data set as the view shows them.
void AppendBody(std::string& out, const CTagArray& dataSet, const DumpView& view, const ProblemListing* problems) {
    out += kColumns;
    if (problems != nullptr) problems->AppendHead(out);
    if (view.shown == nullptr) {
        const std::wstring characterSet = TopLevelCharacterSet(dataSet);
        for (const CDicomTag* tag : dataSet.GetElements())
            PrintListingNode(out, *tag, 0, characterSet, view.redact, problems);
        return;
    }
    const auto& matches = view.shown->GetMatches();
    for (const ShownNodes::Match& match : matches) {
        PrintListingNode(out, *match.path.back(), 0, CharacterSetAt(dataSet, match.path), view.redact, problems);
        out += "    path: " + PathWords(match.indexes, match.path) + "\n";
    }
    out += std::to_string(matches.size()) + (matches.size() == 1 ? " element matches\n" : " elements match\n");
}

std::string FlagText(const std::optional<bool>& flag, const char* yes, const char* no, const char* unknown) {
    return !flag.has_value() ? unknown : *flag ? yes : no;
}

}  // namespace

void PrintListing(const std::string& path, const CDicomFile& file, const DumpView& view,
                  const ProblemListing* problems) {
    std::string out;
    AppendListing(out, path, file, view, problems);
    WriteOut(out);
}

void AppendListing(std::string& out, const std::string& path, const CDicomFile& file, const DumpView& view,
                   const ProblemListing* problems) {
    char head[400];
    std::snprintf(head, sizeof head, "%s: %lld bytes, %s, %s, %s endian, %llu trailing bytes\n",
                  path.c_str(), static_cast<long long>(file.GetFileSize()),
                  file.HasPreamble() ? "preamble and DICM" : "no preamble",
                  file.IsExplicitVR() ? "explicit VR" : "implicit VR",
                  file.IsLittleEndian() ? "little" : "big",
                  static_cast<unsigned long long>(file.GetTrailingSize()));
    out += head;
    AppendBody(out, file, view, problems);
    if (problems != nullptr) problems->AppendTail(out);
}

std::string FailureLine(const ParseFailure* failure, bool redact) {
    if (failure == nullptr) return "no reason recorded";
    const FailureTexts texts(failure, redact);
    std::string line;
    char text[64];
    if (failure->offset.has_value()) {
        std::snprintf(text, sizeof text, "at offset %llu (0x%llX)", static_cast<unsigned long long>(*failure->offset),
                      static_cast<unsigned long long>(*failure->offset));
        line = text;
    } else {
        line = "at offset none";
    }
    if (!failure->path.empty()) {
        line += " in ";
        for (size_t i = 0; i < failure->path.size(); ++i) {
            const FailureStep& step = failure->path[i];
            std::string words = PathStepWords(step.index, step.group, step.element, i == 0);
            words.replace(words.size() - 10, 9, texts.StepTag(step.group, step.element));
            line += words;
        }
    }
    line += ": " + texts.Reason(failure->reason);
    if (!failure->firstReason.empty())
        line += " (read as implicit VR after the explicit reading failed: " + texts.FirstReason(failure->firstReason) + ")";
    return line;
}

void PrintListingRefused(const std::string& path, const ParseFailure* failure, const DumpView& view,
                         const ProblemListing* problems) {
    std::string out;
    AppendListingRefused(out, path, failure, view, problems);
    WriteOut(out);
}

void AppendListingRefused(std::string& out, const std::string& path, const ParseFailure* failure,
                          const DumpView& view, const ProblemListing* problems) {
    out += path + ": ";
    if (failure != nullptr) {
        out += failure->fileSize.has_value() ? std::to_string(*failure->fileSize) + " bytes" : "size unknown";
        out += ", " + FlagText(failure->hasPreamble, "preamble and DICM", "no preamble", "preamble unknown");
        out += ", " + FlagText(failure->explicitVR, "explicit VR", "implicit VR", "VR unknown");
        out += ", " + FlagText(failure->littleEndian, "little endian", "big endian", "byte order unknown");
        out += ", refused\n";
        AppendBody(out, failure->tree, view, problems);
    } else {
        out += "refused\n";
    }
    out += std::string(kInvalid) + " " + FailureLine(failure, view.redact) + "\n";
    if (problems != nullptr) problems->AppendTail(out);
}
