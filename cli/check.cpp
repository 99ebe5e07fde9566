#include "cli/check.h"

#include <cstdio>

#include "cli/file_bytes.h"
#include "cli/redact.h"
#include "dicom/read/DicomFile.h"

namespace {

void AppendJsonString(std::string& out, const std::string& text) {
    out += '"';
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += ch;
        }
    }
    out += '"';
}

void AppendLine(std::string& out, const CheckProblem& problem, int depth, bool redact) {
    char head[128];
    std::snprintf(head, sizeof head, "%*s! %llu (0x%08llX) %s %s: ", depth * 2, "",
                  static_cast<unsigned long long>(problem.offset), static_cast<unsigned long long>(problem.offset),
                  SeverityName(problem.severity), problem.rule);
    out += head;
    if (problem.outsideTree != nullptr && problem.element != nullptr) {
        // Not in the listing's tree: the line names its element.
        std::snprintf(head, sizeof head, "(%04X,%04X) after the pixel data: ", problem.element->GetGroup(),
                      problem.element->GetElement());
        out += head;
    }
    out += ShownMessage(problem, redact);
    out += '\n';
}

}  // namespace

bool CheckLoadedFile(const std::wstring& path, const CDicomFile& file, std::vector<CheckProblem>& problems,
                     std::string& error) {
    problems.clear();
    FileBytes bytes;
    if (!bytes.Open(path, file.GetFileSize(), "checking", error)) return false;
    problems = CheckFile(CheckInputOf(file, bytes.Data(), bytes.Size()));
    return true;
}

bool CheckRefusedFile(const std::wstring& path, const ParseFailure& failure, std::vector<CheckProblem>& problems,
                      std::string& error) {
    problems.clear();
    // Nothing was read whole (a file that is not DICOM at all, say): nothing to check.
    if (failure.tree.GetElements().empty()) return true;
    FileBytes bytes;
    if (!bytes.Open(path, failure.fileSize.value_or(-1), "checking", error)) return false;
    CheckInput input;
    input.elements = failure.tree.GetElements().data();
    input.elementCount = failure.tree.GetElements().size();
    input.bytes = bytes.Data();
    input.size = bytes.Size();
    input.hasPreamble = failure.hasPreamble.value_or(false);
    input.explicitVR = failure.explicitVR.value_or(true);
    input.littleEndian = failure.littleEndian.value_or(true);
    // The parse stopped before any trailing bytes were known.
    input.trailingSize = 0;
    input.partial = true;
    input.deflated = IsDeflated(failure.tree);
    problems = CheckFile(input);
    return true;
}

bool HasSeriousProblem(const std::vector<CheckProblem>& problems) {
    for (const CheckProblem& problem : problems)
        if (problem.severity != CheckSeverity::Info) return true;
    return false;
}

std::string ProblemsJsonMember(const std::vector<CheckProblem>& problems, bool redact, const std::string& error) {
    if (!error.empty()) {
        std::string out = ", \"problems\": null, \"checkError\": ";
        AppendJsonString(out, error);
        return out;
    }
    std::string out = ", \"problems\": [";
    char number[32];
    for (size_t i = 0; i < problems.size(); ++i) {
        const CheckProblem& problem = problems[i];
        out += i == 0 ? "{\"rule\": \"" : ", {\"rule\": \"";
        out += problem.rule;
        out += "\", \"severity\": \"";
        out += SeverityName(problem.severity);
        std::snprintf(number, sizeof number, "%llu", static_cast<unsigned long long>(problem.offset));
        out += "\", \"offset\": ";
        out += number;
        out += ", \"path\": [";
        for (size_t k = 0; k < problem.path.size(); ++k) {
            const CheckPathStep& step = problem.path[k];
            char text[64];
            std::snprintf(text, sizeof text, "%s{\"index\": %lu, \"tag\": \"%04X,%04X\"}", k == 0 ? "" : ", ",
                          static_cast<unsigned long>(step.index), step.group, step.element);
            out += text;
        }
        out += "], \"message\": ";
        AppendJsonString(out, ShownMessage(problem, redact));
        out += '}';
    }
    out += ']';
    return out;
}

ProblemListing::ProblemListing(const std::vector<CheckProblem>& problems, bool redact)
    : m_problems(problems), m_redact(redact) {
    for (const CheckProblem& problem : problems)
        if (problem.element != nullptr) m_byElement[problem.element].push_back(&problem);
}

void ProblemListing::AppendHead(std::string& out) const {
    for (const CheckProblem& problem : m_problems)
        if (problem.element == nullptr && std::string(problem.rule) != "trailing-bytes") AppendLine(out, problem, 0, m_redact);
}

void ProblemListing::AppendLinesOf(const CDicomTag& tag, int depth, std::string& out) const {
    if (m_byElement.empty()) return;
    const auto found = m_byElement.find(&tag);
    if (found == m_byElement.end()) return;
    for (const CheckProblem* problem : found->second) AppendLine(out, *problem, depth + 1, m_redact);
}

void ProblemListing::AppendTail(std::string& out) const {
    size_t counts[3] = {};
    for (const CheckProblem& problem : m_problems) {
        ++counts[static_cast<size_t>(problem.severity)];
        // Trailing bytes, and the elements after the pixel data, which are not in the tree.
        if ((problem.element == nullptr && std::string(problem.rule) == "trailing-bytes") ||
            problem.outsideTree != nullptr)
            AppendLine(out, problem, 0, m_redact);
    }
    char line[160];
    std::snprintf(line, sizeof line, "%zu problem%s: %zu error%s, %zu warning%s, %zu info\n", m_problems.size(),
                  m_problems.size() == 1 ? "" : "s", counts[2], counts[2] == 1 ? "" : "s", counts[1],
                  counts[1] == 1 ? "" : "s", counts[0]);
    out += line;
}
