#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "UniqueFd.h"

namespace tessaron::fd::test {
namespace {

bool isOpen(int fd) { return fd >= 0 && ::fcntl(fd, F_GETFD) != -1; }

struct Pipe {
    UniqueFd read, write;
    Pipe() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) == 0) {
            read.reset(ends[0]);
            write.reset(ends[1]);
        }
    }
};

TEST(UniqueFd, OwnsOnceAcrossMovesAndClosesWhenItGoesAway) {
    int raw = -1;
    {
        Pipe p;
        ASSERT_TRUE(p.read);
        raw = p.read.get();
        UniqueFd moved(std::move(p.read));
        EXPECT_FALSE(p.read);
        EXPECT_EQ(p.read.get(), -1);
        EXPECT_EQ(moved.get(), raw);

        UniqueFd assigned;
        assigned = std::move(moved);
        EXPECT_FALSE(moved);
        EXPECT_TRUE(isOpen(raw));
        // Moving onto an owner closes what that owner held.
        const int writeEnd = p.write.get();
        assigned = std::move(p.write);
        EXPECT_FALSE(isOpen(raw));
        EXPECT_EQ(assigned.get(), writeEnd);
        raw = writeEnd;

        auto& self = assigned;
        assigned = std::move(self);
        EXPECT_TRUE(isOpen(raw));
    }
    EXPECT_FALSE(isOpen(raw));
}

TEST(UniqueFd, ClosesOnceAndReportsTheClose) {
    Pipe p;
    const int raw = p.read.get();
    EXPECT_TRUE(p.read.close());
    EXPECT_FALSE(p.read);
    EXPECT_FALSE(isOpen(raw));
    // A second close, a reset and the destructor must not touch a number that may be reused.
    const int reused = ::dup(p.write.get());
    ASSERT_EQ(reused, raw);
    EXPECT_TRUE(p.read.close());
    p.read.reset();
    EXPECT_TRUE(isOpen(reused));
    ::close(reused);

    // A descriptor that was never open: the failure is reported, and the owner is empty.
    UniqueFd bogus(0x3fffffff);
    errno = 0;
    EXPECT_FALSE(bogus.close());
    EXPECT_EQ(errno, EBADF);
    EXPECT_FALSE(bogus);
}

TEST(UniqueFd, ReleaseGivesUpWithoutClosingAndResetTakesOver) {
    Pipe p;
    const int raw = p.read.release();
    EXPECT_FALSE(p.read);
    EXPECT_TRUE(isOpen(raw));
    p.read.reset(raw);
    EXPECT_EQ(p.read.get(), raw);
    p.read.reset(raw);  // taking over the same descriptor again keeps it open
    EXPECT_TRUE(isOpen(raw));
    UniqueFd negative(-7);
    EXPECT_FALSE(negative);
    EXPECT_EQ(negative.get(), -1);
}

TEST(UniqueFd, QuietCloseKeepsErrno) {
    Pipe p;
    const int raw = p.read.get();
    errno = ENOSPC;
    p.read.reset();
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_FALSE(isOpen(raw));

    UniqueFd bogus(0x3fffffff);
    errno = EAGAIN;
    bogus.reset();  // fails with EBADF underneath
    EXPECT_EQ(errno, EAGAIN);
    {
        UniqueFd bogusToo(0x3fffffff);
        errno = EPIPE;
    }
    EXPECT_EQ(errno, EPIPE);
}

}  // namespace
}  // namespace tessaron::fd::test
