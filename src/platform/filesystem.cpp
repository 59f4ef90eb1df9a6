#include "platform/filesystem.h"

#include "platform/file_stream.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

FileSystem* gFileSystem = nullptr;

FILE* openReadableFile(const char* name, int32_t* size) {
    FILE* file = std::fopen(name, "rb");
    if (!file) return nullptr;
#if defined(_WIN32)
    struct _stat64 info;
    bool usable = _fstat64(_fileno(file), &info) == 0 && !(info.st_mode & _S_IFDIR) &&
                  info.st_size >= 0 && info.st_size <= INT32_MAX;
#else
    struct stat info;
    bool usable = fstat(fileno(file), &info) == 0 && !S_ISDIR(info.st_mode) &&
                  info.st_size >= 0 && (int64_t)info.st_size <= INT32_MAX;
#endif
    long end = -1;
    if (usable && std::fseek(file, 0, SEEK_END) == 0) end = std::ftell(file);
    if (!usable || end < 0 || end > INT32_MAX || std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        return nullptr;
    }
    *size = (int32_t)end;
    return file;
}

Stream* StdFileSystem::openRead(const char* name) {
    int32_t size = 0;
    FILE* file = openReadableFile(name, &size);
    if (!file) return nullptr;
    return new FileReadStream(file, size);
}

Stream* StdFileSystem::openWrite(const char* name, int32_t append) {
    FILE* file = std::fopen(name, append ? "ab" : "wb");
    if (!file) return nullptr;
    return new FileWriteStream(file);
}

int StdFileSystem::exists(const char* name) {
    FILE* file = std::fopen(name, "rb");
    if (!file) return 0;
    std::fclose(file);
    return 1;
}

int32_t StdFileSystem::fileSize(const char* name) {
    int32_t size = 0;
    FILE* file = openReadableFile(name, &size);
    if (!file) return 0;
    std::fclose(file);
    return size;
}

String StdFileSystem::currentDirectory() {
    char buffer[1024];
    std::memset(buffer, 0, sizeof buffer);
#if defined(_WIN32)
    if (!_getcwd(buffer, sizeof buffer)) buffer[0] = '\0';
#else
    if (!getcwd(buffer, sizeof buffer)) buffer[0] = '\0';
#endif
    return String(buffer);
}

int StdFileSystem::changeDirectory(const char* path) {
#if defined(_WIN32)
    return _chdir(path) == 0 ? 1 : 0;
#else
    return chdir(path) == 0 ? 1 : 0;
#endif
}

int StdFileSystem::makeDirectory(const char* path) {
#if defined(_WIN32)
    return _mkdir(path) == 0 ? 1 : 0;
#else
    return mkdir(path, 0777) == 0 ? 1 : 0;
#endif
}

Stream* StdFileSystem::createTemporary(const char* target, String* temporaryName) {
    String name = String(target).concat(".XXXXXX");
#if defined(_WIN32)
    // The process id, the clock and a counter fill in the X's; _O_EXCL
    // refuses a name that already exists, so another try takes the next one.
    static unsigned serial = 0;
    char* tail = name.data + name.length - 7;
    int descriptor = -1;
    for (int attempt = 0; attempt < 64 && descriptor < 0; ++attempt) {
        unsigned seed = (unsigned)GetCurrentProcessId() * 2654435761u + (unsigned)GetTickCount() +
                        ++serial * 40503u;
        for (int i = 0; i < 6; ++i, seed /= 36) tail[i] = "0123456789abcdefghijklmnopqrstuvwxyz"[seed % 36];
        descriptor = _open(name.data, _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (descriptor < 0 && errno != EEXIST) break;
    }
    if (descriptor < 0) return nullptr;
    FILE* file = _fdopen(descriptor, "wb");
    if (!file) {
        _close(descriptor);
        std::remove(name.data);
        return nullptr;
    }
#else
    int descriptor = mkstemp(name.data);
    if (descriptor < 0) return nullptr;
    // mkstemp makes the file private; give it the mode a plain create would.
    mode_t mask = umask(0);
    umask(mask);
    if (fchmod(descriptor, 0666 & ~mask) != 0) {
        close(descriptor);
        unlink(name.data);
        return nullptr;
    }
    FILE* file = fdopen(descriptor, "wb");
    if (!file) {
        close(descriptor);
        unlink(name.data);
        return nullptr;
    }
#endif
    temporaryName->assign(name);
    FileWriteStream* stream = new FileWriteStream(file);
#if !defined(_WIN32)
    struct stat existing;
    stream->writeBackEarly = stat(target, &existing) == 0;
#endif
    return stream;
}

int StdFileSystem::replaceFile(const char* from, const char* to) {
#if defined(_WIN32)
    // A read-only pack (version control leaves files not checked out so) is
    // refused, as a direct write over it would be. MoveFileEx refuses it too,
    // but not wherever it runs (Wine as root replaces it). It also refuses a
    // pack that another program holds open.
    DWORD attributes = GetFileAttributesA(to);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return 0;
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) ? 1 : 0;
#else
    return std::rename(from, to) == 0 ? 1 : 0;
#endif
}

int StdFileSystem::removeFile(const char* name) { return std::remove(name) == 0 ? 1 : 0; }

int StdFileSystem::sameFile(const char* a, const char* b) {
#if defined(_WIN32)
    HANDLE first = CreateFileA(a, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (first == INVALID_HANDLE_VALUE) return 0;
    HANDLE second = CreateFileA(b, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    int same = 0;
    if (second != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION x, y;
        if (GetFileInformationByHandle(first, &x) && GetFileInformationByHandle(second, &y))
            same = x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
                   x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
        CloseHandle(second);
    }
    CloseHandle(first);
    return same;
#else
    struct stat x, y;
    if (stat(a, &x) != 0 || stat(b, &y) != 0) return 0;
    return x.st_dev == y.st_dev && x.st_ino == y.st_ino ? 1 : 0;
#endif
}
