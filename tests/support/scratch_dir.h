#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <unistd.h>

// A fresh directory under the system's temporary folder, removed with its
// contents when the object goes.
struct ScratchDir {
    std::string path;
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarvolt-XXXXXX").string();
        if (mkdtemp(&pattern[0])) path = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// Makes dir the working directory for the object's lifetime.
struct InDirectory {
    std::string saved;
    explicit InDirectory(const std::string& dir) : saved(std::filesystem::current_path().string()) {
        if (chdir(dir.c_str()) != 0) saved.clear();
    }
    ~InDirectory() {
        if (!saved.empty() && chdir(saved.c_str()) != 0) std::abort();
    }
};

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
