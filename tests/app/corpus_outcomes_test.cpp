#include "support/run_program.h"
#include "support/scratch_dir.h"
#include "support/test_support.h"
#include <gtest/gtest.h>
#include <map>

// Real exporters' files: every one converts but for those that must be refused, each with the reason a user
// reads. Files added to the folder later must convert.
TEST(CorpusOutcomes, EveryFileConvertsButTheRefusedOnes) {
    const std::string noReference = "has no *MATERIAL_REF";
    const std::string noCoordinates = "error: invalid number of texture coordinates: 0, channel 0";
    const std::string noCoordinatesAtAll = "has no texture coordinates";
    const std::map<std::string, std::string> refused = {
        {"assimp_CameraRollAnim.ase", noReference},
        {"assimp_CameraRollAnimWithChildObject.ase", noReference},
        {"assimp_RotatingCube.ASE", noReference},
        {"assimp_TargetCameraAnim.ase", noReference},
        {"assimp_anim.ASE", noReference},
        {"assimp_anim2.ASE", noReference},
        {"assimp_invalid_InvalidUVIndex.ase", noReference},
        {"cafu_TonneTest_LoD5.ase", noReference},
        {"assimp_MotionCaptureROM.ase", noCoordinates},
        {"scorched3d_apache.ase", noCoordinates},
        {"scorched3d_panzer3.ase", noCoordinates},
        {"scorched3d_rock1.ase", noCoordinates},
        {"assimp_TestFormatDetection", noCoordinatesAtAll},
        {"assimp_ThreeCubesGreen.ASE", noCoordinatesAtAll},
        {"assimp_ThreeCubesGreen_UTF16BE.ASE", noCoordinatesAtAll},
        {"assimp_ThreeCubesGreen_UTF16LE.ASE", noCoordinatesAtAll},
        {"trenchbroom_invalid_index_out_of_bounds_wedge_45_no_uv.ase", noCoordinatesAtAll},
    };
#if !defined(_WIN32)
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);  // the Scene lives until the process ends, by design
#endif
    ScratchDir dir;
    int files = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it(TARVOLT_CORPUS, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name[0] == '.' || it->path().extension() == ".md") continue;
        ++files;
        writeBytes(dir / "in.ase", readBytes(it->path().string()));
        const ProgramRun run = runProgram(TARVOLT_BINARY, dir.path, {"in.ase"}, true);
        const auto reason = refused.find(name);
        if (reason == refused.end()) {
            EXPECT_EQ(0, run.exitCode) << name << "\n" << run.output;
        } else {
            EXPECT_EQ(255, run.exitCode) << name;
            EXPECT_NE(std::string::npos, run.output.find(reason->second)) << name << "\n" << run.output;
        }
    }
    if (files == 0) GTEST_SKIP() << "no corpus at " << TARVOLT_CORPUS;
}
