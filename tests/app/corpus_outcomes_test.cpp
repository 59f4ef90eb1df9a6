#include "support/run_program.h"
#include "support/scratch_dir.h"
#include <gtest/gtest.h>
#include <map>

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
        const ProgramRun run = runProgram(TARVOLT_BINARY, dir.path, {"in.ase"}, true);
        EXPECT_EQ(refused.count(name) ? 255 : 0, run.exitCode) << name << "\n" << run.output;
        EXPECT_NE(std::string::npos, run.output.find(refused[name])) << name << "\n" << run.output;
    }
    if (files == 0) GTEST_SKIP() << "no corpus at " << TARVOLT_CORPUS;
}
