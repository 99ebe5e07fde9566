// orveldump --check: reading a file's bytes for the encoding checks, and printing what they find
// in the JSON objects and in the readable listing.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "dicom/analysis/Check.h"

class CDicomFile;
class CDicomTag;
struct ParseFailure;

// Checks a loaded file against the bytes it holds now. False (with the reason) when the bytes
// cannot be read or no longer have the size that was parsed.
bool CheckLoadedFile(const std::wstring& path, const CDicomFile& file, std::vector<CheckProblem>& problems,
                     std::string& error);

// Checks the partial tree of a refused file (its failure record) against the file's bytes, as
// for a loaded file. False (with the reason) as above.
bool CheckRefusedFile(const std::wstring& path, const ParseFailure& failure, std::vector<CheckProblem>& problems,
                      std::string& error);

// True when some problem is a warning or an error (exit status 3).
bool HasSeriousProblem(const std::vector<CheckProblem>& problems);

// The member that --check adds to a file's JSON object: `, "problems": [...]`. With `redact`,
// the messages about elements whose values a redacted dump leaves out quote none of their bytes.
// Where the file could not be checked, the member is `, "problems": null, "checkError": "why"`.
std::string ProblemsJsonMember(const std::vector<CheckProblem>& problems, bool redact = false,
                               const std::string& error = "");

// The problems of one file as lines of the readable listing, each under the element it concerns.
class ProblemListing {
public:
    explicit ProblemListing(const std::vector<CheckProblem>& problems, bool redact = false);
    // Problems about the file as a whole that lie before its elements (a bare data set, the meta
    // group).
    void AppendHead(std::string& out) const;
    // The lines of one element, indented one step below it.
    void AppendLinesOf(const CDicomTag& tag, int depth, std::string& out) const;
    // Problems after the elements (trailing bytes), then the count.
    void AppendTail(std::string& out) const;

private:
    const std::vector<CheckProblem>& m_problems;
    bool m_redact;
    std::unordered_map<const CDicomTag*, std::vector<const CheckProblem*>> m_byElement;
};
