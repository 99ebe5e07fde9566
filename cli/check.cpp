#include "cli/check.h"

#include <cstdio>

#include "dicom/DicomFile.h"
#include "dicom/FileStream.h"
#include "dicom/LargeBlock.h"

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

void AppendLine(std::string& out, const CheckProblem& problem, int depth) {
    char head[128];
    std::snprintf(head, sizeof head, "%*s! %llu (0x%08llX) %s %s: ", depth * 2, "",
                  static_cast<unsigned long long>(problem.offset), static_cast<unsigned long long>(problem.offset),
                  SeverityName(problem.severity), problem.rule);
    out += head;
    out += problem.message;
    out += '\n';
}

}  // namespace

bool CheckLoadedFile(const std::wstring& path, const CDicomFile& file, std::vector<CheckProblem>& problems,
                     std::string& error) {
    problems.clear();
    FILE* stream = OpenFileForReading(path);
    if (stream == nullptr) {
        error = "cannot open the file again to check its bytes";
        return false;
    }
    const int64_t size = StreamSize(stream);
    LargeBlock bytes;
    bool read = size == file.GetFileSize() && SeekStream(stream, 0);
    if (read && size > 0 && !bytes.Allocate(static_cast<size_t>(size))) {
        std::fclose(stream);
        error = "not enough memory to hold the file's bytes for checking";
        return false;
    }
    if (read && size > 0)
        read = std::fread(bytes.Data(), 1, static_cast<size_t>(size), stream) == static_cast<size_t>(size);
    std::fclose(stream);
    if (!read) {
        error = "cannot read the bytes that were parsed (did the file change?)";
        return false;
    }
    problems = CheckFile(CheckInputOf(file, bytes.Data(), static_cast<uint64_t>(size)));
    return true;
}

std::vector<CheckProblem> CheckRefusedFile(const std::wstring&) { return {}; }

bool HasSeriousProblem(const std::vector<CheckProblem>& problems) {
    for (const CheckProblem& problem : problems)
        if (problem.severity != CheckSeverity::Info) return true;
    return false;
}

std::string ProblemsJsonMember(const std::vector<CheckProblem>& problems, const std::string& error) {
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
        AppendJsonString(out, problem.message);
        out += '}';
    }
    out += ']';
    return out;
}

ProblemListing::ProblemListing(const std::vector<CheckProblem>& problems) : m_problems(problems) {
    for (const CheckProblem& problem : problems)
        if (problem.element != nullptr) m_byElement[problem.element].push_back(&problem);
}

void ProblemListing::AppendHead(std::string& out) const {
    for (const CheckProblem& problem : m_problems)
        if (problem.element == nullptr && std::string(problem.rule) != "trailing-bytes") AppendLine(out, problem, 0);
}

void ProblemListing::AppendLinesOf(const CDicomTag& tag, int depth, std::string& out) const {
    if (m_byElement.empty()) return;
    const auto found = m_byElement.find(&tag);
    if (found == m_byElement.end()) return;
    for (const CheckProblem* problem : found->second) AppendLine(out, *problem, depth + 1);
}

void ProblemListing::AppendTail(std::string& out) const {
    size_t counts[3] = {};
    for (const CheckProblem& problem : m_problems) {
        ++counts[static_cast<size_t>(problem.severity)];
        if (problem.element == nullptr && std::string(problem.rule) == "trailing-bytes") AppendLine(out, problem, 0);
    }
    char line[160];
    std::snprintf(line, sizeof line, "%zu problem%s: %zu error%s, %zu warning%s, %zu info\n", m_problems.size(),
                  m_problems.size() == 1 ? "" : "s", counts[2], counts[2] == 1 ? "" : "s", counts[1],
                  counts[1] == 1 ? "" : "s", counts[0]);
    out += line;
}
