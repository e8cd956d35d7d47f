// Debug image copies and their removal in a folder others can write to.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "DebugImages.h"
#include "TempDir.h"

using namespace tessaron;
using tessaron::test::TempDir;

namespace {

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

TEST(DebugImages, RemovalTakesOnlyRegularFilesWithThePrefix) {
    TempDir dir;
    const TempDir elsewhere;
    const std::string victim = elsewhere.write("precious.bmp", "keep");
    dir.write("Vantrel_test_image_1.bmp", "a");
    dir.write("Vantrel_test_image_2.bmp", "b");
    dir.write("Other_image_1.bmp", "c");
    ASSERT_EQ(::symlink(victim.c_str(), dir.file("Vantrel_test_image_3.bmp").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.file("Vantrel_test_image_dir").c_str(), 0700), 0);
    // A name that a shell would expand or split must be taken literally.
    dir.write("Vantrel_test_image_ $(touch x) *.bmp", "d");

    EXPECT_EQ(removeDebugImages(dir.path() + "/"), 3);
    EXPECT_FALSE(exists(dir.file("Vantrel_test_image_1.bmp")));
    EXPECT_FALSE(exists(dir.file("Vantrel_test_image_2.bmp")));
    EXPECT_TRUE(exists(dir.file("Other_image_1.bmp")));
    EXPECT_TRUE(exists(dir.file("Vantrel_test_image_3.bmp"))) << "links stay";
    EXPECT_TRUE(exists(dir.file("Vantrel_test_image_dir")));
    EXPECT_EQ(tessaron::test::readFile(victim), "keep");
    EXPECT_FALSE(exists(dir.file("x")));
    EXPECT_EQ(removeDebugImages(dir.file("missing")), 0);
}

TEST(DebugImages, CopyIsGroupWritableAndNeverWritesThroughALink) {
    TempDir dir;
    const TempDir elsewhere;
    const std::string source = elsewhere.write("page.bmp", "BMdata");
    const std::string victim = elsewhere.write("victim", "keep");

    EXPECT_EQ(debugImageName(2, "bmp"), "Vantrel_test_image_2.bmp");
    ASSERT_FALSE(copyDebugImage(source, dir.path() + "/", "Vantrel_test_image_2.bmp"));
    EXPECT_EQ(tessaron::test::readFile(dir.file("Vantrel_test_image_2.bmp")), "BMdata");
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("Vantrel_test_image_2.bmp").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0664u);

    // An earlier copy is replaced.
    const std::string newer = elsewhere.write("page2.bmp", "BMnewer");
    ASSERT_FALSE(copyDebugImage(newer, dir.path(), "Vantrel_test_image_2.bmp"));
    EXPECT_EQ(tessaron::test::readFile(dir.file("Vantrel_test_image_2.bmp")), "BMnewer");

    ASSERT_EQ(::symlink(victim.c_str(), dir.file("Vantrel_test_image_3.bmp").c_str()), 0);
    EXPECT_TRUE(copyDebugImage(source, dir.path(), "Vantrel_test_image_3.bmp"));
    EXPECT_EQ(tessaron::test::readFile(victim), "keep");

    EXPECT_TRUE(copyDebugImage(source, dir.path(), "../escape.bmp"));
    EXPECT_TRUE(copyDebugImage(elsewhere.file("missing"), dir.path(), "Vantrel_test_image_4.bmp"));
    EXPECT_FALSE(exists(dir.file("Vantrel_test_image_4.bmp")));
}
