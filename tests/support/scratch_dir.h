#pragma once
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>

// A new, empty directory under the system's temporary folder ("" on failure), removed with its contents when the
// object goes.
struct ScratchDir {
    std::string path = [] {
        static std::mt19937_64 random{std::random_device{}()};
        std::error_code error;
        for (int attempt = 0; attempt < 100 && !error; ++attempt) {  // create_directory says false when it exists
            auto path = std::filesystem::temp_directory_path(error) / ("tarvolt-" + std::to_string(random()));
            if (!error && std::filesystem::create_directory(path, error)) return path.string();
        }
        return std::string();
    }();
    ~ScratchDir() { std::error_code ignored; if (!path.empty()) std::filesystem::remove_all(path, ignored); }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

struct InDirectory {  // dir is the working directory while the object lives
    std::filesystem::path saved = std::filesystem::current_path();
    explicit InDirectory(const std::string& dir) { std::filesystem::current_path(dir); }
    ~InDirectory() { std::filesystem::current_path(saved); }
};

inline void writeBytes(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
inline std::string readBytes(const std::string& path, std::ios::openmode mode = std::ios::binary) {
    std::ifstream in(path, mode);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
inline std::string readText(const std::string& path) { return readBytes(path, std::ios::in); }  // '\n' line ends

inline std::map<std::string, std::string> filesIn(const std::string& dir) {  // but app.log; contents of small ones
    std::map<std::string, std::string> files;
    std::error_code error;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        files[e.path().filename().string()] = e.file_size(error) < 1000000 ? readBytes(e.path().string()) : "";
    return files.erase("app.log"), files;
}
