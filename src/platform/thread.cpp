#include "platform/thread.h"

#if defined(_WIN32)
#include "platform/win32.h"

static DWORD WINAPI threadEntry(LPVOID parameter) {
    Thread& thread = *(Thread*)parameter;
    thread.result = thread.work(thread.context);
    return 0;
}

int startThread(Thread& thread, int (*work)(void*), void* context) {
    thread.work = work;
    thread.context = context;
    thread.handle = CreateThread(nullptr, 0, threadEntry, &thread, 0, nullptr);
    return thread.handle != nullptr;
}

int joinThread(Thread& thread) {
    if (!thread.handle) return thread.result;
    WaitForSingleObject((HANDLE)thread.handle, INFINITE);
    CloseHandle((HANDLE)thread.handle);
    thread.handle = nullptr;
    return thread.result;
}

int32_t availableProcessors() {
    DWORD_PTR process = 0, system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process) {
        int32_t count = 0;
        for (; process; process &= process - 1) ++count;
        return count;
    }
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? (int32_t)info.dwNumberOfProcessors : 1;
}

#else
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <new>

static void* threadEntry(void* parameter) {
    Thread& thread = *(Thread*)parameter;
    thread.result = thread.work(thread.context);
    return nullptr;
}

int startThread(Thread& thread, int (*work)(void*), void* context) {
    thread.work = work;
    thread.context = context;
    pthread_t* handle = new (std::nothrow) pthread_t;
    if (!handle) return 0;
    if (pthread_create(handle, nullptr, threadEntry, &thread) != 0) {
        delete handle;
        return 0;
    }
    thread.handle = handle;
    return 1;
}

int joinThread(Thread& thread) {
    if (!thread.handle) return thread.result;
    pthread_t* handle = (pthread_t*)thread.handle;
    pthread_join(*handle, nullptr);
    delete handle;
    thread.handle = nullptr;
    return thread.result;
}

int32_t availableProcessors() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        int count = CPU_COUNT(&set);
        if (count > 0) return count;
    }
    long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? (int32_t)count : 1;
}
#endif
