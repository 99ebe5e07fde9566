#include "cli/html/run.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/check.h"
#include "cli/file_bytes.h"
#include "cli/html/report.h"
#include "cli/parse_options.h"
#include "cli/utf8.h"
#include "cli/walk.h"
#include "dicom/read/DicomFile.h"

namespace {

namespace fs = std::filesystem;

// A path given as bytes (UTF-8 on Windows) as the system's path. A wide string would be
// narrowed through the C locale here, which refuses every non-ASCII character.
fs::path SystemPath(const std::string& path) {
#ifdef _WIN32
    return fs::path(WideFromUtf8(path));
#else
    return fs::path(path);
#endif
}

// Writes the page of one file to `sink` and what it says to stderr; false when the file was
// refused.
bool MakePage(const std::string& path, const Arguments& arguments, const PageSink& sink, bool& serious) {
    const std::wstring widePath = WidePath(path);
    CDicomFile file;
    file.SetParseOptions(DumpParseOptions(true));
    const bool loaded = file.LoadFile(widePath);
    const ParseFailure* failure = loaded ? nullptr : file.GetFailure();

    ReportInput input;
    input.name = BaseName(path);
    input.redact = arguments.redact;
    if (arguments.htmlBudget.has_value()) input.budget = *arguments.htmlBudget;
    if (loaded)
        input.file = &file;
    else
        input.failure = failure;

    // The bytes the page embeds are the ones a loaded file is checked against.
    FileBytes bytes;
    std::string bytesError;
    const int64_t size = loaded ? file.GetFileSize() : failure != nullptr ? failure->fileSize.value_or(-1) : -1;
    const bool readable = (loaded || failure != nullptr) && bytes.Open(widePath, size, "the page", bytesError);
    if (readable) {
        input.bytes = bytes.Data();
        input.byteCount = bytes.Size();
    } else if (loaded || failure != nullptr) {
        std::fprintf(stderr, "%s: %s; the page shows no bytes\n", path.c_str(), bytesError.c_str());
    }

    std::vector<CheckProblem> problems;
    std::string checkError;
    if (loaded && readable)
        problems = CheckFile(CheckInputOf(file, bytes.Data(), bytes.Size()));
    else if (loaded)
        checkError = bytesError;
    else if (failure != nullptr)
        CheckRefusedFile(widePath, *failure, problems, checkError);
    if (loaded || failure != nullptr) {
        input.problems = &problems;
        input.checkError = checkError;
    }
    serious = checkError.empty() && HasSeriousProblem(problems);

    ReportSummary summary;
    WriteReportPage(input, summary, sink);
    if (summary.overBudget)
        std::fprintf(stderr,
                     "%s: the page is %llu bytes, over the budget of %llu: its structure alone needs more "
                     "(%llu bytes of the file left out)\n",
                     path.c_str(), static_cast<unsigned long long>(summary.pageSize),
                     static_cast<unsigned long long>(input.budget), static_cast<unsigned long long>(summary.bytesLeftOut));
    else if (summary.shrunk)
        std::fprintf(stderr,
                     "%s: to keep the page within %llu bytes, bulk values keep %u bytes at each end and values "
                     "over %llu bytes are left out (%llu bytes of the file not in the page)\n",
                     path.c_str(), static_cast<unsigned long long>(input.budget), summary.window,
                     static_cast<unsigned long long>(summary.longValue),
                     static_cast<unsigned long long>(summary.bytesLeftOut));
    if (!loaded) std::fprintf(stderr, "%s: Invalid DICOM file\n", path.c_str());
    return loaded;
}

// Where the pages go: stdout, or one file after another.
class PageFile {
public:
    bool Open(const fs::path& target, const std::string& shownName) {
        m_shownName = shownName;
        m_file.open(target, std::ios::binary | std::ios::trunc);
        if (!m_file) std::fprintf(stderr, "orveldump: cannot write %s\n", shownName.c_str());
        return static_cast<bool>(m_file);
    }
    PageSink Sink() {
        return [this](const char* text, size_t length) { m_file.write(text, static_cast<std::streamsize>(length)); };
    }
    bool Close() {
        m_file.close();
        if (!m_file) std::fprintf(stderr, "orveldump: cannot write %s\n", m_shownName.c_str());
        return static_cast<bool>(m_file);
    }

private:
    std::ofstream m_file;
    std::string m_shownName;
};

}  // namespace

int RunHtml(const Arguments& arguments) {
    const std::string& output = arguments.output;
    const bool endsInSlash = !output.empty() && (output.back() == '/' || output.back() == '\\');
    std::error_code error;
    const fs::path outPath = output.empty() ? fs::path() : SystemPath(output);
    const bool toFolder = !output.empty() && (arguments.paths.size() > 1 || endsInSlash || fs::is_directory(outPath, error));
    if (output.empty() && arguments.paths.size() > 1) {
        std::fprintf(stderr, "orveldump: --html writes one page to stdout; give -o FOLDER for %zu files\n",
                     arguments.paths.size());
        return 2;
    }
    if (toFolder) {
        std::set<std::string> names;
        for (const std::string& path : arguments.paths)
            if (!names.insert(BaseName(path)).second) {
                std::fprintf(stderr, "orveldump: two files are named %s; their pages would have the same name\n",
                             BaseName(path).c_str());
                return 2;
            }
        fs::create_directories(outPath, error);
        if (!fs::is_directory(outPath, error)) {
            std::fprintf(stderr, "orveldump: -o %s: not a folder and cannot be made one\n", output.c_str());
            return 1;
        }
    }
    int status = 0;
    bool serious = false;
    for (const std::string& path : arguments.paths) {
        // A path that cannot be read (missing, a directory, no permission) gets no page, only the
        // system's reason.
        if (const std::string reason = OpenError(path); !reason.empty()) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), reason.c_str());
            status = 1;
            continue;
        }
        bool problems = false;
        bool loaded = true;
        if (output.empty()) {
            loaded = MakePage(path, arguments, [](const char* text, size_t length) { std::fwrite(text, 1, length, stdout); },
                              problems);
            std::fflush(stdout);
        } else {
            const std::string name = toFolder ? BaseName(path) + ".html" : std::string();
            const fs::path target = toFolder ? outPath / SystemPath(name) : outPath;
            PageFile file;
            if (!file.Open(target, toFolder ? output + "/" + name : output)) {
                status = 1;
                continue;
            }
            loaded = MakePage(path, arguments, file.Sink(), problems);
            if (!file.Close()) status = 1;
        }
        if (!loaded) status = 1;
        serious = serious || problems;
    }
    if (status == 0 && serious && arguments.check) status = 3;
    return status;
}
