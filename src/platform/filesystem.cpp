#include "platform/filesystem.h"

#include "platform/file_stream.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include "platform/win32.h"

#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

FileSystem* gFileSystem = nullptr;

FILE* openReadableFile(const char* name, int32_t* size) {
#if defined(_WIN32)
    struct _stat64 info;
    // fopen refuses a folder with EACCES here, which would not say why.
    if (_stat64(name, &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFDIR) {
        errno = EISDIR;
        return nullptr;
    }
    FILE* file = std::fopen(name, "rb");
    if (!file) return nullptr;
    int refusal = 0;
    if (_fstat64(_fileno(file), &info) != 0)
        refusal = errno;
    else if ((info.st_mode & _S_IFMT) == _S_IFDIR)
        refusal = EISDIR;
    else if ((info.st_mode & _S_IFMT) != _S_IFREG)
        refusal = ENODEV;
    else if (info.st_size < 0 || info.st_size > INT32_MAX)
        refusal = EFBIG;
#else
    // Not blocking: a FIFO must be refused, not waited on.
    const int descriptor = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return nullptr;
    struct stat info;
    int refusal = 0;
    if (fstat(descriptor, &info) != 0)
        refusal = errno;
    else if (S_ISDIR(info.st_mode))
        refusal = EISDIR;
    else if (!S_ISREG(info.st_mode))
        refusal = ENODEV;  // devices, FIFOs, sockets
    else if (info.st_size < 0 || (int64_t)info.st_size > INT32_MAX)
        refusal = EFBIG;
    FILE* file = nullptr;
    if (!refusal && fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) == 0)
        file = fdopen(descriptor, "rb");
    if (!file) {
        if (!refusal) refusal = errno;
        close(descriptor);
        errno = refusal;
        return nullptr;
    }
#endif
    long end = -1;
    if (!refusal && std::fseek(file, 0, SEEK_END) == 0) end = std::ftell(file);
    if (!refusal && (end < 0 || end > INT32_MAX)) refusal = EFBIG;
    if (!refusal && std::fseek(file, 0, SEEK_SET) != 0) refusal = errno;
    if (refusal) {
        std::fclose(file);
        errno = refusal;
        return nullptr;
    }
    *size = (int32_t)end;
    return file;
}

const char* openFailureText(int error) {
    static char text[160];
    switch (error) {
        case EISDIR: return "is a directory";
        case ENODEV: return "not a regular file";
        case EFBIG: return "larger than 2 GiB";
        default:
            std::snprintf(text, sizeof text, "cannot open: %s", std::strerror(error ? error : EIO));
            return text;
    }
}

Stream* StdFileSystem::openRead(const char* name) {
    int32_t size = 0;
    FILE* file = openReadableFile(name, &size);
    if (!file) return nullptr;
    Stream* stream = new (std::nothrow) FileReadStream(file, size);
    if (!stream) {
        std::fclose(file);
        errno = ENOMEM;
    }
    return stream;
}

Stream* StdFileSystem::openWrite(const char* name, int32_t append) {
    FILE* file = std::fopen(name, append ? "ab" : "wb");
    if (!file) return nullptr;
    Stream* stream = new (std::nothrow) FileWriteStream(file);
    if (!stream) {
        std::fclose(file);
        errno = ENOMEM;
    }
    return stream;
}

int StdFileSystem::exists(const char* name) {
#if defined(_WIN32)
    struct _stat64 info;
    return _stat64(name, &info) == 0 ? 1 : 0;
#else
    struct stat info;
    return stat(name, &info) == 0 ? 1 : 0;
#endif
}

int32_t StdFileSystem::fileSize(const char* name) {
    int32_t size = 0;
    FILE* file = openReadableFile(name, &size);
    if (!file) return 0;
    std::fclose(file);
    return size;
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
