#include "qrvinfo/pack_loader.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"
#include "support/test_support.h"
#include <gtest/gtest.h>
#include <map>
#include <regex>

namespace fs = std::filesystem;
#if defined(__SANITIZE_ADDRESS__)  // GCC's spelling; clang's follows
#define TARVOLT_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARVOLT_ASAN 1
#endif
#endif
#if defined(TARVOLT_ASAN) || defined(_WIN32)
static const bool kLimits = false;  // no memory limit for a child on Windows; the sanitizer reserves terabytes
#else
static const bool kLimits = true;
#endif
static const std::string kTriangle = readBytes(TARVOLT_TEST_DATA "/app/triangle.ase");  // textured, lightmapped
static const std::string kBanner = "tarvolt converts 3ds max ASE files to Velder Engine qrv format\nversion 1.2\n\n";

static std::map<std::string, std::string> filesIn(const std::string& dir) {  // and the contents of the small ones
    std::map<std::string, std::string> files;
    std::error_code error;
    for (const auto& e : fs::directory_iterator(dir))
        files[e.path().filename().string()] = e.file_size(error) < 1000000 ? readBytes(e.path().string()) : "";
    files.erase("app.log");
    return files;
}

// Runs the real binary in dir as a script would; output keeps what follows the banner's first line. Every run
// ends in one of the two outcomes a user may see: app.log ends with the allocation report and EXIT, and the files
// stay as they were but for pack, the pack a conversion would write, which must load after a success; a failure
// ends with -1 and an ERROR line in app.log (no file left half written, an earlier pack untouched).
static ProgramRun runClear(const std::string& dir, const std::vector<std::string>& args, const std::string& pack = "",
                           uint64_t addressSpace = 0, long stackKiB = 0) {
#if !defined(_WIN32)
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);  // the Scene lives until the process ends, by design
#endif
    std::map<std::string, std::string> before = filesIn(dir);
    ProgramRun run = runProgram(TARVOLT_BINARY, dir, args, false, addressSpace, stackKiB);
    run.output.erase(0, run.output.find('\n') + 1);
    std::map<std::string, std::string> after = filesIn(dir);
    const std::string log = readText(dir + "/app.log"), bytes = after.count(pack) ? after[pack] : "";
    Pack loaded;
    PackError error = {};
    ensureServices();
    if (pack.size() && run.exitCode == 0) {
        EXPECT_TRUE(loadPack((const unsigned char*)bytes.data(), bytes.size(), loaded, error)) << error.field;
        before[pack] = bytes;
    }
    clearPack(loaded);
    EXPECT_TRUE(pack.empty() || run.exitCode == 0 || (run.exitCode == 255 && log.find("\nERROR: ") < log.size()));
    EXPECT_TRUE(std::regex_search(log, std::regex("\nallocated: [0-9]+ bytes\nEXIT\n$"))) << log;
    EXPECT_TRUE(before == after) << "files changed";
    return run;
}

// The real binary with standard error after standard output, as a user sees them.
static ProgramRun runSaying(const std::string& dir, const std::vector<std::string>& args, uint64_t addressSpace = 0) {
#if !defined(_WIN32)
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);  // the Scene lives until the process ends, by design
#endif
    return runProgram(TARVOLT_BINARY, dir, args, true, addressSpace);
}

static bool makeSparse(const std::string& path, uintmax_t size) {
    std::error_code error;
    writeBytes(path, "");
    fs::resize_file(path, size, error);
    return !error;
}

TEST(Run, EveryRowOfTheExitCodeTable) {
    const std::string usage = "usage: tarvolt [OPTION] FILE\n\n   -o\t          optimize mesh data (recommended)\n"
                              "   -l <string>    lightmap name suffix\n", done = "\nDone!\n\npress any key...\n";
    const std::string quiet = "INIT: begin intialization...\nallocated: 0 bytes\nEXIT\n";
    const std::string open = "ERROR: could not open \"", write = "ERROR: could not write \"";
    const std::string weld = "mesh data optimization ON, may take a while ...\n", lightmap("\x0b\0\0\0box_L_0000", 14);
    ScratchDir dir;
    for (const char* name : {"a.ase", "w.ase", "x.qrv", "cut.qrv"}) writeBytes(dir / name, kTriangle);
    writeBytes(dir / "cut.ase", kTriangle.substr(0, kTriangle.find("*MATERIAL_REF") + 14));
    writeBytes(dir / "noref.ase", std::string(kTriangle).erase(kTriangle.find("*MATERIAL_REF 0"), 15));
    for (const char* name : {"folder.ase", "w.qrv"}) fs::create_directories(dir / name);  // w.qrv: w.ase's pack
    // Objects claiming 48 MiB of vertices each, spread over 9 MB, so that read-ahead threads run out too.
    std::string claims = kTriangle.substr(0, kTriangle.find("*GEOMOBJECT"));
    for (int i = 0; i < 64; ++i)
        claims += "*GEOMOBJECT { *MESH { *MESH_NUMVERTEX 4194304 } *MATERIAL_REF 0 }\n" + std::string(140000, ' ') + "\n";
    writeBytes(dir / "claims.ase", claims);
    const bool sparse = makeSparse(dir / "huge.ase", 2147483648ull) && makeSparse(dir / "big.ase", 1ull << 30);
    // Printed after the banner's first line; exit code; app.log exactly or a line in it; bytes a.qrv holds.
    struct { std::vector<std::string> args; std::string printed; int code; std::string log, pack = ""; } rows[] = {
        {{}, usage + "\npress any key...\n", 0, quiet},
        {{"a.ase", "-l"}, usage, 0, quiet},  // a trailing -l: nothing converted
        {{"--help"}, usage, 0, quiet},
        {{"a.ase", "-h", "b.ase"}, usage, 0, quiet},
        {{"--version", "a.ase"}, "", 0, quiet},  // the banner holds the version line
        {{"-l", "--help", "-x"}, "ERROR: unknown option 'x'\n", 255, quiet},  // the suffix, not a request
        {{"-O", "a.ase"}, "ERROR: unknown option 'O'\n", 255, quiet},
        {{"-x", "a.ase", "b.ase"}, "ERROR: unknown option 'x'\n", 255, quiet},
        {{"a.ase", "b.ase"}, "ERROR: dunno what to do with \"b.ase\"\n", 255, quiet},
        {{"-o", "missing.ase"}, open + "missing.ase\"\n", 255, "ERROR: cannot read \"missing.ase\""},
        {{"folder.ase"}, open + "folder.ase\"\n", 255, "ERROR: cannot read \"folder.ase\""},
        {{"huge.ase"}, open + "huge.ase\"\n", 255, "ERROR: cannot read \"huge.ase\""},
        {{"cut.ase"}, open + "cut.ase\"\n", 255, "ERROR: "},  // the earlier cut.qrv stays
        {{"noref.ase"}, "", 255, "ERROR: no MATERIAL_REF!"},   // the reader ends the run
        {{"w.ase"}, write + "w.qrv\"\n", 255, "ERROR: "},
        {{"big.ase"}, "ERROR: out of memory\n", 255, "EXIT"},  // 1 GiB in 256 MiB of address space
        {{"claims.ase"}, "ERROR: out of memory\n", 255, "EXIT"},
        {{"-o", "x.qrv"}, weld + write + "x.qrv\"\n", 255, "ERROR: "},  // never its own output
        {{"a.ase"}, done, 0, "", lightmap},  // the lightmap name, its length first
        {{"-optimize", "a.ase"}, weld + done, 0, "", lightmap},
        {{"-l", "-o", "a.ase"}, done, 0, "", std::string("\x06\0\0\0box-o\0", 10)},  // -o is the suffix
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.printed);
        const bool oom = row.printed.find("memory") != std::string::npos;
        if ((!sparse && (oom || row.printed.find("huge") != std::string::npos)) || (oom && !kLimits)) continue;
        fs::remove(dir / "a.qrv");
        ProgramRun run = runClear(dir.path, row.args, row.pack.empty() ? "" : "a.qrv", oom ? 256u << 20 : 0);
        const std::string log = readText(dir / "app.log");
        EXPECT_EQ(row.code, run.exitCode);
        EXPECT_EQ(native(kBanner + row.printed), run.output);  // text: "\r\n" ends lines on Windows
        EXPECT_TRUE(log.find("INIT: begin intialization...\n") == 0 &&
                    (row.log == quiet ? log == quiet : log.find("\n" + row.log) != std::string::npos)) << log;
        EXPECT_NE(std::string::npos, readBytes(dir / "a.qrv").find(row.pack));
    }
}

// Every failure that ends a run with -1 also says why on standard error, in the form compilers use: the reason
// app.log gives for a file that could not be read, with its line; the system's reason for one that could not be
// opened or a pack that could not be written.
TEST(Run, FailuresSayWhyOnStandardError) {
    ScratchDir dir;
    std::string cut = kTriangle;  // a face normal where its first vertex normal belongs
    cut.replace(cut.find("*MESH_VERTEXNORMAL 0"), 20, "*MESH_FACENORMAL 0");
    writeBytes(dir / "cut.ase", cut);
    writeBytes(dir / "w.ase", kTriangle);
    writeBytes(dir / "x.qrv", kTriangle);
    fs::create_directories(dir / "folder.ase");
    fs::create_directories(dir / "w.qrv");
    const bool sparse = makeSparse(dir / "huge.ase", 2147483648ull) && makeSparse(dir / "big.ase", 1ull << 30);
    struct { std::vector<std::string> args; std::string said; } rows[] = {
        {{"big.ase"}, sparse && kLimits ? "big.ase: error: out of memory" : ""},  // 1 GiB in 256 MiB
        {{"-x", "a.ase"}, "tarvolt: error: unknown option \"-x\" (tarvolt --help lists them)"},
        {{"a.ase", "b.ase"}, "tarvolt: error: one file at a time: \"b.ase\" after \"a.ase\""},
        {{"missing.ase"}, "missing.ase: error: cannot open: No such file or directory"},
        {{"folder.ase"}, "folder.ase: error: is a directory"},
        {{"huge.ase"}, sparse ? "huge.ase: error: larger than 2 GiB" : ""},
        {{"w.ase"}, "w.qrv: error: cannot write: Is a directory"},
        {{"x.qrv"}, "x.qrv: error: cannot write: it is the input file"},
        {{"cut.ase"}, "cut.ase:"},  // and the Log's reason, below
    };
    for (const auto& row : rows) {
        if (row.said.empty()) continue;
        const bool oom = row.args[0] == "big.ase";
        ProgramRun run = runSaying(dir.path, row.args, oom ? 256u << 20 : 0);
        EXPECT_EQ(255, run.exitCode) << row.said;
        std::string said = row.said;
        if (row.args[0] == "cut.ase") {  // "ERROR: line N: reason" in app.log gives "cut.ase:N: error: reason"
            const std::string log = readText(dir / "app.log");
            const size_t at = log.find("ERROR: line ");
            ASSERT_NE(std::string::npos, at) << log;
            const std::string line = log.substr(at + 12, log.find('\n', at) - at - 12);
            said += line.substr(0, line.find(':')) + ": error:" + line.substr(line.find(':') + 1);
        }
        const std::string output = fromNative(run.output);
        EXPECT_EQ(said + "\n", output.substr(output.rfind('\n', output.size() - 2) + 1)) << output;
    }
}

// Inputs that convert but may not be what the user meant say so on standard error; standard output, the exit code
// and app.log stay as they always were.
TEST(Run, SuspiciousInputsConvertWithAWarning) {
    ScratchDir dir;
    std::string noise(4096, '\0');
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = (char)(i * 37 + (i >> 5));
    writeBytes(dir / "noise.ase", noise);
    writeBytes(dir / "zeros.ase", std::string(4096, '\0'));
    writeBytes(dir / "empty.ase", "");
    writeBytes(dir / "headless.ase", kTriangle);  // no *3DSMAX_ASCIIEXPORT line
    writeBytes(dir / "scene.ase", "*3DSMAX_ASCIIEXPORT 200\n" + kTriangle);
    std::string nonFinite = "*3DSMAX_ASCIIEXPORT 200\n" + kTriangle;
    nonFinite.replace(nonFinite.find("*MESH_VERTEX 1 1 0 0"), 20, "*MESH_VERTEX 1 nan 0 -inf");
    nonFinite.replace(nonFinite.find("*MESH_VERTEXNORMAL 2 0 0 1"), 26, "*MESH_VERTEXNORMAL 2 0 0 1e99");
    writeBytes(dir / "nonfinite.ase", nonFinite);
    const std::string header = "*3DSMAX_ASCIIEXPORT 200\n";
    writeBytes(dir / "open.ase", header + kTriangle.substr(0, kTriangle.rfind('}')));  // the object never closed
    writeBytes(dir / "openlist.ase", header + "*MATERIAL_LIST {\n*MATERIAL_COUNT 0\n");
    writeBytes(dir / "tight.ase", header + kTriangle.substr(0, kTriangle.rfind('}') + 1));  // "}" the last byte
    const std::string headless = ":1: warning: the file does not begin with *3DSMAX_ASCIIEXPORT\n";
    const std::string empty = ": warning: no *GEOMOBJECT was read; the pack is empty\n";
    for (const char* name :
         {"noise.ase", "zeros.ase", "empty.ase", "headless.ase", "scene.ase", "nonfinite.ase", "open.ase", "openlist.ase",
          "tight.ase"}) {
        ProgramRun run = runSaying(dir.path, {name});
        EXPECT_EQ(0, run.exitCode) << name;
        const std::string n = name, output = fromNative(run.output);
        std::string said;
        if (n == "nonfinite.ase") {  // 1e99 is infinite as a float
            said = n + ": warning: geometry object \"Box\": 2 numbers are not finite in its positions (NaN or "
                       "infinity), the first in *MESH_VERTEX 1\n" + n + ": warning: geometry object \"Box\": 1 number "
                       "is not finite in its normals (NaN or infinity), the first in normal 2\n";
        } else if (n == "open.ase") {
            said = n + ": warning: the input ends inside *GEOMOBJECT opened on line 10\n";
        } else if (n == "openlist.ase") {
            said = n + ": warning: the input ends inside *MATERIAL_LIST opened on line 2\n" + n + empty;
        } else if (n != "tight.ase") {
            if (n != "scene.ase") said += n + headless;
            if (n != "scene.ase" && n != "headless.ase") said += n + empty;
        }
        EXPECT_EQ(kBanner + said + "\nDone!\n\npress any key...\n", output.substr(output.find('\n') + 1)) << name;
    }
}

// Faces whose material id names no submaterial are left out, as packs have always been made, and standard error
// says how many, which ids and how many submaterials there are; a worker's warning comes in reading order.
TEST(Run, FacesLeftOutAreCounted) {
    std::string materials = "*MATERIAL_LIST {\n*MATERIAL_COUNT 1\n*MATERIAL 0 {\n*NUMSUBMTLS 2\n";
    for (const char* name : {"a", "b"})
        materials += std::string("*SUBMATERIAL 0 {\n*MAP_DIFFUSE {\n*BITMAP \"") + name + ".tga\"\n}\n}\n";
    materials += "}\n}\n";
    auto object = [](const char* name, std::vector<int> ids) {
        std::string t = std::string("*GEOMOBJECT {\n*NODE_TM {\n*NODE_NAME \"") + name + "\"\n}\n*MESH {\n" +
                        "*MESH_NUMVERTEX 3\n*MESH_NUMFACES " + std::to_string(ids.size()) +
                        "\n*MESH_VERTEX_LIST {\n*MESH_VERTEX 0 0 0 0\n*MESH_VERTEX 1 1 0 0\n*MESH_VERTEX 2 0 1 0\n}\n"
                        "*MESH_FACE_LIST {\n";
        for (size_t f = 0; f < ids.size(); ++f)
            t += "*MESH_FACE " + std::to_string(f) + ": A: 0 B: 1 C: 2 *MESH_MTLID " + std::to_string(ids[f]) + "\n";
        t += "}\n*MESH_NUMTVERTEX 1\n*MESH_TVERTLIST {\n*MESH_TVERT 0 0 0 0\n}\n*MESH_NUMTVFACES " +
             std::to_string(ids.size()) + "\n*MESH_TFACELIST {\n";
        for (size_t f = 0; f < ids.size(); ++f) t += "*MESH_TFACE " + std::to_string(f) + " 0 0 0\n";
        t += "}\n*MESH_NORMALS {\n";
        for (size_t f = 0; f < ids.size(); ++f) {
            t += "*MESH_FACENORMAL " + std::to_string(f) + " 0 0 1\n";
            for (int v = 0; v < 3; ++v) t += "*MESH_VERTEXNORMAL " + std::to_string(v) + " 0 0 1\n";
        }
        return t + "}\n}\n*MATERIAL_REF 0\n}\n";
    };
    std::string filler;
    for (int i = 0; i < 16000; ++i) filler += object("Filler", {0, 1});  // 11 MB: a worker reads the last part
    ScratchDir dir;
    writeBytes(dir / "ids.ase", "*3DSMAX_ASCIIEXPORT 200\n" + materials + object("First", {0, 5, 7, 5, 1}) + filler +
                                    object("Last", {-1, 0, 9, 10, 11, 12, 13}));
    ProgramRun run = runSaying(dir.path, {"ids.ase"});
    EXPECT_EQ(0, run.exitCode);
    const std::string output = fromNative(run.output);
    EXPECT_EQ("ids.ase: warning: geometry object \"First\": 3 faces left out: material ids 5, 7 name no submaterial "
              "(it has 2)\nids.ase: warning: geometry object \"Last\": 6 faces left out: material ids -1, 9, 10, 11, "
              "... name no submaterial (it has 2)\n\nDone!\n\npress any key...\n",
              output.substr(output.find("version 1.2\n\n") + 13));
}

// A geometry object without *MATERIAL_REF ends the run with nothing more on standard output, as always, and says
// on standard error which object and where: the file's first object or one that a read-ahead thread read.
TEST(Run, AMissingMaterialReferenceSaysWhichObject) {
    ScratchDir dir;
    const std::string object = kTriangle.substr(kTriangle.find("*GEOMOBJECT"));
    std::string late = kTriangle;
    for (int i = 0; i < 12000; ++i) late += object;  // 10 MB: a read-ahead thread takes the last part
    const int lateLine = (int)std::count(late.begin(), late.end(), '\n') + 1;
    late += std::string(object).erase(object.find("*MATERIAL_REF 0"), 15);
    writeBytes(dir / "first.ase", std::string(kTriangle).erase(kTriangle.find("*MATERIAL_REF 0"), 15));
    writeBytes(dir / "late.ase", late);
    for (const auto& [name, line] : {std::pair<std::string, int>{"first.ase", 9}, {"late.ase", lateLine}}) {
        ProgramRun run = runSaying(dir.path, {name});
        const std::string output = fromNative(run.output);  // both streams are text: CR LF on Windows
        EXPECT_EQ(255, run.exitCode);
        EXPECT_EQ(kBanner + name + ":" + std::to_string(line) + ": error: geometry object \"Box\" has no *MATERIAL_REF\n",
                  output.substr(output.find('\n') + 1));
    }
}

// A wedge as q3map2 writes it (tabs, no colon after the face number, the normals listed apart before the face list)
// converts, plain and welded, silently and into the pack that its normals listed per corner give.
TEST(Run, NormalsListedApartConvert) {
    const std::string apart = readBytes(TARVOLT_TEST_DATA "/app/wedge_normals_apart.ase");
    const size_t from = apart.find("\t\t*MESH_NORMALS"), to = apart.find("\t\t*MESH_FACE_LIST");
    const char* const perVertex[] = {"0.8\t0.0\t0.6", "0.6\t0.0\t0.8", "0.8\t0.0\t0.6", "0.6\t0.0\t0.8"};
    const int faces[2][3] = {{0, 2, 1}, {2, 3, 1}};
    std::string corners = "\t\t*MESH_NORMALS\t{\n";
    for (int f = 0; f < 2; ++f) {
        corners += "\t\t\t*MESH_FACENORMAL\t" + std::to_string(f) + "\t0.8\t0.0\t0.6\n";
        for (int v : faces[f]) corners += "\t\t\t*MESH_VERTEXNORMAL\t" + std::to_string(v) + "\t" + perVertex[v] + "\n";
    }
    ScratchDir dir;
    writeBytes(dir / "apart.ase", apart);
    writeBytes(dir / "corners.ase", std::string(apart).replace(from, to - from, corners + "\t\t}\n"));
    for (const char* option : {"", "-o"}) {
        std::map<std::string, std::string> packs;
        for (const std::string name : {"apart", "corners"}) {
            std::vector<std::string> args = {name + ".ase"};
            if (*option) args.insert(args.begin(), option);
            ProgramRun run = runClear(dir.path, args, name + ".qrv");
            const std::string output = fromNative(run.output);
            EXPECT_EQ(0, run.exitCode) << name << output;
            const std::string welding = *option ? "mesh data optimization ON, may take a while ...\n" : "";
            EXPECT_EQ(kBanner + welding + "\nDone!\n\npress any key...\n", output);
            const bool listed = readText(dir / "app.log").find("\nnormals listed per vertex\n") != std::string::npos;
            EXPECT_EQ(name == "apart", listed);
            packs[name] = readBytes(dir / (name + ".qrv"));
        }
        EXPECT_TRUE(packs["apart"] == packs["corners"]) << option;
    }
}

TEST(Run, CraftedInputsStayUnder256MBAndRecurseNowhere) {
    // Under 1 MB (a twentieth under the sanitizer), claiming the largest counts again and again, or nested
    // 100,000 deep, on a 1 MB stack. unit goes after head as often as given, or as fits.
    auto fill = [](std::string head, const std::string& unit, const std::string& tail, size_t times = 0) {
        const size_t size = kLimits ? 1000000 : 50000;
        for (size_t i = 0; times ? i < times : head.size() + unit.size() + tail.size() < size; ++i) head += unit;
        return head + tail;
    };
    const std::string materials = kTriangle.substr(0, kTriangle.find("*GEOMOBJECT")), end = "} *MATERIAL_REF 0 }\n";
    const std::string counts = "*MESH_NUMVERTEX 4194304 *MESH_NUMTVERTEX 4194304 *MESH_NUMFACES 1\n";
    const std::string normals = "*MESH_NORMALS { *MESH_FACENORMAL 0 0 0 1 *MESH_VERTEXNORMAL 0 0 0 1 "
                                "*MESH_VERTEXNORMAL 1 0 0 1 *MESH_VERTEXNORMAL 4194303 0 0 1 }\n";
    const std::string object = materials + "*GEOMOBJECT { *MESH {" + counts;
    const std::string inputs[] = {
        fill(materials, "*GEOMOBJECT { *MESH { " + counts + "*MESH_FACE_LIST { *MESH_FACE 0: A: 0 B: 1 C: 2 *MESH_MTLID"
             " 0 } *MESH_TFACELIST { *MESH_TFACE 0 0 1 2 } *MESH_MAPPINGCHANNEL 2 { *MESH_NUMTVERTEX 4194304 } " +
             normals + end, ""),
        fill(object, "*MESH_NUMVERTEX 5 " + counts, end),
        fill(object, normals, end),
        fill(materials + "*GEOMOBJECT {", "*MESH { *MESH_NUMVERTEX 4194304 } ", end.substr(1)),
        fill("", "{", std::string(100000, '}') + "\n" + kTriangle, 100000),
        fill("*MATERIAL_LIST { *MATERIAL 0 {\n", "*SUBMATERIAL 0 {\n", std::string(100002, '}'), 100000),
    };
    for (const std::string& input : inputs) {
        ScratchDir dir;
        writeBytes(dir / "in.ase", input);
        ProgramRun run = runClear(dir.path, {"in.ase"}, "in.qrv", 0, 1024);
        EXPECT_LT(run.peakKiB, 256 * 1024) << input.substr(0, 200);  // the largest so far; 0 where not measured
    }
}
