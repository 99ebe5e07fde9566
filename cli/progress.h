// The one-line progress display of a long run, on standard error: files done of all, bytes,
// files per second, refused so far and the time left. It appears once the run has taken a second
// and is cleared before any other line on standard error and at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

class Progress {
public:
    // Off unless `on`; `files` and `bytes` are the run's totals.
    Progress(bool on, uint64_t files, uint64_t bytes);
    ~Progress() { Clear(); }
    // After each file.
    void Done(uint64_t bytes, bool refused);
    // Removes the line (before another line on standard error, and at the end).
    void Clear();

    // The line for a state of the run; `seconds` since its start.
    static std::string Line(uint64_t done, uint64_t files, uint64_t bytes, uint64_t totalBytes, uint64_t refused,
                            double seconds);

private:
    using Clock = std::chrono::steady_clock;
    bool m_on;
    uint64_t m_files, m_totalBytes;
    uint64_t m_done = 0, m_bytes = 0, m_refused = 0;
    Clock::time_point m_start, m_shown;
    size_t m_width = 0;  // of the line on the screen, 0 when none is
};

// Whether a run shows progress: --progress, --no-progress, or by default when standard error is
// a terminal.
bool ProgressWanted(int choice);
