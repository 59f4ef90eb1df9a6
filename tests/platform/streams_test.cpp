#include "platform/filesystem.h"
#include "support/scratch_dir.h"
#include "support/test_support.h"
#include <gtest/gtest.h>

TEST(Streams, ReadWriteAndWhatCannotBeRead) {
    ensureServices();
    ScratchDir dir;
    const std::string empty = dir / "empty", five = dir / "five", huge = dir / "huge";
    EXPECT_EQ(nullptr, gFileSystem->openRead((dir / "missing").c_str()));
    EXPECT_EQ(nullptr, gFileSystem->openRead(dir.path.c_str()));
    writeBytes(empty, "");
    char buffer[4] = {};
    Stream* s = gFileSystem->openRead(empty.c_str());
    EXPECT_TRUE(s && s->size() == 0 && s->read(buffer, 1) == 0);
    delete s;
    writeBytes(five, "old content");
    for (int append : {0, 1}) {  // truncates, then appends
        Stream* w = gFileSystem->openWrite(five.c_str(), append);
        EXPECT_TRUE(w && w->write(append ? "lo" : "hel", 3 - append) == 1 && w->size() == -1);
        delete w;
    }
    s = gFileSystem->openRead(five.c_str());
    ASSERT_TRUE(s && s->size() == 5 && s->skip(2) == 1);
    EXPECT_EQ(0, s->read(buffer, 4));  // past the end
    EXPECT_TRUE(s->seek(1) == 1 && s->read(buffer, 4) == 1 && std::string(buffer, 4) == "ello");
    delete s;
    std::error_code error;
    writeBytes(huge, "");
    std::filesystem::resize_file(huge, 2147483648ull, error);  // sparse 2 GiB: too large
    if (error) GTEST_SKIP() << "no sparse 2 GiB file here: " << error.message();
    EXPECT_EQ(nullptr, gFileSystem->openRead(huge.c_str()));
    std::filesystem::resize_file(huge, 2147483647ull, error);  // one byte less fits
    EXPECT_EQ(INT32_MAX, gFileSystem->fileSize(huge.c_str()));
}
