#include "qrvinfo/pack_file.h"

#include "platform/allocator.h"
#include "platform/filesystem.h"

#include <cerrno>
#include <cstdio>

unsigned char* readWholeFile(const char* path, int32_t* size) {
    FILE* file = openReadableFile(path, size);
    if (!file) return nullptr;
    // One spare byte, so an empty file still gets a block.
    unsigned char* bytes = (unsigned char*)gAllocator->realloc(nullptr, *size + 1);
    const bool read = std::fread(bytes, 1, (size_t)*size, file) == (size_t)*size;
    std::fclose(file);
    if (read) return bytes;
    gAllocator->free(bytes);
    errno = EIO;
    return nullptr;
}
