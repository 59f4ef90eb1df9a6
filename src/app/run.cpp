#include "app/run.h"

#include "app/version.h"
#include "ase/ase_reader.h"
#include "platform/allocator.h"
#include "platform/console.h"
#include "platform/filesystem.h"
#include "platform/replacing_file.h"
#include "platform/services.h"
#include "writer/qrv_writer.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

static void printUsage() {
    std::printf("usage: tarvolt [OPTION]... FILE...\n\n");
    std::printf("   -o\t          optimize mesh data (recommended)\n");
    std::printf("   -l <string>    lightmap name suffix\n");
    std::printf("   --output PACK  write the pack to PACK instead of beside FILE (one FILE only)\n");
    std::printf("   --wrap-material-ids\n");
    std::printf("                  material ids past the submaterials wrap around, as in 3ds max\n");
    std::printf("Each FILE is converted in turn, with the options applying to all.\n");
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

// What applies to every file of the run.
struct RunOptions {
    uint32_t writer = 0;             // kOptionWeld
    const char* output = nullptr;    // --output, for a run of one file
    bool wrapMaterialIds = false;
};

// Converts one file as a run of that file alone would, up to its last words:
// 0 when the pack was written, -1 otherwise (the reasons said).
static int convert(const char* inputPath, const RunOptions& run) {
    AseReader reader;
    reader.options.wrapMaterialIds = run.wrapMaterialIds;
    Scene scene;
    const int read = reader.readScene(&scene, inputPath);
    int result = 0;
    if (reader.outOfMemory) {
        result = reportOutOfMemory(inputPath);
    } else {
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
            result = -1;
        }
    }
    if (result == 0) {
        if (!scene.head) std::fprintf(stderr, "%s: warning: no *GEOMOBJECT was read; the pack is empty\n", inputPath);
        if (run.writer & kOptionWeld) std::printf("mesh data optimization ON, may take a while ...\n");
        int reason = 0;
        if (!writePack(inputPath, scene.head, run.writer, &reason, run.output)) {
            if (reason == ENOMEM) {
                result = reportOutOfMemory(inputPath);
            } else {
                const String derived = run.output ? String() : outputPathFor(inputPath);
                const char* packPath = run.output ? run.output : derived.data;
                result = packPath ? -1 : reportOutOfMemory(inputPath);
                if (packPath) {
                    std::printf("ERROR: could not write \"%s\"\n", packPath);
                    std::fflush(stdout);
                    std::fprintf(stderr, "%s: error: cannot write: %s\n", packPath,
                                 reason == EEXIST ? "it is the input file" : reasonText(reason));
                }
            }
        }
    }
    // The next file starts afresh; the allocated figure counts on.
    while (Mesh* mesh = scene.head) scene.head = mesh->next, delete mesh;
    return result;
}

// Where an input's pack name ends before ".qrv": all but the file name's extension.
static int32_t stemLength(const char* path) { return String::extensionStart(path, (int32_t)std::strlen(path)); }

static bool sameIgnoringCase(const char* a, const char* b, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
        if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i])) return false;
    return true;
}

// Whether an earlier input of the run has the pack that path has: the same
// name, or the same file once written (another path to it, or another case
// of its name where names ignore case). A file given twice converts once.
static bool packNamedBefore(char** inputs, int32_t count, const char* path) {
    const int32_t stem = stemLength(path);
    const int32_t nameStem = stem - (int32_t)(String::fileNameStart(path) - path);
    for (int32_t i = 0; i < count; ++i) {
        const char* earlier = inputs[i];
        const int32_t earlierStem = stemLength(earlier);
        if (earlierStem == stem && std::memcmp(earlier, path, (size_t)stem) == 0) return true;
        // Only packs of one name (but for case) can be one file: the rest need no look at the disk.
        const char* earlierName = String::fileNameStart(earlier);
        if (earlierStem - (int32_t)(earlierName - earlier) != nameStem ||
            !sameIgnoringCase(earlierName, String::fileNameStart(path), nameStem))
            continue;
        const String a = outputPathFor(earlier), b = outputPathFor(path);
        if (a.data && b.data && gFileSystem->sameFile(a.data, b.data)) return true;
    }
    return false;
}

int run(int argc, char** argv) {
    startServices();
    std::printf("tarvolt by the Velder Engine tools team\n");
    std::printf("tarvolt converts 3ds max ASE files to Velder Engine qrv format\n");
    std::printf("version " TARVOLT_VERSION "\n\n");

    if (argc <= 1) {
        printUsage();
        std::printf("\npress any key...\n");
        waitForKey();
        return 0;
    }

    RunOptions options;
    // The inputs, in order, gathered in argv's own room.
    char** inputs = argv + 1;
    int32_t inputCount = 0;
    bool usage = false;
    for (int i = 1; i < argc; ++i) {
        char* argument = argv[i];
        // The banner above holds the version line.
        if (std::strcmp(argument, "--version") == 0) return 0;
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            printUsage();
            return 0;
        }
        if (std::strcmp(argument, "--wrap-material-ids") == 0) {
            options.wrapMaterialIds = true;
        } else if (std::strcmp(argument, "--output") == 0) {
            if (i + 1 >= argc) {
                std::printf("ERROR: --output needs a file name\n");
                std::fflush(stdout);
                std::fprintf(stderr, "tarvolt: error: --output needs the pack's file name after it\n");
                return -1;
            }
            options.output = argv[++i];
        } else if (argument[0] == '-') {
            char letter = argument[1];
            if (letter == 'l') {
                if (i + 1 >= argc) {
                    usage = true;
                    break;
                }
                lightmapSuffix = argv[++i];
            } else if (letter == 'o') {
                options.writer |= kOptionWeld;
            } else {
                std::printf("ERROR: unknown option '%c'\n", letter);
                std::fflush(stdout);
                std::fprintf(stderr, "tarvolt: error: unknown option \"%s\" (tarvolt --help lists them)\n", argument);
                return -1;
            }
        } else {
            inputs[inputCount++] = argument;  // never past i, which is read already
        }
    }
    if (usage || inputCount == 0) {
        printUsage();
        return 0;
    }
    if (options.output && inputCount > 1) {
        std::printf("ERROR: --output names one pack, but %d files are given\n", inputCount);
        std::fflush(stdout);
        std::fprintf(stderr, "tarvolt: error: --output names one pack, but %d files are given\n", inputCount);
        return -1;
    }
    if (inputCount == 1) {
        if (convert(inputs[0], options) != 0) return -1;
        std::printf("\nDone!\n");
        std::printf("\npress any key...\n");
        // A pack written elsewhere is a script's or a build's: nobody is there to press a key.
        if (!options.output) waitForKey();
        return 0;
    }

    // A selection: every file is tried, and one key wait ends the run, so
    // that whoever dropped the files can read what became of them.
    int32_t failed = 0, tried = 0;
    for (int32_t i = 0; i < inputCount; ++i) {
        if (packNamedBefore(inputs, i, inputs[i])) {
            std::fprintf(stderr, "%s: warning: its pack was converted from an earlier file of this run; not again\n",
                         inputs[i]);
            continue;
        }
        std::printf("%s:\n", inputs[i]);
        ++tried;
        if (convert(inputs[i], options) != 0) ++failed;
        std::fflush(stdout);
    }
    if (failed == 0)
        std::printf("\nDone!\n");
    else
        std::printf("\nERROR: %d of %d files not converted\n", failed, tried);
    std::printf("\npress any key...\n");
    waitForKey();
    return failed == 0 ? 0 : -1;
}
