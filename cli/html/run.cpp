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
#include "dicom/DicomFile.h"

namespace {

namespace fs = std::filesystem;

// The page of one file, and what it says on stderr; false when the file was refused.
bool MakePage(const std::string& path, const Arguments& arguments, std::string& page, bool& serious) {
    const std::wstring widePath = WideFromUtf8(path);
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

    std::vector<CheckProblem> problems;
    std::string checkError;
    if (loaded)
        CheckLoadedFile(widePath, file, problems, checkError);
    else if (failure != nullptr)
        CheckRefusedFile(widePath, *failure, problems, checkError);
    if (loaded || failure != nullptr) {
        input.problems = &problems;
        input.checkError = checkError;
    }
    serious = checkError.empty() && HasSeriousProblem(problems);

    FileBytes bytes;
    std::string bytesError;
    const int64_t size = loaded ? file.GetFileSize() : failure != nullptr ? failure->fileSize.value_or(-1) : -1;
    if ((loaded || failure != nullptr) && bytes.Open(widePath, size, "the page", bytesError)) {
        input.bytes = bytes.Data();
        input.byteCount = bytes.Size();
    } else if (loaded || failure != nullptr) {
        std::fprintf(stderr, "%s: %s; the page shows no bytes\n", path.c_str(), bytesError.c_str());
    }

    ReportSummary summary;
    page = ReportPage(ReportModel(input, summary));
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

bool WritePage(const fs::path& target, const std::string& page, const std::string& shownName) {
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(page.data(), static_cast<std::streamsize>(page.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "orveldump: cannot write %s\n", shownName.c_str());
        return false;
    }
    return true;
}

}  // namespace

int RunHtml(const Arguments& arguments) {
    const std::string& output = arguments.output;
    const bool endsInSlash = !output.empty() && (output.back() == '/' || output.back() == '\\');
    std::error_code error;
    const fs::path outPath = output.empty() ? fs::path() : fs::path(WideFromUtf8(output));
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
        std::string page;
        bool problems = false;
        if (!MakePage(path, arguments, page, problems)) status = 1;
        serious = serious || problems;
        if (output.empty()) {
            std::fwrite(page.data(), 1, page.size(), stdout);
            std::fflush(stdout);
        } else if (toFolder) {
            const std::string name = BaseName(path) + ".html";
            if (!WritePage(outPath / fs::path(WideFromUtf8(name)), page, output + "/" + name)) status = 1;
        } else if (!WritePage(outPath, page, output)) {
            status = 1;
        }
    }
    if (status == 0 && serious && arguments.check) status = 3;
    return status;
}
