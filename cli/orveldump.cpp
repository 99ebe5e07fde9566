// orveldump: prints the parse of DICOM files the way the viewer's tree and property list show it.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/at.h"
#include "cli/diff.h"
#include "cli/json.h"
#include "cli/listing.h"
#include "cli/output.h"
#include "cli/parse_options.h"
#include "cli/regions.h"
#include "cli/tag_filter.h"
#include "cli/utf8.h"
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

// --at over every file: 0, or 1 when any file was refused (searched in its partial tree).
int At(const Arguments& arguments) {
    int status = 0;
    Output json;
    for (const std::string& path : arguments.paths) {
        CDicomFile file;
        file.SetParseOptions(DumpParseOptions(true));
        const bool loaded = file.LoadFile(WideFromUtf8(path));
        if (arguments.mode == Mode::Json) {
            PrintAtJson(json, path, *arguments.at, file, loaded);
            json.Flush();
        } else {
            PrintAtListing(path, *arguments.at, file, loaded);
        }
        std::fflush(stdout);
        if (!loaded) {
            status = 1;
            std::fprintf(stderr, "%s: %s\n", path.c_str(), kInvalid);
        }
    }
    return status;
}

// The listing, --json, --quiet and --regions over every file, whole or filtered by --tag; the
// exit status.
int Dump(const Arguments& arguments) {
    const Mode mode = arguments.mode;
    int status = 0;
    bool problemsFound = false;
    Output json;
    for (const std::string& path : arguments.paths) {
        CDicomFile file;
        file.SetParseOptions(DumpParseOptions(mode == Mode::Json || mode == Mode::Listing || arguments.check));
        if (!file.LoadFile(WideFromUtf8(path))) {
            status = 1;
            const ParseFailure* failure = file.GetFailure();
            // The partial tree is checked as a loaded tree is; a file that cannot be read again
            // is only refused.
            std::vector<CheckProblem> problems;
            std::string error;
            const bool checked = arguments.check && failure != nullptr &&
                                 CheckRefusedFile(WideFromUtf8(path), *failure, problems, error);
            std::unique_ptr<ShownNodes> shown;
            if (!arguments.tags.empty() && failure != nullptr)
                shown = std::make_unique<ShownNodes>(failure->tree, arguments.tags);
            const DumpView view{arguments.redact, shown.get()};
            if (mode == Mode::Json) {
                PrintJsonRefused(json, path, failure, view,
                                 arguments.check ? ProblemsJsonMember(problems, arguments.redact, error) : std::string());
                json.Flush();
            } else if (mode == Mode::Listing) {
                const ProblemListing listing(problems, arguments.redact);
                PrintListingRefused(path, failure, view, checked ? &listing : nullptr);
            }
            std::fflush(stdout);
            if (mode == Mode::Quiet)
                std::fprintf(stderr, "%s: %s: %s\n", path.c_str(), kInvalid, FailureLine(failure).c_str());
            else
                std::fprintf(stderr, "%s: %s\n", path.c_str(), kInvalid);
            continue;
        }
        std::vector<CheckProblem> problems;
        std::string checkError;
        if (arguments.check && !CheckLoadedFile(WideFromUtf8(path), file, problems, checkError)) {
            // The file's object is still printed, its problems unknown.
            std::fflush(stdout);
            std::fprintf(stderr, "%s: %s\n", path.c_str(), checkError.c_str());
            status = 1;
        }
        problemsFound = problemsFound || HasSeriousProblem(problems);
        std::unique_ptr<ShownNodes> shown;
        if (!arguments.tags.empty()) shown = std::make_unique<ShownNodes>(file, arguments.tags);
        const DumpView view{arguments.redact, shown.get()};
        if (mode == Mode::Json) {
            PrintJson(json, path, file, view,
                      arguments.check ? ProblemsJsonMember(problems, arguments.redact, checkError) : std::string());
            json.Flush();
        } else if (mode == Mode::Listing) {
            const ProblemListing listing(problems, arguments.redact);
            PrintListing(path, file, view, arguments.check && checkError.empty() ? &listing : nullptr);
        } else if (mode == Mode::Regions) {
            PrintRegions(path, file);
        }
    }
    json.Flush();
    std::fflush(stdout);
    if (status == 0 && problemsFound) status = 3;
    return status;
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
    if (arguments.diff) return RunDiff(arguments);
    if (arguments.at.has_value()) return At(arguments);
    return Dump(arguments);
}
