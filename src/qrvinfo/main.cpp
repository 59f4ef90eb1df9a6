#include "app/version.h"
#include "platform/allocator.h"
#include "platform/filesystem.h"
#include "platform/replacing_file.h"
#include "qrvinfo/html_export.h"
#include "qrvinfo/json_summary.h"
#include "qrvinfo/obj_export.h"
#include "qrvinfo/pack_file.h"
#include "qrvinfo/pack_loader.h"
#include "qrvinfo/summary.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

// Exit codes: 0 valid pack, 1 invalid or unreadable pack or failed export,
// 2 wrong command line.
static int usage(FILE* out = stdout) {
    std::fprintf(out, "usage: qrvinfo [--json] [--obj OUT.obj] [--html OUT.html] FILE.qrv\n");
    std::fprintf(out, "   --json           print the summary as JSON\n");
    std::fprintf(out, "   --obj OUT.obj    also write the meshes as Wavefront OBJ (and OUT.mtl)\n");
    std::fprintf(out, "   --html OUT.html  also write a page that shows the pack in 3D in a browser\n");
    return 2;
}

// A wrong command line: as always in text; with --json anywhere, one JSON
// object on standard output and the usage on standard error.
static int wrongCommandLine(int argc, char** argv, const char* message, const char* argument) {
    bool json = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--obj") == 0 || std::strcmp(argv[i], "--html") == 0)
            ++i;
        else
            json = json || std::strcmp(argv[i], "--json") == 0;
    }
    if (!json) {
        if (message) std::printf("ERROR: %s \"%s\"\n", message, argument);
        return usage();
    }
    PackError error = {-1, "command line", "qrvinfo [--json] [--obj OUT.obj] [--html OUT.html] FILE.qrv", ""};
    if (message)
        std::snprintf(error.found, sizeof error.found, "%s \"%s\"", message, argument);
    else
        std::snprintf(error.found, sizeof error.found, "%s", argument);
    printJsonError(stdout, "", error);
    std::fflush(stdout);
    std::fprintf(stderr, "qrvinfo: error: %s\n", error.found);
    return usage(stderr);
}

// Says why an output file was not written; always 1, the exit code.
static int exportFailed(bool json, const char* outPath, int reason) {
    // Keeps standard output parseable in JSON mode.
    std::fprintf(json ? stderr : stdout, "ERROR: could not write \"%s\"\n", outPath);
    std::fflush(stdout);
    std::fprintf(stderr, "%s: error: cannot write: %s\n", outPath,
                 reason == EEXIST ? "it is the pack itself" : reasonText(reason));
    return 1;
}

// The summary on standard output; false, with error filled and nothing
// printed, when memory ran out.
static bool showPack(bool json, const char* path, const Pack& pack, PackError& error) {
    if (json)
        printJsonSummary(stdout, path, pack);
    else if (!printSummary(stdout, path, pack))
        return error = outOfMemoryError(), false;
    return true;
}

int main(int argc, char** argv) {
    // Only the heap service: an inspection tool leaves no log behind.
    static HeapAllocator heap;
    static StdFileSystem files;
    gAllocator = &heap;
    gFileSystem = &files;

    const char* path = nullptr;
    const char* objPath = nullptr;
    const char* htmlPath = nullptr;
    bool json = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            usage();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("qrvinfo version " TARVOLT_VERSION "\n");
            return 0;
        }
        if (std::strcmp(argv[i], "--json") == 0) {
            json = true;
        } else if (std::strcmp(argv[i], "--obj") == 0) {
            if (i + 1 >= argc) return wrongCommandLine(argc, argv, nullptr, "--obj without a file name");
            objPath = argv[++i];
        } else if (std::strcmp(argv[i], "--html") == 0) {
            if (i + 1 >= argc) return wrongCommandLine(argc, argv, nullptr, "--html without a file name");
            htmlPath = argv[++i];
        } else if (argv[i][0] == '-' && argv[i][1] != 0) {
            return wrongCommandLine(argc, argv, "unknown option", argv[i]);
        } else if (path) {
            return wrongCommandLine(argc, argv, "dunno what to do with", argv[i]);
        } else {
            path = argv[i];
        }
    }
    if (!path) return wrongCommandLine(argc, argv, nullptr, "no pack named");

    int32_t size = 0;
    unsigned char* bytes = readWholeFile(path, &size);
    if (!bytes) {
        const char* why = openFailureText(errno);
        if (json) {
            PackError error = {-1, "file", "a readable regular file", ""};
            std::snprintf(error.found, sizeof error.found, "%s", why);
            printJsonError(stdout, path, error);
        } else {
            std::printf("ERROR: could not open \"%s\"\n", path);
        }
        std::fflush(stdout);
        std::fprintf(stderr, "%s: error: %s\n", path, why);
        return 1;
    }
    Pack pack;
    PackError error;
    int result = 0;
    if (!loadPack(bytes, size, pack, error) || !showPack(json, path, pack, error)) {
        if (json)
            printJsonError(stdout, path, error);
        else
            printPackError(stdout, path, error);
        std::fflush(stdout);
        printPackDiagnostic(stderr, path, error);
        result = 1;
    } else {
        int reason = 0;
        if (objPath && !writeObj(pack, objPath, path, &reason))
            result = exportFailed(json, objPath, reason);
        reason = 0;
        if (htmlPath && !writeHtml(pack, htmlPath, path, &reason))
            result = exportFailed(json, htmlPath, reason);
    }
    clearPack(pack);
    gAllocator->free(bytes);
    return result;
}
