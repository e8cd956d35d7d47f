#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "FileIO.h"
#include "TempDir.h"

namespace tessaron::fd::test {
namespace {

using tessaron::test::TempDir;

TEST(OpenRegularFile, RefusesWhatIsNoRegularFileWithoutHanging) {
    TempDir dir;
    const std::string target = dir.write("target", "secret");
    ASSERT_EQ(::symlink(target.c_str(), dir.file("link").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);

    errno = 0;
    EXPECT_FALSE(openRegularFile(dir.file("link"), O_WRONLY | O_TRUNC));
    EXPECT_EQ(errno, ELOOP);
    EXPECT_EQ(tessaron::test::readFile(target), "secret");
    // A FIFO nobody writes to would block a plain open for reading forever.
    errno = 0;
    EXPECT_FALSE(openRegularFile(dir.file("fifo"), O_RDONLY));
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_FALSE(openRegularFile(dir.path(), O_RDONLY));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_FALSE(openRegularFile(dir.file("missing"), O_RDONLY));
    EXPECT_EQ(errno, ENOENT);
}

TEST(OpenRegularFile, OpensRegularFilesBlockingAndCloseOnExec) {
    TempDir dir;
    const UniqueFd file = openRegularFile(dir.file("new"), O_WRONLY | O_CREAT, 0600);
    ASSERT_TRUE(file);
    EXPECT_EQ(::fcntl(file.get(), F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(::fcntl(file.get(), F_GETFD) & FD_CLOEXEC, 0);
    // Asked for, non-blocking stays.
    const UniqueFd nonBlocking = openRegularFile(dir.file("new"), O_RDONLY | O_NONBLOCK);
    ASSERT_TRUE(nonBlocking);
    EXPECT_NE(::fcntl(nonBlocking.get(), F_GETFL) & O_NONBLOCK, 0);
}

TEST(WholeFiles, WriteAllAndReadBackWithinTheLimit) {
    TempDir dir;
    const std::string content(100000, 'x');
    {
        const UniqueFd file = openRegularFile(dir.file("data"), O_WRONLY | O_CREAT, 0600);
        ASSERT_TRUE(file);
        EXPECT_EQ(writeAll(file.get(), content.data(), content.size()), 0);
    }
    const auto bytes = readWholeFile(dir.file("data"), 100000);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), content);
    EXPECT_FALSE(readWholeFile(dir.file("data"), 99999));

    // A descriptor that takes nothing reports the error instead of spinning.
    const UniqueFd readOnly(::open(dir.file("data").c_str(), O_RDONLY | O_CLOEXEC));
    EXPECT_EQ(writeAll(readOnly.get(), "x", 1), EBADF);
    EXPECT_EQ(writeAll(readOnly.get(), "", 0), 0);
}

}  // namespace
}  // namespace tessaron::fd::test
