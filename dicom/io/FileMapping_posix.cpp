#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>

#include "dicom/io/FileMapping.h"
#include "dicom/io/FileStream.h"

namespace {

// The mappings open now, as address ranges the bus-error handler can read safely; a program
// holds a few at a time (the diff two).
constexpr size_t kSlots = 16;
std::atomic<uintptr_t> g_starts[kSlots];
std::atomic<uintptr_t> g_ends[kSlots];

const char* g_message = nullptr;
int g_status = 1;

// The end is stored before the start, which makes the slot count for the handler.
void Register(const uint8_t* data, uint64_t size) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(data);
    for (size_t i = 0; i < kSlots; ++i)
        if (g_starts[i].load() == 0) {
            g_ends[i].store(start + static_cast<uintptr_t>(size));
            g_starts[i].store(start);
            return;
        }
    // More mappings than slots: a fault in this one stays a bus error.
}

void Unregister(const uint8_t* data) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(data);
    for (size_t i = 0; i < kSlots; ++i)
        if (g_starts[i].load() == start) {
            g_starts[i].store(0);
            return;
        }
}

void OnBusError(int signal, siginfo_t* info, void*) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
    for (size_t i = 0; i < kSlots; ++i) {
        const uintptr_t start = g_starts[i].load();
        if (start != 0 && at >= start && at < g_ends[i].load()) {
            const ssize_t written = write(STDERR_FILENO, g_message, std::strlen(g_message));
            (void)written;
            _exit(g_status);
        }
    }
    // Not in a mapping of ours: as if there were no handler (the fault happens again).
    struct sigaction plain;
    std::memset(&plain, 0, sizeof plain);
    plain.sa_handler = SIG_DFL;
    sigaction(signal, &plain, nullptr);
}

}  // namespace

void FileMapping::ExitWhenCutShort(const char* message, int status) {
    g_message = message;
    g_status = status;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, nullptr);
}

bool FileMapping::Open(const std::wstring& path) {
    Close();
    FILE* stream = OpenFileForReading(path);
    if (stream == nullptr) return false;
    struct stat info;
    bool mapped = fstat(fileno(stream), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
                  static_cast<uint64_t>(info.st_size) <= SIZE_MAX;
    if (mapped) {
        const size_t size = static_cast<size_t>(info.st_size);
        void* data = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fileno(stream), 0);
        mapped = data != MAP_FAILED;
        if (mapped) {
            m_data = static_cast<const uint8_t*>(data);
            m_size = size;
            Register(m_data, m_size);
        }
    }
    // The mapping keeps the file; the descriptor is not needed any more.
    std::fclose(stream);
    return mapped;
}

void FileMapping::Close() {
    if (m_data != nullptr) {
        Unregister(m_data);
        munmap(const_cast<uint8_t*>(m_data), static_cast<size_t>(m_size));
    }
    m_data = nullptr;
    m_size = 0;
}
