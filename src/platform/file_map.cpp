#include "platform/file_map.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>

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

int runGuardedAgainstFileShrink(int (*work)(void*), void* context, int* result) {
    *result = work(context);
    return 1;
}

#else
#include <csetjmp>
#include <csignal>
#include <sys/mman.h>

namespace {

// The one live mapping (the program maps one input at a time).
const unsigned char* liveBase = nullptr;
int32_t liveSize = 0;

// Per thread: where a guarded run on this thread resumes after a fault.
thread_local sigjmp_buf* guardJump = nullptr;
struct sigaction previousAction;
bool handlerInstalled = false;

void onBusError(int signal, siginfo_t* info, void*) {
    const unsigned char* address = (const unsigned char*)info->si_addr;
    if (guardJump && liveBase && address >= liveBase && address < liveBase + liveSize)
        siglongjmp(*guardJump, 1);
    // Not ours: let the fault take its usual course.
    sigaction(signal, &previousAction, nullptr);
    raise(signal);
}

}  // namespace

const unsigned char* mapFile(FILE* file, int32_t size) {
    if (size <= 0 || liveBase) return nullptr;
    // Not populated here: the readers populate the parts they read, each on
    // its own thread.
    void* view = mmap(nullptr, (size_t)size, PROT_READ, MAP_PRIVATE, fileno(file), 0);
    if (view == MAP_FAILED) return nullptr;
    liveBase = (const unsigned char*)view;
    liveSize = size;
    return liveBase;
}

void populateMapped(const unsigned char* from, int64_t n) {
#if defined(__linux__)
    const int kPopulateRead = 22;  // MADV_POPULATE_READ, Linux 5.14 on
    if (!liveBase || n <= 0 || from < liveBase || from >= liveBase + liveSize) return;
    if (n > liveBase + liveSize - from) n = liveBase + liveSize - from;
    const uintptr_t page = 4096;
    const uintptr_t begin = (uintptr_t)from & ~(page - 1);
    // An older system refuses the advice and the pages fault in as read; a
    // file that shrank meanwhile makes it fail, and the read faults as before.
    madvise((void*)begin, (uintptr_t)from + (uintptr_t)n - begin, kPopulateRead);
#else
    (void)from;
    (void)n;
#endif
}

void unmapFile(const unsigned char* contents, int32_t size) {
    if (!contents) return;
    munmap((void*)contents, (size_t)size);
    if (contents == liveBase) {
        liveBase = nullptr;
        liveSize = 0;
    }
}

int runGuardedAgainstFileShrink(int (*work)(void*), void* context, int* result) {
    // Installed once and kept: guarded runs on several threads overlap. The
    // first run is on the main thread, before any worker starts.
    if (!handlerInstalled) {
        struct sigaction action;
        action.sa_sigaction = onBusError;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO;
        sigaction(SIGBUS, &action, &previousAction);
        handlerInstalled = true;
    }
    sigjmp_buf jump;
    sigjmp_buf* outer = guardJump;
    if (sigsetjmp(jump, 1) != 0) {
        guardJump = outer;
        return 0;
    }
    guardJump = &jump;
    *result = work(context);
    guardJump = outer;
    return 1;
}
#endif
