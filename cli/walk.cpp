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
#include <dirent.h>
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

// What the listing says a name is; Unknown where it does not say (some file systems), which
// costs a status call to learn.
enum class Kind { Directory, Regular, Link, Other, Unknown };

struct Listed {
    std::string name;
    Kind kind;
};

// The names in a directory (without "." and ".."), or false with the system's reason for what
// could not be listed; the names listed before an error are kept.
bool List(const std::string& dir, std::vector<Listed>& entries, std::string& error) {
#ifdef _WIN32
    std::error_code ec;
    for (fs::directory_iterator it(NativePath(dir), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        const fs::file_type type = it->symlink_status(typeError).type();
        const Kind kind = typeError                           ? Kind::Unknown
                          : type == fs::file_type::directory ? Kind::Directory
                          : type == fs::file_type::regular   ? Kind::Regular
                          : type == fs::file_type::symlink   ? Kind::Link
                                                              : Kind::Other;
        entries.push_back({it->path().filename().u8string(), kind});
    }
    if (ec) error = ec.message();
    return !ec;
#else
    // readdir gives each name's type from the directory itself: no call a file to learn it.
    DIR* handle = opendir(dir.c_str());
    if (handle == nullptr) {
        error = Reason(errno);
        return false;
    }
    errno = 0;
    while (const struct dirent* entry = readdir(handle)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        const Kind kind = entry->d_type == DT_DIR   ? Kind::Directory
                          : entry->d_type == DT_REG ? Kind::Regular
                          : entry->d_type == DT_LNK ? Kind::Link
                          : entry->d_type == DT_UNKNOWN ? Kind::Unknown
                                                        : Kind::Other;
        entries.push_back({name, kind});
    }
    const int listError = errno;
    closedir(handle);
    if (listError != 0) error = Reason(listError);
    return listError == 0;
#endif
}

// What a path names, asked of the system: the link itself, or with `follow` what it leads to.
// False with the reason (a dangling link, a loop of links, a name gone since the listing).
bool KindOf(const std::string& path, bool follow, Kind& kind, std::string& error) {
    std::error_code ec;
    const fs::file_status status = follow ? fs::status(NativePath(path), ec) : fs::symlink_status(NativePath(path), ec);
    if (ec) {
        error = ec.message();
        return false;
    }
    kind = fs::is_directory(status)      ? Kind::Directory
           : fs::is_regular_file(status) ? Kind::Regular
           : fs::is_symlink(status)      ? Kind::Link
                                         : Kind::Other;
    return true;
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
        std::vector<Listed> entries;
        std::string error;
        if (!List(dir, entries, error)) m_files.push_back({dir, error, 0});
        std::sort(entries.begin(), entries.end(), [](const Listed& a, const Listed& b) { return a.name < b.name; });
        for (const Listed& entry : entries) Entry(Join(dir, entry.name), entry.kind);
        m_open.erase(identity);
    }

private:
    void Entry(std::string path, Kind kind) {
        if (kind == Kind::Link && !m_options.follow) return;
        // The listing's own type is used where it has one; only a link (or a system that gives
        // no type) costs a call to learn what it names.
        std::string error;
        if ((kind == Kind::Link || kind == Kind::Unknown) && !KindOf(path, m_options.follow, kind, error)) {
            m_files.push_back({path, error, 0});
            return;
        }
        if (kind == Kind::Directory) {
            Directory(path);
        } else if (kind == Kind::Regular) {
            std::error_code ec;
            const uintmax_t size = m_options.sizes ? fs::file_size(NativePath(path), ec) : 0;
            m_files.push_back({std::move(path), std::string(), ec ? 0 : static_cast<uint64_t>(size)});
        }
        // Pipes, sockets and devices in a tree are not files of the archive; nor is a link that
        // is not followed (found only where the listing gave no type).
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
