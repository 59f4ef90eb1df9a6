#include "qrvinfo/pack_file.h"

#include "platform/allocator.h"
#include "platform/filesystem.h"

#include <cerrno>
#include <cstdio>

unsigned char* readWholeFile(const char* path, int32_t* size) {
    FILE* file = openReadableFile(path, size);
    if (!file) return nullptr;
    // An empty file still gets a block; a larger one needs no spare byte,
    // and the largest accepted size has no room for one.
    unsigned char* bytes = (unsigned char*)gAllocator->tryRealloc(nullptr, *size > 0 ? *size : 1);
    const bool read = bytes && std::fread(bytes, 1, (size_t)*size, file) == (size_t)*size;
    std::fclose(file);
    if (read) return bytes;
    gAllocator->free(bytes);
    errno = bytes ? EIO : ENOMEM;
    return nullptr;
}
