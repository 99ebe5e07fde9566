// Writes the benchmark files into a folder, each only when it is missing (or was written by an
// older version of this program), and prints one JSON line per file: name, path, nodes, size and
// whether it was written now.
//
//   make_bench_files [--small] FOLDER
//
// --small writes the same shapes a hundred times smaller (for the generator's own test).
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include "bench/BenchFiles.h"

namespace {

// Raise whenever the content of any file changes, so existing copies are written again.
const int kContentVersion = 1;

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WriteFile(const fs::path& path, const BenchFileKind& kind, const BenchScale& scale) {
    const fs::path part = path.string() + ".part";
    FILE* out = std::fopen(part.string().c_str(), "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "make_bench_files: cannot write %s\n", part.string().c_str());
        return false;
    }
    bool ok = true;
    kind.write(out, scale, ok);
    ok = (std::fclose(out) == 0) && ok;
    std::error_code error;
    if (ok) fs::rename(part, path, error);
    if (!ok || error) {
        std::fprintf(stderr, "make_bench_files: writing %s failed\n", path.string().c_str());
        fs::remove(part, error);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    bool small = false;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--small") == 0) small = true;
        else if (folder.empty() && argv[i][0] != '-') folder = argv[i];
        else {
            std::fprintf(stderr, "usage: make_bench_files [--small] FOLDER\n");
            return 2;
        }
    }
    if (folder.empty()) {
        std::fprintf(stderr, "usage: make_bench_files [--small] FOLDER\n");
        return 2;
    }
    const BenchScale scale = small ? SmallScale() : FullScale();
    const fs::path dir(folder);
    std::error_code error;
    fs::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "make_bench_files: cannot create %s\n", folder.c_str());
        return 1;
    }

    // A stamp of the content version and scale: files left by another version are written anew.
    const fs::path stamp = dir / "version";
    const std::string wanted = std::to_string(kContentVersion) + (small ? " small\n" : " full\n");
    const bool current = ReadText(stamp) == wanted;

    for (const BenchFileKind& kind : BenchFileKinds()) {
        bool ok = true;
        const BenchFileLayout layout = kind.write(nullptr, scale, ok);
        const fs::path path = dir / kind.name;
        const bool present = current && fs::is_regular_file(path, error) && fs::file_size(path, error) == layout.size;
        if (!present && !WriteFile(path, kind, scale)) return 1;
        std::printf("{\"name\": \"%s\", \"path\": \"%s\", \"nodes\": %llu, \"size\": %llu, \"written\": %s}\n", kind.name,
                    path.string().c_str(), static_cast<unsigned long long>(layout.nodes),
                    static_cast<unsigned long long>(layout.size), present ? "false" : "true");
        std::fflush(stdout);
    }
    if (!current) {
        std::ofstream out(stamp, std::ios::trunc);
        out << wanted;
        if (!out) {
            std::fprintf(stderr, "make_bench_files: cannot write %s\n", stamp.string().c_str());
            return 1;
        }
    }
    return 0;
}
