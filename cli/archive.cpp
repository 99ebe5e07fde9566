#include "cli/archive.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/jobs.h"
#include "cli/progress.h"
#include "cli/sink.h"

namespace {

Progress* g_progress = nullptr;

void ClearProgress() {
    if (g_progress != nullptr) g_progress->Clear();
}

// The whole of a file, or false with the system's reason.
bool ReadWhole(const std::string& path, std::string& text, std::string& error) {
    std::FILE* in = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    char buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;) text.append(buffer, got);
    const bool ok = !std::ferror(in);
    if (!ok) error = std::strerror(errno);
    if (in != stdin) std::fclose(in);
    return ok;
}

// The summary as --summary-file, --json or the table ask; false when the file cannot be written.
bool PrintSummary(const Arguments& arguments, const Summary& summary) {
    if (!arguments.summaryFile.empty()) {
        std::FILE* out = std::fopen(arguments.summaryFile.c_str(), "wb");
        const std::string json = summary.Json();
        bool ok = out != nullptr && std::fwrite(json.data(), 1, json.size(), out) == json.size();
        int error = errno;
        if (out != nullptr && std::fclose(out) != 0 && ok) {
            ok = false;
            error = errno;
        }
        if (!ok) WriteErr("orveldump: " + arguments.summaryFile + ": " + std::strerror(error) + "\n");
        return ok;
    }
    WriteOut(arguments.mode == Mode::Json ? summary.Json() : summary.Table());
    return true;
}

}  // namespace

int RunArchive(const Arguments& arguments, const std::function<FileRecord(const FileEntry&)>& one) {
    std::vector<std::string> paths = arguments.paths;
    if (!arguments.filesFrom.empty()) {
        std::FILE* list = arguments.filesFrom == "-" ? stdin : std::fopen(arguments.filesFrom.c_str(), "rb");
        std::string error = list == nullptr ? std::strerror(errno) : "";
        if (list != nullptr) {
            ReadPathList(list, arguments.nul, paths, error);
            if (list != stdin) std::fclose(list);
        }
        if (!error.empty()) {
            WriteErr("orveldump: --files-from " + arguments.filesFrom + ": " + error + "\n");
            return 1;
        }
    }
    CatchInterrupt(arguments.summary);
    std::vector<FileEntry> files;
    // Sizes are learnt ahead only for the progress line's total; the parse measures each file.
    const bool showProgress = ProgressWanted(arguments.progress);
    CollectFiles(paths, WalkOptions{arguments.recursive, arguments.follow, showProgress}, files);
    uint64_t totalBytes = 0;
    for (const FileEntry& file : files) totalBytes += file.size;

    Progress progress(showProgress, files.size(), totalBytes);
    g_progress = &progress;
    SetBeforeErr(ClearProgress);
    Summary summary;
    size_t done = 0;
    int status = 0;
    bool serious = false;
    const bool complete =
        RunJobs(files, arguments.jobs == 0 ? DefaultJobs() : arguments.jobs, one, [&](const FileRecord& record) {
            ++done;
            if (arguments.summary) summary.Add(record);
            if (record.status != 0) status = 1;
            serious = serious || record.serious;
            progress.Done(record.bytes, record.outcome != Outcome::Loaded);
        });
    progress.Clear();
    if (!complete) {
        WriteErr("orveldump: interrupted after " + std::to_string(done) + " of " +
                 std::to_string(files.size()) + " files\n");
        status = 130;
    }
    if (arguments.summary && !PrintSummary(arguments, summary) && status != 130) status = 1;
    FlushOutOrExit();
    g_progress = nullptr;
    SetBeforeErr(nullptr);
    if (status == 0 && serious) status = 3;
    return status;
}

int MergeSummaries(const Arguments& arguments) {
    Summary total;
    int status = 0;
    for (const std::string& path : arguments.paths) {
        std::string text, error;
        Summary part;
        if (!ReadWhole(path, text, error) || !Summary::Parse(text, part, error)) {
            WriteErr("orveldump: " + path + ": " + error + "\n");
            status = 1;
            continue;
        }
        total.Merge(part);
    }
    if (!PrintSummary(arguments, total)) status = 1;
    FlushOutOrExit();
    return status;
}
