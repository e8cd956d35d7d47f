// Input the suite cannot print is refused with a CUPS message and leaves nothing in the lab.
#include "SchedulerLab.h"

#include <cups/ipp.h>

namespace tessaron::test {
namespace {

class BadInputTest : public SchedulerLabTest {};

TEST_F(BadInputTest, ADocumentCupsCannotConvertIsRefusedAtSubmission) {
    startLab(exampleLab());
    addQueue(kQueue, std::string("vantrelps://") + kLabAddress);
    TempDir dir;
    std::string blob(4096, '\0');
    for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<char>((i * 131u + 7u) & 0xff);
    const std::string file = dir.write("blob.bin", blob);

    std::string message;
    EXPECT_FALSE(cups_->submit(kQueue, {}, file, &message).has_value());
    EXPECT_NE(message.find("document-format"), std::string::npos) << message;
    std::string typed;
    EXPECT_FALSE(cups_->submit(kQueue, {{"document-format", "application/x-unknown-tessaron"}}, file, &typed));
    EXPECT_NE(typed.find("document-format"), std::string::npos) << typed;

    ProcessResult jobs = cups_->tool("lpstat", {"-o", kQueue});
    EXPECT_EQ(jobs.out, "");
    EXPECT_TRUE(orders().empty());
}

TEST_F(BadInputTest, AQueueWhoseUriNamesNoLabEndsItsJobWithAMessageAndKeepsThePpd) {
    addQueue(kQueue, "vantrelps:/nowhere");
    const std::string before = cups_->queuePpd(kQueue);
    const int job = submitRefresh();
    ASSERT_GT(job, 0);
    const CupsJob end = waitForEnd(job);
    EXPECT_NE(end.state, 0);
    EXPECT_NE(cups_->errorLog().find("the device URI names no printer"), std::string::npos);
    EXPECT_EQ(cups_->queuePpd(kQueue), before);
}

}  // namespace
}  // namespace tessaron::test
