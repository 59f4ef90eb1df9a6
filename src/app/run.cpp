#include "app/run.h"

#include "ase/ase_reader.h"
#include "platform/allocator.h"
#include "platform/console.h"
#include "platform/filesystem.h"
#include "platform/replacing_file.h"
#include "platform/services.h"
#include "writer/qrv_writer.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

static void printUsage() {
    std::printf("usage: tarvolt [OPTION] FILE\n\n");
    std::printf("   -o\t          optimize mesh data (recommended)\n");
    std::printf("   -l <string>    lightmap name suffix\n");
    std::printf("   --output PACK  write the pack to PACK instead of beside FILE\n");
}

// Warnings of the read, one "PATH: warning: TEXT" line each.
static void printWarnings(const char* path, const AseReader& reader) {
    for (const char* line = reader.warnings; *line;) {
        const char* end = std::strchr(line, '\n');
        std::fprintf(stderr, "%s: warning: %.*s\n", path, (int)(end - line), line);
        line = end + 1;
    }
    if (reader.warningsNotKept) std::fprintf(stderr, "%s: warning: and %d more warnings\n", path, reader.warningsNotKept);
}

// Why the read failed, on standard error in the form compilers use.
static void reportReadFailure(const char* path, const AseReader& reader) {
    const ReadError& error = reader.error;
    const char* text = reader.openError ? openFailureText(reader.openError)
                       : error.message[0] ? error.message
                                          : "the file could not be read";
    if (error.line > 0)
        std::fprintf(stderr, "%s:%d: error: %s\n", path, error.line, text);
    else
        std::fprintf(stderr, "%s: error: %s\n", path, text);
}

// As the run has always said it, on standard output; the path on standard error.
static int reportOutOfMemory(const char* inputPath) {
    std::printf("ERROR: out of memory\n");
    std::fflush(stdout);
    std::fprintf(stderr, "%s: error: out of memory\n", inputPath);
    return -1;
}

int run(int argc, char** argv) {
    startServices();
    std::printf("tarvolt by the Velder Engine tools team\n");
    std::printf("tarvolt converts 3ds max ASE files to Velder Engine qrv format\n");
    std::printf("version 1.2\n\n");

    if (argc <= 1) {
        printUsage();
        std::printf("\npress any key...\n");
        waitForKey();
        return 0;
    }

    uint32_t options = 0;
    const char* inputPath = nullptr;
    const char* outputPath = nullptr;
    bool usage = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        // The banner above holds the version line.
        if (std::strcmp(argument, "--version") == 0) return 0;
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            printUsage();
            return 0;
        }
        if (std::strcmp(argument, "--output") == 0) {
            if (i + 1 >= argc) {
                std::printf("ERROR: --output needs a file name\n");
                std::fflush(stdout);
                std::fprintf(stderr, "tarvolt: error: --output needs the pack's file name after it\n");
                return -1;
            }
            outputPath = argv[++i];
        } else if (argument[0] == '-') {
            char letter = argument[1];
            if (letter == 'l') {
                if (i + 1 >= argc) {
                    usage = true;
                    break;
                }
                lightmapSuffix = argv[++i];
            } else if (letter == 'o') {
                options |= kOptionWeld;
            } else {
                std::printf("ERROR: unknown option '%c'\n", letter);
                std::fflush(stdout);
                std::fprintf(stderr, "tarvolt: error: unknown option \"%s\" (tarvolt --help lists them)\n", argument);
                return -1;
            }
        } else if (inputPath) {
            std::printf("ERROR: dunno what to do with \"%s\"\n", argument);
            std::fflush(stdout);
            std::fprintf(stderr, "tarvolt: error: one file at a time: \"%s\" after \"%s\"\n", argument, inputPath);
            return -1;
        } else {
            inputPath = argument;
        }
    }
    if (usage || !inputPath) {
        printUsage();
        return 0;
    }

    AseReader reader;
    Scene scene;
    const int read = reader.readScene(&scene, inputPath);
    if (reader.outOfMemory) return reportOutOfMemory(inputPath);
    std::fflush(stdout);  // diagnostics after what was printed before them
    // A missing material reference has always ended the run at once, with
    // nothing more on standard output.
    const bool stopped = reader.missingMaterialRef;
    if (reader.headerMissing && !stopped)
        std::fprintf(stderr, "%s:1: warning: the file does not begin with *3DSMAX_ASCIIEXPORT\n", inputPath);
    printWarnings(inputPath, reader);
    if (!read) {
        if (!stopped) std::printf("ERROR: could not open \"%s\"\n", inputPath);
        std::fflush(stdout);
        reportReadFailure(inputPath, reader);
        return -1;
    }
    if (!scene.head) std::fprintf(stderr, "%s: warning: no *GEOMOBJECT was read; the pack is empty\n", inputPath);
    if (options & kOptionWeld) std::printf("mesh data optimization ON, may take a while ...\n");
    int reason = 0;
    if (!writePack(inputPath, scene.head, options, &reason, outputPath)) {
        if (reason == ENOMEM) return reportOutOfMemory(inputPath);
        const String derived = outputPath ? String() : outputPathFor(inputPath);
        const char* packPath = outputPath ? outputPath : derived.data;
        if (!packPath) return reportOutOfMemory(inputPath);
        std::printf("ERROR: could not write \"%s\"\n", packPath);
        std::fflush(stdout);
        std::fprintf(stderr, "%s: error: cannot write: %s\n", packPath,
                     reason == EEXIST ? "it is the input file" : reasonText(reason));
        return -1;
    }
    std::printf("\nDone!\n");
    std::printf("\npress any key...\n");
    // A pack written elsewhere is a script's or a build's: nobody is there to press a key.
    if (!outputPath) waitForKey();
    return 0;
}
