#include "platform/services.h"

#include "platform/allocator.h"
#include "platform/filesystem.h"
#include "platform/log.h"

#include <csignal>
#include <cstdlib>
#include <new>

namespace {

// Static storage: the services must not count in the allocation figure, and
// they must outlive everything else, so none of them is ever destroyed by C++.
alignas(HeapAllocator) unsigned char allocatorStorage[sizeof(HeapAllocator)];
alignas(StdFileSystem) unsigned char fileSystemStorage[sizeof(StdFileSystem)];
alignas(Log) unsigned char logStorage[sizeof(Log)];

bool allocatorCreated = false;
bool fileSystemCreated = false;
bool logCreated = false;

HeapAllocator* allocatorObject() { return reinterpret_cast<HeapAllocator*>(allocatorStorage); }
StdFileSystem* fileSystemObject() { return reinterpret_cast<StdFileSystem*>(fileSystemStorage); }
Log* logObject() { return reinterpret_cast<Log*>(logStorage); }

void fileSystemCleanup() {}

void logCleanup() { logObject()->finish(); }

void stopServicesAtExit() { stopServices(); }

}  // namespace

void startServices() {
    if (!allocatorCreated) {
        new (allocatorStorage) HeapAllocator();
        allocatorCreated = true;
    }
    if (!fileSystemCreated) {
        new (fileSystemStorage) StdFileSystem();
        fileSystemCreated = true;
        std::atexit(fileSystemCleanup);
    }
    if (!logCreated) {
        new (logStorage) Log();
        logCreated = true;
        std::atexit(logCleanup);
    }
    gLog = logObject();
    gAllocator = allocatorObject();
    gFileSystem = fileSystemObject();
#if defined(SIGXFSZ)
    // Past a file-size limit writes fail and say so; the signal would end the
    // process without a word and without app.log.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    gLog->print("INIT: begin intialization...\n");
    gAllocator->startup();
    std::atexit(stopServicesAtExit);
}

void stopServices() {
    gAllocator->report();
    gLog->print("EXIT\n");
}
