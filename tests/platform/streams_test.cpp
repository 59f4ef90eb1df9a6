#include <gtest/gtest.h>

#include "platform/filesystem.h"
#include "support/scratch_dir.h"
#include "support/test_support.h"

#include <cstring>
#include <string>
#include <system_error>

namespace {

class Streams : public ::testing::Test {
protected:
    void SetUp() override { ensureServices(); }
    ScratchDir dir;
    std::string path(const char* name) { return dir / name; }
};

TEST_F(Streams, MissingAndEmptyFiles) {
    EXPECT_EQ(nullptr, gFileSystem->openRead(path("missing").c_str()));
    EXPECT_EQ(0, gFileSystem->exists(path("missing").c_str()));
    EXPECT_EQ(0, gFileSystem->fileSize(path("missing").c_str()));

    writeBytes(path("empty"), "");
    EXPECT_EQ(1, gFileSystem->exists(path("empty").c_str()));
    EXPECT_EQ(0, gFileSystem->fileSize(path("empty").c_str()));
    Stream* s = gFileSystem->openRead(path("empty").c_str());
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(0, s->size());
    char c = 'k';
    EXPECT_EQ(0, s->read(&c, 1));
    EXPECT_EQ('k', c);
    delete s;
}

TEST_F(Streams, ReadPositionsAndEnd) {
    writeBytes(path("five"), "hello");
    EXPECT_EQ(5, gFileSystem->fileSize(path("five").c_str()));
    Stream* s = gFileSystem->openRead(path("five").c_str());
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(0, s->tell());  // the size was measured at the end
    EXPECT_EQ(5, s->size());

    char buffer[8] = {};
    EXPECT_EQ(0, s->read(buffer, 0));
    EXPECT_EQ(1, s->read(buffer, 2));
    EXPECT_EQ(0, std::memcmp(buffer, "he", 2));
    EXPECT_EQ(1, s->skip(1));
    EXPECT_EQ(3, s->tell());
    EXPECT_EQ(0, s->read(buffer, 3));  // only two bytes left
    EXPECT_EQ(1, s->seek(1));
    EXPECT_EQ(1, s->read(buffer, 4));
    EXPECT_EQ(0, std::memcmp(buffer, "ello", 4));
    EXPECT_EQ(0, s->read(buffer, 1));

    EXPECT_EQ(0, s->write("xx", 2));  // a read stream never writes
    EXPECT_EQ(0, s->close());
    delete s;  // closes nothing more
    EXPECT_EQ("hello", readBytes(path("five")));
}

TEST_F(Streams, WriteTruncatesOrAppends) {
    writeBytes(path("out"), "old content");
    Stream* w = gFileSystem->openWrite(path("out").c_str(), 0);
    ASSERT_NE(nullptr, w);
    EXPECT_EQ(1, w->write("abc", 3));
    EXPECT_EQ(3, w->tell());
    EXPECT_EQ(-1, w->size());
    char buffer[4] = {'z', 'z', 'z', 'z'};
    EXPECT_EQ(0, w->read(buffer, 2));  // a write stream never reads
    EXPECT_EQ('z', buffer[0]);
    delete w;
    EXPECT_EQ("abc", readBytes(path("out")));

    w = gFileSystem->openWrite(path("out").c_str(), 1);
    ASSERT_NE(nullptr, w);
    EXPECT_EQ(1, w->write("de", 2));
    EXPECT_EQ(-1, w->size());
    delete w;
    EXPECT_EQ("abcde", readBytes(path("out")));

    EXPECT_EQ(nullptr, gFileSystem->openWrite(path("no/such/dir").c_str(), 0));
}

TEST_F(Streams, DirectoriesAndHugeFilesCannotBeRead) {
    EXPECT_EQ(nullptr, gFileSystem->openRead(dir.path.c_str()));
    EXPECT_EQ(0, gFileSystem->fileSize(dir.path.c_str()));

    std::error_code error;
    writeBytes(path("huge"), "");
    std::filesystem::resize_file(path("huge"), 2147483648ull, error);  // sparse 2 GiB
    if (error) GTEST_SKIP() << "no sparse 2 GiB file here: " << error.message();
    EXPECT_EQ(nullptr, gFileSystem->openRead(path("huge").c_str()));
    EXPECT_EQ(0, gFileSystem->fileSize(path("huge").c_str()));

    std::filesystem::resize_file(path("huge"), 2147483647ull, error);  // one byte less fits
    ASSERT_FALSE(error);
    EXPECT_EQ(INT32_MAX, gFileSystem->fileSize(path("huge").c_str()));
}

TEST_F(Streams, Directories) {
    String start = gFileSystem->currentDirectory();
    ASSERT_GT(start.length, 1);
    EXPECT_EQ(0, gFileSystem->changeDirectory(path("missing").c_str()));
    String after = gFileSystem->currentDirectory();
    EXPECT_STREQ(start.data, after.data);

    EXPECT_EQ(1, gFileSystem->makeDirectory(path("sub").c_str()));
    EXPECT_EQ(0, gFileSystem->makeDirectory(path("sub").c_str()));
}

}  // namespace
