#include "platform/file_stream.h"

#include "platform/file_map.h"

#if defined(__linux__)
#include <fcntl.h>
#endif

// How much written output waits before its writing back is started.
static const int64_t kWriteBackBytes = 4 << 20;

FileStream::~FileStream() {
    if (file) std::fclose(file);
}

int FileStream::close() {
    if (!file) return -1;
    int result = std::fclose(file);
    file = nullptr;
    return result;
}

int FileStream::seek(int32_t offset) {
    return file && std::fseek(file, offset, SEEK_SET) == 0 ? 1 : 0;
}

int FileStream::skip(int32_t offset) {
    return file && std::fseek(file, offset, SEEK_CUR) == 0 ? 1 : 0;
}

int32_t FileStream::tell() {
    if (!file) return -1;
    long position = std::ftell(file);
    return position < 0 || position > INT32_MAX ? -1 : (int32_t)position;
}

FileReadStream::~FileReadStream() {
    if (mapped) unmapFile(mapped, fileSize);
}

int32_t FileReadStream::read(void* buffer, int32_t n) {
    if (!file || n <= 0) return 0;
    return (int32_t)std::fread(buffer, (size_t)n, 1, file);
}

int FileReadStream::write(const void*, int32_t) { return 0; }

int32_t FileReadStream::size() { return fileSize; }

const unsigned char* FileReadStream::contents() {
    if (!mapped && file && fileSize > 0) mapped = mapFile(file, fileSize);
    return mapped;
}

int32_t FileWriteStream::read(void*, int32_t) { return 0; }

int FileWriteStream::write(const void* buffer, int32_t n) {
    if (!file || n < 0) return 0;
    if (n == 0) return 1;
    if (std::fwrite(buffer, (size_t)n, 1, file) != 1) return 0;
    written += n;
    if (writeBackEarly && written - flushing >= kWriteBackBytes) startWriteBack();
    return 1;
}

// Starts writing back what was written since the last start, without waiting
// for it: renaming a file over an existing one makes the file system write
// back what is still waiting first, and that wait was the run's longest step.
// A file that replaces nothing is left to the system's own pace: starting
// the writing back costs a wait of its own when the disk is busy.
void FileWriteStream::startWriteBack() {
#if defined(__linux__)
    if (written > flushing && std::fflush(file) == 0)
        sync_file_range(fileno(file), flushing, written - flushing, SYNC_FILE_RANGE_WRITE);
#endif
    flushing = written;
}

int FileWriteStream::close() {
    if (file && writeBackEarly) startWriteBack();
    return FileStream::close();
}

int32_t FileWriteStream::size() { return -1; }
