// orveldump: prints the parse of DICOM files the way the viewer's tree and property list show it.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/archive.h"
#include "cli/arguments.h"
#include "cli/at.h"
#include "cli/diff.h"
#include "cli/html/run.h"
#include "cli/json.h"
#include "cli/listing.h"
#include "cli/output.h"
#include "cli/parse_options.h"
#include "cli/redact.h"
#include "cli/regions.h"
#include "cli/sink.h"
#include "cli/summary.h"
#include "cli/tag_filter.h"
#include "cli/utf8.h"
#include "cli/walk.h"
#include "cli/check.h"
#include "dicom/read/DicomFile.h"
#include "dicom/io/FileMapping.h"
#include "OrvelVersion.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

const char kInvalid[] = "Invalid DICOM file";

// The one block --json writes through: made on first use, so that other modes allocate none
// (a run over 20,000 small files would otherwise map and fault a block per file).
Output& JsonOutput() {
    static Output json;
    return json;
}

// A file that cannot be read: the system's reason in the listing, in --json (as "ioError") and
// on standard error.
void ReportIoError(const Arguments& arguments, const std::string& path, const std::string& reason) {
    if (arguments.mode == Mode::Json) {
        Output& json = JsonOutput();
        json.Raw("{\"file\": ");
        json.JsonUtf8(path);
        json.Raw(", \"loaded\": false, \"ioError\": ");
        json.JsonUtf8(reason);
        json.Raw("}\n");
        json.Flush();
    } else if (arguments.mode == Mode::Listing) {
        WriteOut(path + ": cannot be read: " + reason + "\n");
    }
    WriteErr(path + ": " + reason + "\n");
}

// A file whose bytes could not be read, with the system's reason: reported, and counted as an
// I/O error rather than a refused file.
void RecordIoError(const Arguments& arguments, const std::string& path, const std::string& reason, FileRecord& record) {
    ReportIoError(arguments, path, reason);
    record.outcome = Outcome::IoError;
    record.reason = reason;
    record.status = 1;
}

// The system's reason a refused parse gives, if the file could not be read at all or to its end.
const std::string* IoErrorOf(const CDicomFile& file) {
    const ParseFailure* failure = file.GetFailure();
    return failure != nullptr && !failure->ioError.empty() ? &failure->ioError : nullptr;
}

// Not DICOM: refused before any element, with no preamble (or no bytes at all).
Outcome RefusedOutcome(const ParseFailure* failure) {
    if (failure == nullptr || !failure->tree.GetElements().empty()) return Outcome::Refused;
    const bool empty = failure->fileSize.has_value() && *failure->fileSize == 0;
    return empty || failure->hasPreamble != true ? Outcome::NotDicom : Outcome::Refused;
}

void RecordRefused(const ParseFailure* failure, bool redact, FileRecord& record) {
    record.status = 1;
    record.outcome = RefusedOutcome(failure);
    record.reason = failure != nullptr ? ReasonKind(FailureTexts(failure, redact).Reason(failure->reason)) : "no reason recorded";
    if (failure != nullptr && failure->fileSize.has_value()) record.bytes = static_cast<uint64_t>(*failure->fileSize);
}

// A top-level value as stored, without its padding; empty where the file has none (or, with
// `redact`, where --redact does not keep it).
std::string TopLevelValue(const CDicomFile& file, uint16_t group, uint16_t element, bool redact) {
    const CDicomTag* tag = file.FindElement(group, element);
    if (tag == nullptr || (redact && !KeptWhenRedacted(*tag))) return std::string();
    std::string value = Utf8(tag->GetValueText(std::wstring()));
    while (!value.empty() && (value.back() == ' ' || value.back() == '\0')) value.pop_back();
    return value;
}

void RecordLoaded(const CDicomFile& file, const Arguments& arguments, FileRecord& record) {
    record.bytes = static_cast<uint64_t>(file.GetFileSize());
    // The file's kind is only counted in the summary.
    if (!arguments.summary) return;
    const bool redact = arguments.redact;
    record.transferSyntax = TopLevelValue(file, 0x0002, 0x0010, redact);
    record.sopClass = TopLevelValue(file, 0x0008, 0x0016, redact);
    if (record.sopClass.empty()) record.sopClass = TopLevelValue(file, 0x0002, 0x0002, redact);
    record.modality = TopLevelValue(file, 0x0008, 0x0060, redact);
}

// The problems of one file, counted by rule and severity.
void RecordProblems(const std::vector<CheckProblem>& problems, FileRecord& record) {
    record.checked = true;
    for (const CheckProblem& problem : problems) {
        const std::string severity = SeverityName(problem.severity);
        FileRecord::RuleHits* hits = nullptr;
        for (FileRecord::RuleHits& known : record.rules)
            if (known.rule == problem.rule && known.severity == severity) hits = &known;
        if (hits == nullptr) {
            record.rules.push_back({problem.rule, severity, 0, problem.offset});
            hits = &record.rules.back();
        }
        ++hits->problems;
    }
    record.serious = HasSeriousProblem(problems);
}

// --at over one file (searched in its partial tree when refused).
void AtFile(const Arguments& arguments, const std::string& path, FileRecord& record) {
    CDicomFile file;
    file.SetParseOptions(DumpParseOptions(true));
    const bool loaded = file.LoadFile(WidePath(path));
    if (const std::string* ioError = loaded ? nullptr : IoErrorOf(file)) {
        RecordIoError(arguments, path, *ioError, record);
        return;
    }
    if (arguments.mode == Mode::Json) {
        PrintAtJson(JsonOutput(), path, *arguments.at, file, loaded, arguments.redact);
        JsonOutput().Flush();
    } else {
        PrintAtListing(path, *arguments.at, file, loaded, arguments.redact);
    }
    if (loaded) {
        RecordLoaded(file, arguments, record);
    } else {
        RecordRefused(file.GetFailure(), arguments.redact, record);
        WriteErr(path + ": " + kInvalid + "\n");
    }
}

// The listing, --json, --quiet and --regions of one file, whole or filtered by --tag.
void DumpFile(const Arguments& arguments, const std::string& path, FileRecord& record) {
    const Mode mode = arguments.mode;
    CDicomFile file;
    file.SetParseOptions(DumpParseOptions(mode == Mode::Json || mode == Mode::Listing || arguments.check));
    if (!file.LoadFile(WidePath(path))) {
        if (const std::string* ioError = IoErrorOf(file)) {
            RecordIoError(arguments, path, *ioError, record);
            return;
        }
        const ParseFailure* failure = file.GetFailure();
        RecordRefused(failure, arguments.redact, record);
        // The partial tree is checked as a loaded tree is; a file that cannot be read again
        // is only refused.
        std::vector<CheckProblem> problems;
        std::string error;
        const bool checked = arguments.check && failure != nullptr &&
                             CheckRefusedFile(WidePath(path), *failure, problems, error);
        if (checked) RecordProblems(problems, record);
        record.serious = false;
        std::unique_ptr<ShownNodes> shown;
        if (!arguments.tags.empty() && failure != nullptr)
            shown = std::make_unique<ShownNodes>(failure->tree, arguments.tags);
        const DumpView view{arguments.redact, shown.get()};
        if (mode == Mode::Json) {
            PrintJsonRefused(JsonOutput(), path, failure, view,
                             arguments.check ? ProblemsJsonMember(problems, arguments.redact, error) : std::string());
            JsonOutput().Flush();
        } else if (mode == Mode::Listing) {
            const ProblemListing listing(problems, arguments.redact);
            PrintListingRefused(path, failure, view, checked ? &listing : nullptr);
        }
        if (mode == Mode::Quiet)
            WriteErr(path + ": " + kInvalid + ": " + FailureLine(failure, arguments.redact) + "\n");
        else
            WriteErr(path + ": " + kInvalid + "\n");
        return;
    }
    RecordLoaded(file, arguments, record);
    std::vector<CheckProblem> problems;
    std::string checkError;
    if (arguments.check && !CheckLoadedFile(WidePath(path), file, problems, checkError)) {
        // The file's object is still printed, its problems unknown.
        WriteErr(path + ": " + checkError + "\n");
        record.status = 1;
    } else if (arguments.check) {
        RecordProblems(problems, record);
    }
    std::unique_ptr<ShownNodes> shown;
    if (!arguments.tags.empty()) shown = std::make_unique<ShownNodes>(file, arguments.tags);
    const DumpView view{arguments.redact, shown.get()};
    if (mode == Mode::Json) {
        PrintJson(JsonOutput(), path, file, view,
                  arguments.check ? ProblemsJsonMember(problems, arguments.redact, checkError) : std::string());
        JsonOutput().Flush();
    } else if (mode == Mode::Listing) {
        const ProblemListing listing(problems, arguments.redact);
        PrintListing(path, file, view, arguments.check && checkError.empty() ? &listing : nullptr);
    } else if (mode == Mode::Regions) {
        PrintRegions(path, file);
    }
}

// One file of the run, whatever the mode; what it contributes to the summary and the status.
FileRecord RunFile(const Arguments& arguments, const FileEntry& entry) {
    const auto start = std::chrono::steady_clock::now();
    FileRecord record;
    record.path = entry.path;
    record.bytes = entry.size;
    if (!entry.ioError.empty()) {
        RecordIoError(arguments, entry.path, entry.ioError, record);
        return record;
    }
    // The file is not opened ahead to learn whether it can be: the parse's own open and reads
    // say so, with the system's reason.
    if (arguments.at.has_value())
        AtFile(arguments, entry.path, record);
    else
        DumpFile(arguments, entry.path, record);
    record.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return record;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    // --check and --diff map large files; one cut short under them is an error, not a crash.
    FileMapping::ExitWhenCutShort("orveldump: a file became shorter while its bytes were read (it changed during "
                                  "the run)\n", 1);
    Arguments arguments;
    std::string error;
    switch (ParseArguments(argc, argv, arguments, error)) {
        case ParseResult::Help:
            std::fputs(kUsage, stdout);
            return 0;
        case ParseResult::Version:
            std::fputs("orveldump " ORVEL_VERSION "\n", stdout);
            return 0;
        case ParseResult::Usage:
            std::fprintf(stderr, "orveldump: %s\n%s", error.c_str(), kShortUsage);
            return 2;
        case ParseResult::Run:
            break;
    }
    if (arguments.mergeSummaries) return MergeSummaries(arguments);
    if (arguments.diff) return RunDiff(arguments);
    if (arguments.html) return RunHtml(arguments);
    return RunArchive(arguments, [&](const FileEntry& entry) { return RunFile(arguments, entry); });
}
