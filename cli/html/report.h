// orveldump --html: one self-contained page per file with the viewer's panes (facts, element
// tree, property list, hex view), the --check problems and the failure record. The page's
// script, style and template live beside this file and are built into the program.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dicom/analysis/Check.h"

class CDicomFile;
class CTagArray;
struct ParseFailure;

// The page as a whole stays near this many bytes unless its structure alone needs more.
constexpr uint64_t kDefaultHtmlBudget = uint64_t(16) << 20;

// What one page is made of.
struct ReportInput {
    std::string name;                      // the input's base name; left out when redacting
    const CDicomFile* file = nullptr;      // a loaded file, or
    const ParseFailure* failure = nullptr; // the failure record of a refused one (null: unreadable)
    const uint8_t* bytes = nullptr;        // the file's bytes as stored (null: not readable)
    uint64_t byteCount = 0;
    const std::vector<CheckProblem>* problems = nullptr;
    std::string checkError;                // why the problems are unknown
    bool redact = false;
    uint64_t budget = kDefaultHtmlBudget;
};

// What the page leaves out of the file's bytes.
struct ReportSummary {
    uint64_t pageSize = 0;
    uint64_t bytesLeftOut = 0;  // file bytes not in the page (bulk values, budget, redaction gaps)
    uint32_t window = 0;        // head and tail bytes kept of each bulk value
    uint64_t longValue = 0;     // values longer than this are bulk
    bool shrunk = false;        // the budget made the windows or the long-value limit smaller
    bool overBudget = false;    // even the structure alone does not fit the budget
};

// Where a page goes, piece by piece.
using PageSink = std::function<void(const char* text, size_t length)>;

// The page model: one JSON object, with every '<', '>', '&', U+2028 and U+2029 escaped so that
// it can sit in a <script type="application/json"> block whatever the file holds.
std::string ReportModel(const ReportInput& input, ReportSummary& summary);

void WriteReportModel(const ReportInput& input, ReportSummary& summary, const PageSink& sink);

// The whole page: the template's head, the model and the template's tail.
void WriteReportPage(const ReportInput& input, ReportSummary& summary, const PageSink& sink);

// The base name of a path (after the last '/' or, on Windows, '\\').
std::string BaseName(const std::string& path);
