// orveldump's command line: the flags, the files and the usage text.
#pragma once

#include <string>
#include <vector>

enum class Mode { Listing, Json, Quiet, Regions };

struct Arguments {
    Mode mode = Mode::Listing;
    bool check = false;
    std::vector<std::string> paths;
};

enum class ParseResult {
    Run,    // the arguments are complete
    Help,   // --help: print the usage text on stdout and exit 0
    Usage,  // a usage error: print `error` (when any) and the usage text on stderr and exit 2
};

ParseResult ParseArguments(int argc, char** argv, Arguments& arguments, std::string& error);

extern const char kUsage[];
