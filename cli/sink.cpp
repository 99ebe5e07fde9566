#include "cli/sink.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

int g_pipe = -1;
void (*g_beforeErr)() = nullptr;

void WriteAll(int fd, const char* data, size_t length) {
    while (length > 0) {
#ifdef _WIN32
        const int written = _write(fd, data, static_cast<unsigned>(length > (1u << 30) ? (1u << 30) : length));
#else
        const ssize_t written = write(fd, data, length);
#endif
        if (written < 0 && errno == EINTR) continue;
        // The reading process has gone (interrupted, or its output closed): so has this work.
        if (written <= 0) std::_Exit(1);
        data += written;
        length -= static_cast<size_t>(written);
    }
}

// A write error on standard output: quietly when the reader has gone (a closed pipe), else with
// the reason; status 1 either way.
[[noreturn]] void FailOutput(int error) {
    if (error != EPIPE) {
        if (g_beforeErr != nullptr) g_beforeErr();
        std::fprintf(stderr, "orveldump: cannot write the output: %s\n", std::strerror(error != 0 ? error : EIO));
    }
    std::_Exit(1);
}

}  // namespace

void SinkToPipe(int fd) { g_pipe = fd; }

namespace {
// Frames not yet sent: a file's frames go down the pipe in one write where they fit.
std::string g_frames;
constexpr size_t kFrameBatch = 64 * 1024;
}  // namespace

void SinkFrame(char kind, const char* data, size_t size) {
    char head[5] = {kind};
    const uint32_t length = static_cast<uint32_t>(size);
    std::memcpy(head + 1, &length, 4);
    if (g_frames.size() + sizeof head + size > kFrameBatch) {
        SinkFlush();
        if (sizeof head + size > kFrameBatch) {
            WriteAll(g_pipe, head, sizeof head);
            WriteAll(g_pipe, data, size);
            return;
        }
    }
    g_frames.append(head, sizeof head);
    g_frames.append(data, size);
}

void SinkFlush() {
    if (g_frames.empty()) return;
    WriteAll(g_pipe, g_frames.data(), g_frames.size());
    g_frames.clear();
}

void WriteOut(const char* text, size_t length) {
    if (g_pipe < 0) {
        errno = 0;
        if (std::fwrite(text, 1, length, stdout) != length) FailOutput(errno);
        return;
    }
    // In frames of at most 1 GiB; the reader holds one frame at a time.
    while (length > 0) {
        const size_t piece = length < (1u << 30) ? length : (1u << 30);
        SinkFrame('o', text, piece);
        text += piece;
        length -= piece;
    }
}

void WriteErr(const std::string& line) {
    if (g_pipe >= 0) {
        SinkFrame('e', line);
        return;
    }
    FlushOutOrExit();
    if (g_beforeErr != nullptr) g_beforeErr();
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

void SetBeforeErr(void (*beforeErr)()) { g_beforeErr = beforeErr; }

void FlushOutOrExit() {
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) FailOutput(errno);
}
