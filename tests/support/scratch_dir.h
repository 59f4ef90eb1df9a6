#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

// Creates a new, empty directory under the system's temporary folder and
// returns its path; empty on failure.
inline std::string makeScratchDirectory() {
    std::filesystem::path base = std::filesystem::temp_directory_path();
#if defined(_WIN32)
    // No mkdtemp here: create_directory says false for a name that exists.
    static unsigned serial = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path candidate =
            base / ("tarvolt-" + std::to_string(_getpid()) + "-" + std::to_string(serial++));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) return candidate.string();
        if (error) break;
    }
    return "";
#else
    std::string pattern = (base / "tarvolt-XXXXXX").string();
    return mkdtemp(&pattern[0]) ? pattern : "";
#endif
}

// A fresh directory under the system's temporary folder, removed with its
// contents when the object goes.
struct ScratchDir {
    std::string path = makeScratchDirectory();
    ~ScratchDir() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// Makes dir the working directory for the object's lifetime.
struct InDirectory {
    std::filesystem::path saved;
    explicit InDirectory(const std::string& dir) : saved(std::filesystem::current_path()) {
        std::error_code error;
        std::filesystem::current_path(dir, error);
        if (error) saved.clear();
    }
    ~InDirectory() {
        std::error_code error;
        if (!saved.empty()) std::filesystem::current_path(saved, error);
        if (error) std::abort();
    }
};

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A text file as a text-mode read gives it: the platform's line ends become '\n'.
inline std::string readText(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
