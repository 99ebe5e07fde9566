#include "cli/jobs.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "cli/sink.h"

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

volatile std::sig_atomic_t g_interrupted = 0;
volatile std::sig_atomic_t g_finishFile = 0;

// Ends the program at once, as Ctrl-C does by default, unless the run is to finish the file in
// hand and print what it has done; a second Ctrl-C ends it at once all the same.
extern "C" void OnInterrupt(int signal) {
    if (!g_finishFile || g_interrupted) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_interrupted = 1;
}

bool RunHere(const std::vector<FileEntry>& files, const std::function<FileRecord(const FileEntry&)>& one,
             const std::function<void(const FileRecord&)>& done) {
    for (const FileEntry& file : files) {
        if (g_interrupted) return false;
        const FileRecord record = one(file);
        FlushOutOrExit();
        done(record);
    }
    return !g_interrupted;
}

#ifndef _WIN32

struct Worker {
    pid_t pid = -1;
    int fd = -1;
    bool alive = false;
    // Bytes read from the pipe ahead of the frame being taken: one read serves many small frames.
    std::string ahead;
    size_t taken = 0;
};

// Reads `length` bytes of the worker's pipe; false at its end (the worker has gone) or when
// interrupted.
bool ReadAll(Worker& worker, char* data, size_t length) {
    while (length > 0) {
        if (worker.taken == worker.ahead.size()) {
            worker.ahead.resize(64 * 1024);
            worker.taken = 0;
            const ssize_t got = read(worker.fd, &worker.ahead[0], worker.ahead.size());
            if (got < 0 && errno == EINTR && !g_interrupted) {
                worker.ahead.clear();
                continue;
            }
            worker.ahead.resize(got > 0 ? static_cast<size_t>(got) : 0);
            if (got <= 0) return false;
        }
        const size_t piece = std::min(length, worker.ahead.size() - worker.taken);
        std::memcpy(data, worker.ahead.data() + worker.taken, piece);
        worker.taken += piece;
        data += piece;
        length -= piece;
    }
    return true;
}

// One file from a worker: its output printed as it comes, then its record. False when the
// worker ended before the record.
bool Receive(Worker& worker, FileRecord& record) {
    std::string data;
    for (;;) {
        char head[5];
        if (!ReadAll(worker, head, sizeof head)) return false;
        uint32_t length = 0;
        std::memcpy(&length, head + 1, 4);
        if (head[0] == 'o' && length <= worker.ahead.size() - worker.taken) {
            // Output already read ahead goes out from there.
            WriteOut(worker.ahead.data() + worker.taken, length);
            worker.taken += length;
            continue;
        }
        data.resize(length);
        if (length != 0 && !ReadAll(worker, &data[0], length)) return false;
        if (head[0] == 'o') {
            WriteOut(data);
        } else if (head[0] == 'e') {
            WriteErr(data);
        } else {
            FlushOutOrExit();
            return record.Deserialize(data);
        }
    }
}

#endif

}  // namespace

unsigned DefaultJobs() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

void CatchInterrupt(bool finishFile) {
    g_finishFile = finishFile ? 1 : 0;
#ifdef _WIN32
    std::signal(SIGINT, OnInterrupt);
#else
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a wait for a worker ends at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed output pipe is noticed at the next write (and ends the run quietly).
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

bool Interrupted() { return g_interrupted != 0; }

bool RunJobs(const std::vector<FileEntry>& files, unsigned jobs, const std::function<FileRecord(const FileEntry&)>& one,
             const std::function<void(const FileRecord&)>& done) {
#ifdef _WIN32
    (void)jobs;
    return RunHere(files, one, done);
#else
    if (jobs > files.size()) jobs = static_cast<unsigned>(files.size());
    if (jobs <= 1) return RunHere(files, one, done);
    std::fflush(stdout);
    std::fflush(stderr);
    // Worker w reads files w, w + jobs, w + 2 jobs, ...; the files go out in turn. This process
    // is worker 0: it reads its own share between passing on the others' output, so that N jobs
    // are N processes at work, not N workers and a process that copies.
    std::vector<Worker> workers(jobs);
    for (unsigned w = 1; w < jobs; ++w) {
        int fds[2];
        pid_t pid = -1;
        if (pipe(fds) == 0) {
#ifdef F_SETPIPE_SZ
            // Room for a worker to run some files ahead while this process reads one of its own.
            fcntl(fds[0], F_SETPIPE_SZ, 1 << 20);
#endif
            pid = fork();
            if (pid < 0) {
                close(fds[0]);
                close(fds[1]);
            }
        }
        if (pid == 0) {
            close(fds[0]);
            for (unsigned other = 0; other < w; ++other)
                if (workers[other].fd >= 0) close(workers[other].fd);
            std::signal(SIGINT, SIG_DFL);
            std::signal(SIGTERM, SIG_DFL);
            SinkToPipe(fds[1]);
            for (size_t i = w; i < files.size(); i += jobs) {
                SinkFrame('r', one(files[i]).Serialize());
                SinkFlush();
            }
            _exit(0);
        }
        if (pid > 0) {
            close(fds[1]);
            workers[w].pid = pid;
            workers[w].fd = fds[0];
            workers[w].alive = true;
        }
        // Where no worker could be started, this process reads that worker's files itself.
    }
    bool complete = true;
    for (size_t i = 0; i < files.size(); ++i) {
        if (g_interrupted) {
            complete = false;
            break;
        }
        Worker& worker = workers[i % jobs];
        FileRecord record;
        if (worker.alive && !Receive(worker, record)) {
            if (g_interrupted) {
                complete = false;
                break;
            }
            // The worker died (killed, or it ended itself on a file that changed under it): the
            // rest of its files are read here. What it printed of this file stays printed.
            worker.alive = false;
            record = FileRecord();
            record.path = files[i].path;
            record.outcome = Outcome::IoError;
            record.reason = "the worker process reading it ended before it was done";
            record.status = 1;
            WriteErr(files[i].path + ": " + record.reason + "\n");
        } else if (!worker.alive) {
            record = one(files[i]);
            FlushOutOrExit();
        }
        done(record);
    }
    for (Worker& worker : workers) {
        if (worker.pid <= 0) continue;
        if (!complete) kill(worker.pid, SIGTERM);
        close(worker.fd);
        while (waitpid(worker.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    return complete && !g_interrupted;
#endif
}
