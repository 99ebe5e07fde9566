// orveldump: prints the parse of DICOM files the way the viewer's tree and property list show it.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/json.h"
#include "cli/listing.h"
#include "cli/output.h"
#include "cli/regions.h"
#include "cli/utf8.h"
#include "cli/check.h"
#include "dicom/DicomFile.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

const char kInvalid[] = "Invalid DICOM file";

// The listing, --json, --quiet and --regions over every file; the exit status.
int Dump(const Arguments& arguments) {
    const Mode mode = arguments.mode;
    int status = 0;
    bool problemsFound = false;
    Output json;
    for (const std::string& path : arguments.paths) {
        CDicomFile file;
        ParseOptions options;
        options.keepPartialTree = mode == Mode::Json || mode == Mode::Listing || arguments.check;
        file.SetParseOptions(options);
        if (!file.LoadFile(WideFromUtf8(path))) {
            status = 1;
            const ParseFailure* failure = file.GetFailure();
            // The partial tree is checked as a loaded tree is; a file that cannot be read again
            // is only refused.
            std::vector<CheckProblem> problems;
            std::string error;
            const bool checked = arguments.check && failure != nullptr &&
                                 CheckRefusedFile(WideFromUtf8(path), *failure, problems, error);
            if (mode == Mode::Json) {
                PrintJsonRefused(json, path, failure, arguments.check ? ProblemsJsonMember(problems) : std::string());
                json.Flush();
            } else if (mode == Mode::Listing) {
                const ProblemListing listing(problems);
                PrintListingRefused(path, failure, checked ? &listing : nullptr);
            }
            std::fflush(stdout);
            if (mode == Mode::Quiet)
                std::fprintf(stderr, "%s: %s: %s\n", path.c_str(), kInvalid, FailureLine(failure).c_str());
            else
                std::fprintf(stderr, "%s: %s\n", path.c_str(), kInvalid);
            continue;
        }
        std::vector<CheckProblem> problems;
        if (arguments.check) {
            std::string error;
            if (!CheckLoadedFile(WideFromUtf8(path), file, problems, error)) {
                std::fflush(stdout);
                std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
                status = 1;
                continue;
            }
            problemsFound = problemsFound || HasSeriousProblem(problems);
        }
        if (mode == Mode::Json) {
            PrintJson(json, path, file, arguments.check ? ProblemsJsonMember(problems) : std::string());
            json.Flush();
        } else if (mode == Mode::Listing) {
            const ProblemListing listing(problems);
            PrintListing(path, file, arguments.check ? &listing : nullptr);
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
    Arguments arguments;
    std::string error;
    switch (ParseArguments(argc, argv, arguments, error)) {
        case ParseResult::Help:
            std::fputs(kUsage, stdout);
            return 0;
        case ParseResult::Usage:
            std::fprintf(stderr, "%s%s", error.c_str(), kUsage);
            return 2;
        case ParseResult::Run:
            break;
    }
    return Dump(arguments);
}
