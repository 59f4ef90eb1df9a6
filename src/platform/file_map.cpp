#include "platform/file_map.h"

#if defined(_WIN32)
#include "platform/win32.h"

#include <io.h>

const unsigned char* mapFile(FILE* file, int32_t size) {
    HANDLE handle = (HANDLE)_get_osfhandle(_fileno(file));
    if (handle == INVALID_HANDLE_VALUE || size <= 0) return nullptr;
    HANDLE mapping = CreateFileMappingA(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping) return nullptr;
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, (SIZE_T)size);
    // The view keeps the mapping alive; a mapped file cannot be shortened here.
    CloseHandle(mapping);
    return (const unsigned char*)view;
}

void unmapFile(const unsigned char* contents, int32_t) {
    if (contents) UnmapViewOfFile(contents);
}

void populateMapped(const unsigned char*, int64_t) {}

// A mapped file cannot be shortened here.
bool mappedFileShrank() { return false; }

#else
#include <csignal>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The one live mapping (the program maps one input at a time), as the
// signal handler sees it.
const unsigned char* volatile liveBase = nullptr;
volatile int32_t liveSize = 0;
volatile sig_atomic_t liveShrank = 0;

uintptr_t pageSize = 4096;
struct sigaction previousAction;
bool handlerInstalled = false;

void onBusError(int signal, siginfo_t* info, void*) {
    const unsigned char* address = (const unsigned char*)info->si_addr;
    const unsigned char* base = liveBase;
    if (base && address >= base && address < base + liveSize) {
        // Zero pages from the faulting one to the end of the mapping: all of
        // it lies past the file's new end. The read that faulted then resumes.
        const uintptr_t from = (uintptr_t)address & ~(pageSize - 1);
        const uintptr_t to = ((uintptr_t)base + (uintptr_t)liveSize + pageSize - 1) & ~(pageSize - 1);
        if (mmap((void*)from, to - from, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
            MAP_FAILED) {
            liveShrank = 1;
            return;
        }
    }
    // Not ours: let the fault take its usual course.
    sigaction(signal, &previousAction, nullptr);
    raise(signal);
}

void installHandler() {
    if (handlerInstalled) return;
    const long page = sysconf(_SC_PAGESIZE);
    if (page > 0) pageSize = (uintptr_t)page;
    struct sigaction action;
    action.sa_sigaction = onBusError;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO;
    sigaction(SIGBUS, &action, &previousAction);
    handlerInstalled = true;
}

}  // namespace

bool mappedFileShrank() { return liveShrank != 0; }

const unsigned char* mapFile(FILE* file, int32_t size) {
    if (size <= 0 || liveBase) return nullptr;
    installHandler();
    // Not populated here: the readers populate the parts they read, each on
    // its own thread.
    void* view = mmap(nullptr, (size_t)size, PROT_READ, MAP_PRIVATE, fileno(file), 0);
    if (view == MAP_FAILED) return nullptr;
    liveSize = size;
    liveShrank = 0;
    liveBase = (const unsigned char*)view;
    return (const unsigned char*)view;
}

void populateMapped(const unsigned char* from, int64_t n) {
    const int kPopulateRead = 22;  // MADV_POPULATE_READ, Linux 5.14 on
    if (!liveBase || n <= 0 || from < liveBase || from >= liveBase + liveSize) return;
    if (n > liveBase + liveSize - from) n = liveBase + liveSize - from;
    const uintptr_t page = 4096;
    const uintptr_t begin = (uintptr_t)from & ~(page - 1);
    // An older system refuses the advice and the pages fault in as read; a
    // file that shrank meanwhile makes it fail, and the read faults as before.
    madvise((void*)begin, (uintptr_t)from + (uintptr_t)n - begin, kPopulateRead);
}

void unmapFile(const unsigned char* contents, int32_t size) {
    if (!contents) return;
    munmap((void*)contents, (size_t)size);
    if (contents == liveBase) {
        liveBase = nullptr;
        liveSize = 0;
        liveShrank = 0;
    }
}

#endif
