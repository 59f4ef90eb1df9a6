#include "ase/ase_fixture.h"
#include "writer/pack_bytes.h"
#include "support/run_program.h"
#include "support/scratch_dir.h"
#include <gtest/gtest.h>
#include <map>
#include <regex>

namespace fs = std::filesystem;
static const std::string kHeadless = readBytes(TARVOLT_TEST_DATA "/app/triangle.ase");  // textured, lightmapped
static const std::string kTriangle = "*3DSMAX_ASCIIEXPORT 200\n" + kHeadless;
static const std::string kBanner = "tarvolt converts 3ds max ASE files to Velder Engine qrv format\nversion 1.2\n\n";

// Runs the real binary in dir as a script would, standard error after standard output; output keeps what follows
// the banner's first line. Every run ends as a user may see it: app.log ends with the allocation report and EXIT,
// and no file changes but the packs of the inputs, which must load after a success (of that file, with several).
static ProgramRun runChecked(const std::string& dir, const std::vector<std::string>& args, uint64_t addressSpace = 0,
                             long stackKiB = 0) {
    std::map<std::string, std::string> before = filesIn(dir);
    ProgramRun run = runProgram(TARVOLT_BINARY, dir, args, true, addressSpace, stackKiB);
    run.output = fromNative(run.output.erase(0, run.output.find('\n') + 1));
    std::map<std::string, std::string> after = filesIn(dir);
    const bool several = std::count_if(args.begin(), args.end(), [](auto& a) { return a.find(".ase") != a.npos; }) > 1;
    for (const std::string& input : args) {
        const std::string pack = input.substr(0, input.rfind('.')) + ".qrv";
        if ((run.exitCode != 0 && !several) || !after.count(pack) || before[pack] == after[pack]) continue;
        Pack loaded;
        PackError error = {};
        EXPECT_TRUE((ensureServices(), loadBytes(readBytes(dir + "/" + pack), loaded, error))) << error.field;
        clearPack(loaded);
        before[pack] = after[pack];
    }
    EXPECT_TRUE(std::regex_search(readText(dir + "/app.log"), std::regex("\nallocated: [0-9]+ bytes\nEXIT\n$")));
    EXPECT_TRUE(before == after) << "files changed";
    return run;
}

static std::string without(std::string text, const std::string& part) { return text.erase(text.find(part), part.size()); }

// Every way a run can end, with what it prints (standard error after standard output), its exit code and its Log.
TEST(Run, EveryWayARunEnds) {
    const std::string usage = "usage: tarvolt [OPTION]... FILE...\n\n   -o\t          optimize mesh data (recommended)\n"
        "   -l <string>    lightmap name suffix\n   --output PACK  write the pack to PACK instead of beside FILE (one FILE "
        "only)\n   --wrap-material-ids\n                  material ids past the submaterials wrap around, as in 3ds max\n"
        "Each FILE is converted in turn, with the options applying to all.\n", done = "\nDone!\n\npress any key...\n";
    const std::string quiet = "INIT: begin intialization...\nallocated: 0 bytes\nEXIT\n", header = "*3DSMAX_ASCIIEXPORT 200\n";
    const std::string noRef = "*MATERIAL_REF 0";
    const std::string weld = "mesh data optimization ON, may take a while ...\n", lightmap("\x0b\0\0\0box_L_0000", 14);
    const std::string unknown = "ERROR: unknown option '%'\ntarvolt: error: unknown option \"-%\" (tarvolt --help lists them)\n";
    auto option = [&](char letter) { return std::regex_replace(unknown, std::regex("%"), std::string(1, letter)); };
    auto headless = [](const std::string& name, bool empty) { return name + ":1: warning: the file does not begin with "
        "*3DSMAX_ASCIIEXPORT\n" + (empty ? name + ": warning: no *GEOMOBJECT was read; the pack is empty\n" : ""); };
    auto refused = [](const std::string& name, const std::string& why, const char* verb = "open") {
        return "ERROR: could not " + (verb + (" \"" + name + "\"\n")) + name + ": error: " + why + "\n"; };
    ScratchDir dir;
    std::string noise(4096, '\0'), nonFinite = kTriangle;
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = (char)(i * 37 + (i >> 5));
    nonFinite.replace(nonFinite.find("*MESH_VERTEX 1 1 0 0"), 20, "*MESH_VERTEX 1 nan 0 -inf");
    nonFinite.replace(nonFinite.find("*MESH_VERTEXNORMAL 2 0 0 1"), 26, "*MESH_VERTEXNORMAL 2 0 0 1e99");
    for (const auto& [name, bytes] : std::map<std::string, std::string>{
             {"a.ase", kTriangle}, {"b.ase", kTriangle}, {"w.ase", kTriangle},
             {"notex.ase", std::string(kTriangle).replace(kTriangle.find("*MESH_NUMTVERTEX 1"), 18, "*MESH_NUMTVERTEX 0")}, {"x.qrv", kTriangle}, {"bad.qrv", kTriangle},
             {"bad.ase", std::string(kTriangle).replace(kTriangle.find("*MESH_VERTEXNORMAL 0"), 20, "*MESH_FACENORMAL 0")},
             {"noref.ase", without(kHeadless, noRef)},  // the header's warning, too, is left unsaid
             {"noise.ase", noise}, {"zeros.ase", std::string(4096, '\0')}, {"empty.ase", ""}, {"headless.ase", kHeadless},
             {"nonfinite.ase", nonFinite}, {"open.ase", kTriangle.substr(0, kTriangle.rfind('}'))},  // never closed
             {"openlist.ase", header + "*MATERIAL_LIST {\n*MATERIAL_COUNT 0\n"},
             {"wedge.ase", readBytes(TARVOLT_TEST_DATA "/app/wedge_normals_apart.ase")},
             {"tight.ase", kTriangle.substr(0, kTriangle.rfind('}') + 1)}})  // "}" the last byte
        writeBytes(dir / name, bytes);
    const std::string object = kTriangle.substr(kTriangle.find("*GEOMOBJECT"));
    std::string late = kTriangle;
    for (int i = 0; i < 12000; ++i) late += object;  // 10 MB: a read-ahead thread takes the last part
    const std::string lateLine = std::to_string(std::count(late.begin(), late.end(), '\n') + 1);
    writeBytes(dir / "late.ase", late + without(object, noRef));
    for (const char* name : {"folder.ase", "w.qrv", "out"}) fs::create_directories(dir / name);  // w.qrv: w.ase's pack
    writeBytes(dir / "out/ro.qrv", "kept");
    fs::permissions(dir / "out/ro.qrv", fs::perms::owner_read);
    // Objects claiming 48 MiB of vertices each, spread over 9 MB, so that read-ahead threads run out too.
    std::string claims = kTriangle.substr(0, kTriangle.find("*GEOMOBJECT"));
    for (int i = 0; i < 64; ++i)
        claims += "*GEOMOBJECT { *MESH { *MESH_NUMVERTEX 4194304 } *MATERIAL_REF 0 }\n" + std::string(140000, ' ') + "\n";
    writeBytes(dir / "claims.ase", claims);
    std::error_code unsparse;
    for (auto [name, size] : {std::pair<const char*, uintmax_t>{"big.ase", 1ull << 30}, {"huge.ase", 2147483648ull}})
        writeBytes(dir / name, ""), fs::resize_file(dir / name, size, unsparse);
    // Faces whose material id names no submaterial are left out and counted; a worker's warning comes in order.
    auto ids = [](const char* name, const std::vector<int>& ids, Faces faces = {}) {
        for (int id : ids) faces.push_back({0, 1, 2, id});
        return geomObject(name, meshBlock(3, faces) + "*MATERIAL_REF 0\n");
    };
    std::string faces = header + materialList({"a.tga|b.tga"}) + ids("First", {0, 5, 7, 5, 1});
    for (int i = 0; i < 12000; ++i) faces += ids("Filler", {0, 1});  // 11 MB: a worker reads the last part
    writeBytes(dir / "ids.ase", faces + ids("Last", {-1, 0, 9, 10, 11, 12, 13}));
    // The same scene with its ids wrapped by hand, as 3ds max renders them: --wrap-material-ids must give its pack.
    faces = std::regex_replace(faces, std::regex("MTLID 5\n"), "MTLID 1\n");
    writeBytes(dir / "wrapped.ase", std::regex_replace(faces, std::regex("MTLID 7\n"), "MTLID 1\n") +
                                     ids("Last", {-1, 0, 1, 0, 1, 0, 1}));
    const std::string hint = "; --wrap-material-ids wraps ids past them around, as 3ds max does\n";
    const std::string leftOut = "ids.ase: warning: geometry object \"First\": 3 faces left out: material ids 5, 7 name "
                                "no submaterial (it has 2)" + hint + "ids.ase: warning: geometry object \"Last\": 6 faces"
                                " left out: material ids -1, 9, 10, 11, ... name no submaterial (it has 2)" + hint;
    const std::string tooMany = "*MESH_NORMALS holds more face normals than *MESH_NUMFACES 1\n";
    // Arguments; printed after the banner's first line; exit code; app.log exactly or a line in it; bytes a.qrv holds.
    struct Row { std::vector<std::string> args; std::string said; int code; std::string log, pack = ""; };
    std::vector<Row> rows = {
        {{}, usage + "\npress any key...\n", 0, quiet}, {{"a.ase", "-l"}, usage, 0, quiet},  // a trailing -l: nothing
        {{"--help"}, usage, 0, quiet}, {{"a.ase", "-h", "b.ase"}, usage, 0, quiet},
        {{"--version", "a.ase"}, "", 0, quiet},  // the banner holds the version line
        {{"-l", "--help", "-x"}, option('x'), 255, quiet},  // the suffix, not a request
        {{"-O", "a.ase"}, option('O'), 255, quiet}, {{"-x", "a.ase", "b.ase"}, option('x'), 255, quiet},
        // Several files: each in turn, all tried, a pack named twice converted once; the options apply to all.
        {{"-o", "a.ase", "-l", "_LM", "b.ase"}, "a.ase:\n" + weld + "b.ase:\n" + weld + done, 0, "", "\x07\0\0\0box_LM"},
        {{"a.ase", "missing.ase", "b.ase"}, "a.ase:\nmissing.ase:\n" + refused("missing.ase", "cannot open: No such file or directory") +
         "b.ase:\n\nERROR: 1 of 3 files not converted\n\npress any key...\n", 255, ""},
        {{"a.ase", "./a.ase"}, "a.ase:\n./a.ase: warning: its pack was converted from an earlier file of this run; not again\n"
         + done, 0, ""},
        {{"--output", "out/two.qrv", "a.ase", "b.ase"}, "ERROR: --output names one pack, but 2 files are given\ntarvolt: "
         "error: --output names one pack, but 2 files are given\n", 255, quiet},
        {{"notex.ase"}, "ERROR: could not open \"notex.ase\"\nnotex.ase:10: error: invalid number of texture coordinates: 0"
         ", channel 0\n", 255, "ERROR: invalid number of texture coordinates"},  // the object's line
        {{"-o", "missing.ase"}, refused("missing.ase", "cannot open: No such file or directory"), 255,
         "ERROR: cannot read \"missing.ase\""},
        {{"folder.ase"}, refused("folder.ase", "is a directory"), 255, "ERROR: cannot read \"folder.ase\""},
        {{"huge.ase"}, refused("huge.ase", "larger than 2 GiB"), 255, "ERROR: cannot read \"huge.ase\""},
        {{"bad.ase"}, "ERROR: could not open \"bad.ase\"\nbad.ase:45: error: " + tooMany, 255, "ERROR: line 45: " + tooMany},  // bad.qrv stays
        {{"noref.ase"}, "noref.ase:9: error: geometry object \"Box\" has no *MATERIAL_REF\n", 255, "ERROR: no MATERIAL_REF!"},
        {{"late.ase"}, "late.ase:" + lateLine + ": error: geometry object \"Box\" has no *MATERIAL_REF\n", 255,
         "ERROR: no MATERIAL_REF!"},
        {{"w.ase"}, refused("w.qrv", "cannot write: Is a directory", "write"), 255, "ERROR: "},
        {{"big.ase"}, "ERROR: out of memory\nbig.ase: error: out of memory\n", 255, "EXIT"},  // 1 GiB in 256 MiB
        {{"claims.ase"}, "ERROR: out of memory\nclaims.ase: error: out of memory\n", 255, "EXIT"},
        {{"-o", "x.qrv"}, weld + refused("x.qrv", "cannot write: it is the input file", "write"), 255, "ERROR: "},
        {{"a.ase"}, done, 0, "", lightmap},  // the lightmap name, its length first
        {{"-optimize", "a.ase"}, weld + done, 0, "", lightmap},
        {{"-l", "-o", "a.ase"}, done, 0, "", std::string("\x06\0\0\0box-o\0", 10)},  // -o is the suffix
        {{"noise.ase"}, headless("noise.ase", true) + done, 0, ""}, {{"tight.ase"}, done, 0, ""},
        {{"zeros.ase"}, headless("zeros.ase", true) + done, 0, ""}, {{"ids.ase"}, leftOut + done, 0, ""},
        {{"--wrap-material-ids", "ids.ase"}, "ids.ase: warning: geometry object \"Last\": 1 face left out: material id -1 "
         "names no submaterial (it has 2)\n" + done, 0, ""},
        {{"empty.ase"}, headless("empty.ase", true) + done, 0, ""}, {{"headless.ase"}, headless("headless.ase", false) + done, 0, ""},
        {{"nonfinite.ase"}, "nonfinite.ase: warning: geometry object \"Box\": 2 numbers are not finite in its positions "
                            "(NaN or infinity), the first in *MESH_VERTEX 1\nnonfinite.ase: warning: geometry object "
                            "\"Box\": 1 number is not finite in its normals (NaN or infinity), the first in normal 2\n" +
                                done, 0, ""},  // 1e99 is infinite as a float
        {{"open.ase"}, "open.ase: warning: the input ends inside *GEOMOBJECT opened on line 10\n" + done, 0, ""},
        {{"openlist.ase"}, "openlist.ase: warning: the input ends inside *MATERIAL_LIST opened on line 2\nopenlist.ase:"
                           " warning: no *GEOMOBJECT was read; the pack is empty\n" + done, 0, ""},
        {{"wedge.ase"}, done, 0, "normals listed per vertex"},  // as q3map2 writes them, apart before the faces
        // --output: the same rules elsewhere; the pack it names is checked below.
        {{"--output", "out/a.qrv", "-o", "a.ase"}, weld + done, 0, ""},
        {{"a.ase", "--output", "missing/a.qrv"}, refused("missing/a.qrv", "cannot write: No such file or directory",
                                                         "write"), 255, "ERROR: "},
        {{"--output", "a.ase", "a.ase"}, refused("a.ase", "cannot write: it is the input file", "write"), 255, "ERROR: "},
        {{"--output", "out/ro.qrv", "a.ase"}, refused("out/ro.qrv", "cannot write: Permission denied", "write"), 255, "ERROR: "},
        {{"a.ase", "--output"}, "ERROR: --output needs a file name\ntarvolt: error: --output needs the pack's file name "
                                "after it\n", 255, quiet},
    };
#if !defined(_WIN32)  // inputs that are not regular files; a stem as long as a name may be
    EXPECT_EQ(0, mkfifo((dir / "pipe.ase").c_str(), 0644));
    for (const char* name : {"pipe.ase", "/dev/zero"}) rows.push_back({{name}, refused(name, "not a regular file"), 255, "ERROR: "});
    writeBytes(dir / (std::string(250, 's') + ".ase"), kTriangle);
    rows.push_back({{std::string(250, 's') + ".ase"}, done, 0, ""});
#endif
    for (const Row& row : rows) {
        SCOPED_TRACE(row.said);
        const bool oom = row.said.find("memory") != std::string::npos;
        if ((unsparse && (oom || row.said.find("huge") != std::string::npos)) || (oom && !kMemoryLimits)) continue;
        fs::remove(dir / "a.qrv");
        const ProgramRun run = runChecked(dir.path, row.args, oom ? 256u << 20 : 0);
        const std::string log = readText(dir / "app.log");
        EXPECT_EQ(row.code, run.exitCode);
        EXPECT_EQ(kBanner + row.said, run.output);
        EXPECT_TRUE(row.log == quiet ? log == quiet : log.find("\n" + row.log) != std::string::npos) << log;
        EXPECT_NE(std::string::npos, readBytes(dir / "a.qrv").find(row.pack));
    }
    EXPECT_EQ("kept", readBytes(dir / "out/ro.qrv"));
    runChecked(dir.path, {"wrapped.ase"});
    EXPECT_EQ(readBytes(dir / "wrapped.qrv"), readBytes(dir / "ids.qrv"));  // from the last --wrap-material-ids row
    runChecked(dir.path, {"-o", "a.ase"});
    EXPECT_EQ(readBytes(dir / "a.qrv"), readBytes(dir / "out/a.qrv"));
}

// Under 1 MB (a twentieth under the sanitizer), claiming the largest counts again and again, or nested 100,000
// deep, on a 1 MB stack. unit goes after head as often as given, or as fits.
TEST(Run, CraftedInputsStayUnder256MBAndRecurseNowhere) {
    auto fill = [](std::string head, const std::string& unit, const std::string& tail, size_t times = 0) {
        const size_t size = kMemoryLimits ? 1000000 : 50000;
        for (size_t i = 0; times ? i < times : head.size() + unit.size() + tail.size() < size; ++i) head += unit;
        return head + tail;
    };
    const std::string materials = kTriangle.substr(0, kTriangle.find("*GEOMOBJECT")), end = "} *MATERIAL_REF 0 }\n";
    const std::string counts = "*MESH_NUMVERTEX 4194304 *MESH_NUMTVERTEX 4194304 *MESH_NUMFACES 1\n";
    const std::string normals = "*MESH_NORMALS { *MESH_FACENORMAL 0 0 0 1 *MESH_VERTEXNORMAL 0 0 0 1 "
                                "*MESH_VERTEXNORMAL 1 0 0 1 *MESH_VERTEXNORMAL 4194303 0 0 1 }\n";
    const std::string object = materials + "*GEOMOBJECT { *MESH {" + counts;
    for (const std::string& input : {
             fill(materials, "*GEOMOBJECT { *MESH { " + counts + "*MESH_FACE_LIST { *MESH_FACE 0: A: 0 B: 1 C: 2 "
                  "*MESH_MTLID 0 } *MESH_TFACELIST { *MESH_TFACE 0 0 1 2 } *MESH_MAPPINGCHANNEL 2 { *MESH_NUMTVERTEX "
                  "4194304 } " + normals + end, ""),
             fill(object, "*MESH_NUMVERTEX 5 " + counts, end),
             fill(object, normals, end),
             fill(materials + "*GEOMOBJECT {", "*MESH { *MESH_NUMVERTEX 4194304 } ", end.substr(1)),
             fill("", "{", std::string(100000, '}') + "\n" + kTriangle, 100000),
             fill("*MATERIAL_LIST { *MATERIAL 0 {\n", "*SUBMATERIAL 0 {\n", std::string(100002, '}'), 100000)}) {
        ScratchDir dir;
        writeBytes(dir / "in.ase", input);
        const ProgramRun run = runChecked(dir.path, {"in.ase"}, 0, 1024);
        EXPECT_LT(run.peakKiB, 256 * 1024) << input.substr(0, 200);  // the largest so far; 0 where not measured
    }
}

// Real exporters' files: every one converts but for those that must be refused, each with the reason a user
// reads. Files added to the folder later must convert.
TEST(CorpusOutcomes, EveryFileConvertsButTheRefusedOnes) {
    std::map<std::string, std::string> refused;
    for (const auto& [reason, names] : std::map<std::string, std::vector<std::string>>{
             {"has no *MATERIAL_REF", {"assimp_CameraRollAnim.ase", "assimp_CameraRollAnimWithChildObject.ase",
                                       "assimp_RotatingCube.ASE", "assimp_TargetCameraAnim.ase", "assimp_anim.ASE",
                                       "assimp_anim2.ASE", "assimp_invalid_InvalidUVIndex.ase", "cafu_TonneTest_LoD5.ase"}},
             {"error: invalid number of texture coordinates: 0, channel 0",
              {"assimp_MotionCaptureROM.ase", "scorched3d_apache.ase", "scorched3d_panzer3.ase", "scorched3d_rock1.ase"}},
             {"has no texture coordinates",
              {"assimp_TestFormatDetection", "assimp_ThreeCubesGreen.ASE", "assimp_ThreeCubesGreen_UTF16BE.ASE",
               "assimp_ThreeCubesGreen_UTF16LE.ASE", "trenchbroom_invalid_index_out_of_bounds_wedge_45_no_uv.ase"}}})
        for (const std::string& name : names) refused[name] = reason;
    ScratchDir dir;
    int files = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it(TARVOLT_CORPUS, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name[0] == '.' || it->path().extension() == ".md") continue;
        ++files;
        writeBytes(dir / "in.ase", readBytes(it->path().string()));
        const ProgramRun run = runChecked(dir.path, {"in.ase"});
        EXPECT_EQ(refused.count(name) ? 255 : 0, run.exitCode) << name << "\n" << run.output;
        EXPECT_NE(std::string::npos, run.output.find(refused[name])) << name << "\n" << run.output;
    }
    if (files == 0) GTEST_SKIP() << "no corpus at " << TARVOLT_CORPUS;
}

// The key wait as a person meets it, on a terminal that tmux drives: "press any key..." shows, the run waits,
// one key ends it with exit code 0 without being echoed, and the terminal settings are as they were.
TEST(KeyWait, OneKeyOnATerminal) {
#if defined(_WIN32)
    GTEST_SKIP() << "drives a terminal through tmux; tools/windows_check.sh checks the console wait";
#else
    if (std::system("tmux -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
    ScratchDir dir;
    writeBytes(dir / "a.ase", readBytes(TARVOLT_TEST_DATA "/app/triangle.ase"));
    writeBytes(dir / "run.sh", "s=$(stty -g); ASAN_OPTIONS=detect_leaks=0 '" TARVOLT_BINARY "' a.ase </dev/null\n"
                               "echo \"exit=$?\" >r; [ \"$(stty -g)\" = \"$s\" ] && echo restored >>r\n"
                               "mv r result; exec sleep 60\n");
    writeBytes(dir / "check.sh",  // its exit code names the step that failed
               "cd '" + dir.path + "'\nt() { env -u TMUX tmux -f /dev/null -S sock \"$@\"; }\n"
               "within() { for i in $(seq 100); do eval \"$1\" && return; sleep 0.1; done; return 1; }\n"
               "t new-session -d -x 100 -y 30 'sh run.sh' || exit 1\ntrap 't kill-server' EXIT\n"
               "within 't capture-pane -p | grep -q \"press any key...\"' || exit 2\n"
               "sleep 0.3; [ -e result ] && exit 3\nt send-keys Z; within '[ -e result ]' || exit 4\n"
               "[ \"$(cat result)\" = \"$(printf 'exit=0\\nrestored')\" ] || exit 5\n"
               "t capture-pane -p | grep -q Z && exit 6\n[ -e a.qrv ] || exit 7\n");
    EXPECT_EQ(0, std::system(("sh '" + (dir / "check.sh") + "'").c_str()) >> 8);
#endif
}
