// orveldump's command line: the flags, the files and the usage text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/tag_filter.h"

enum class Mode { Listing, Json, Quiet, Regions };

struct Arguments {
    Mode mode = Mode::Listing;
    bool check = false;
    bool redact = false;
    bool diff = false;
    std::optional<uint64_t> at;
    std::vector<TagSpec> tags;
    std::vector<std::string> paths;
    // Over many files (cli/archive.h).
    bool recursive = false;        // -r: walk directories
    bool follow = false;           // --follow: and the symbolic links in them
    std::string filesFrom;         // --files-from LIST ("-": standard input)
    bool nul = false;              // -0: the list is NUL-separated
    unsigned jobs = 0;             // -j N; 0: the number of cores
    int progress = 0;              // --progress 1, --no-progress -1, 0: on a terminal
    bool summary = false;          // --summary
    std::string summaryFile;       // --summary-file F
    bool mergeSummaries = false;   // --merge-summaries: the paths are summaries
    // --html: one page per file, on stdout or in `output` (-o: a file, or a folder for several).
    bool html = false;
    std::string output;
    std::optional<uint64_t> htmlBudget;
};

enum class ParseResult {
    Run,    // the arguments are complete
    Help,   // --help: print the usage text on stdout and exit 0
    Version,  // --version: print the program's name and version on stdout and exit 0
    Usage,  // a usage error: print `error` and the short usage on stderr and exit 2
};

ParseResult ParseArguments(int argc, char** argv, Arguments& arguments, std::string& error);

// --help.
extern const char kUsage[];
// The synopsis printed after a usage error.
extern const char kShortUsage[];
