#include "platform/file_stream.h"

#include "platform/file_map.h"
#include "platform/replacing_file.h"

#include <cerrno>

FileStream::~FileStream() {
    if (file && owned) std::fclose(file);
}

int FileStream::close() {
    if (!file) return -1;
    int result = owned ? std::fclose(file) : std::fflush(file);
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
    if (std::fwrite(buffer, (size_t)n, 1, file) == 1 && (!replacing || replacing->wrote(n))) return 1;
    if (!error) error = replacing && replacing->error ? replacing->error : errno ? errno : EIO;
    return 0;
}

int32_t FileWriteStream::size() { return -1; }
