// The readable listing: one line per node, nested by indentation.
#pragma once

#include <string>

#include "cli/view.h"

class CDicomFile;
class ProblemListing;
struct ParseFailure;

// A loaded file, with the problems of --check under their elements when given. With a tag
// filter, each match (and what it holds) with its path in words under it, then the count.
void PrintListing(const std::string& path, const CDicomFile& file, const DumpView& view = {},
                  const ProblemListing* problems = nullptr);
void AppendListing(std::string& out, const std::string& path, const CDicomFile& file, const DumpView& view = {},
                   const ProblemListing* problems = nullptr);
// A refused file: the partial tree (with the problems of --check when given), then the line that
// says where and why.
void PrintListingRefused(const std::string& path, const ParseFailure* failure, const DumpView& view = {},
                         const ProblemListing* problems = nullptr);
void AppendListingRefused(std::string& out, const std::string& path, const ParseFailure* failure,
                          const DumpView& view = {}, const ProblemListing* problems = nullptr);

// "at offset 678 (0x2A6) in element 4 (0008,1115) > item 0 (FFFE,E000) > element 2 (0010,0010): value
// length ...", as printed after "Invalid DICOM file"; with `redact`, tags and bytes the parse read
// where it failed are hidden (see FailureTexts).
std::string FailureLine(const ParseFailure* failure, bool redact = false);
