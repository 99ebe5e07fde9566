#include "cli/progress.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

namespace {

std::string Bytes(double bytes) {
    const char* units[] = {"B", "KB", "MB", "GB", "TB", "PB"};
    int unit = 0;
    while (bytes >= 1000 && unit < 5) {
        bytes /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

std::string Duration(double seconds) {
    const unsigned long long s = static_cast<unsigned long long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%llu:%02llu", s / 60, s % 60);
    return text;
}

}  // namespace

Progress::Progress(bool on, uint64_t files, uint64_t bytes)
    : m_on(on), m_files(files), m_totalBytes(bytes), m_start(Clock::now()), m_shown(m_start) {}

std::string Progress::Line(uint64_t done, uint64_t files, uint64_t bytes, uint64_t totalBytes, uint64_t refused,
                           double seconds) {
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    char text[160];
    std::snprintf(text, sizeof text, "%llu/%llu files, %s of %s, %.0f files/s, %llu refused",
                  static_cast<unsigned long long>(done), static_cast<unsigned long long>(files),
                  Bytes(static_cast<double>(bytes)).c_str(), Bytes(static_cast<double>(totalBytes)).c_str(), rate, static_cast<unsigned long long>(refused));
    std::string line = text;
    if (rate > 0 && done < files) line += ", " + Duration(static_cast<double>(files - done) / rate) + " left";
    return line;
}

void Progress::Done(uint64_t bytes, bool refused) {
    ++m_done;
    m_bytes += bytes;
    if (refused) ++m_refused;
    if (!m_on) return;
    const Clock::time_point now = Clock::now();
    // Shown after the first second, then redrawn ten times a second at most.
    if (now - m_start < std::chrono::seconds(1) || (m_width != 0 && now - m_shown < std::chrono::milliseconds(100)))
        return;
    m_shown = now;
    const std::string line = Line(m_done, m_files, m_bytes, m_totalBytes, m_refused, std::chrono::duration<double>(now - m_start).count());
    // Spaces over the rest of a longer line before.
    const size_t pad = m_width > line.size() ? m_width - line.size() : 0;
    std::fprintf(stderr, "\r%s%*s", line.c_str(), static_cast<int>(pad), "");
    std::fflush(stderr);
    m_width = line.size();
}

void Progress::Clear() {
    if (m_width == 0) return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(m_width), "");
    std::fflush(stderr);
    m_width = 0;
}

bool ProgressWanted(int choice) {
    if (choice != 0) return choice > 0;
    return isatty(2) != 0;
}
