#include "cli/walk.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

fs::path NativePath(const std::string& utf8) { return fs::u8path(utf8); }

std::string Reason(int error) { return std::strerror(error); }

// What tells one directory from another however it is reached: device and inode where the
// system has them, else the canonical path.
std::string Identity(const fs::path& dir) {
#ifdef _WIN32
    std::error_code ec;
    return fs::canonical(dir, ec).u8string();
#else
    struct stat info;
    if (stat(dir.c_str(), &info) != 0) return std::string();
    return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
#endif
}

std::string Join(const std::string& dir, const std::string& name) {
    if (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) return dir + name;
    return dir + "/" + name;
}

class Walker {
public:
    Walker(const WalkOptions& options, std::vector<FileEntry>& files) : m_options(options), m_files(files) {}

    void Directory(const std::string& dir) {
        const std::string identity = Identity(NativePath(dir));
        // A directory met again inside itself (through a link) would be walked for ever.
        if (!identity.empty() && !m_open.insert(identity).second) {
            m_files.push_back({dir, Reason(ELOOP), 0});
            return;
        }
        std::error_code ec;
        std::vector<std::pair<std::string, fs::directory_entry>> entries;
        for (fs::directory_iterator it(NativePath(dir), ec), end; !ec && it != end; it.increment(ec))
            entries.emplace_back(it->path().filename().u8string(), *it);
        if (ec) m_files.push_back({dir, ec.message(), 0});
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [name, entry] : entries) Entry(Join(dir, name), entry);
        m_open.erase(identity);
    }

private:
    void Entry(const std::string& path, const fs::directory_entry& entry) {
        std::error_code ec;
        if (entry.is_symlink(ec) && !m_options.follow) return;
        // The listing's own type is used where it has one; only a link (or a system that gives
        // no type) costs a call to learn what it names.
        const bool directory = entry.is_directory(ec);
        const bool regular = !ec && !directory && entry.is_regular_file(ec);
        if (ec) {
            // A dangling link, a chain of links that loops, a file gone since the listing.
            m_files.push_back({path, ec.message(), 0});
            return;
        }
        if (directory) {
            Directory(path);
        } else if (regular) {
            const uintmax_t size = m_options.sizes ? entry.file_size(ec) : 0;
            m_files.push_back({path, std::string(), ec ? 0 : static_cast<uint64_t>(size)});
        }
        // Pipes, sockets and devices in a tree are not files of the archive.
    }

    const WalkOptions& m_options;
    std::vector<FileEntry>& m_files;
    std::set<std::string> m_open;  // the directories being walked, from the top down
};

}  // namespace

void CollectFiles(const std::vector<std::string>& paths, const WalkOptions& options, std::vector<FileEntry>& files) {
    for (const std::string& path : paths) {
        std::error_code ec;
        const fs::file_status status = fs::status(NativePath(path), ec);
        if (ec) {
            files.push_back({path, ec.message(), 0});
        } else if (fs::is_directory(status)) {
            if (options.recursive)
                Walker(options, files).Directory(path);
            else
                files.push_back({path, Reason(EISDIR), 0});
        } else {
            const uintmax_t size =
                options.sizes && fs::is_regular_file(status) ? fs::file_size(NativePath(path), ec) : 0;
            files.push_back({path, std::string(), ec ? 0 : static_cast<uint64_t>(size)});
        }
    }
}

bool ReadPathList(std::FILE* in, bool nul, std::vector<std::string>& paths, std::string& error) {
    const int separator = nul ? '\0' : '\n';
    std::string path;
    for (int c; (c = std::getc(in)) != EOF;) {
        if (c != separator) {
            path += static_cast<char>(c);
            continue;
        }
        if (!path.empty()) paths.push_back(path);
        path.clear();
    }
    if (std::ferror(in)) {
        error = Reason(errno);
        return false;
    }
    if (!path.empty()) paths.push_back(path);
    return true;
}

std::string OpenError(const std::string& path) {
#ifdef _WIN32
    const std::wstring wide = NativePath(path).wstring();
    struct _stat64 info;
    if (_wstat64(wide.c_str(), &info) != 0) return Reason(errno);
    if ((info.st_mode & _S_IFMT) == _S_IFDIR) return Reason(EISDIR);
    const int fd = _wopen(wide.c_str(), _O_RDONLY | _O_BINARY);
    if (fd < 0) return Reason(errno);
    _close(fd);
#else
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return Reason(errno);
    if (S_ISDIR(info.st_mode)) return Reason(EISDIR);
    // Only a regular file is opened here: opening a pipe would wait for its writer.
    if (!S_ISREG(info.st_mode)) return std::string();
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return Reason(errno);
    close(fd);
#endif
    return std::string();
}
