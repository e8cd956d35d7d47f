#include "CommandLine.h"

#include <gtest/gtest.h>

using tessaron::print::parseCommandLine;

namespace {

TEST(CommandLine, ReadsQueueOptionsDocumentsAndActions) {
    std::string error;
    auto line = parseCommandLine({"--queue", "lab", "-o", "PaperTone=Matte", "--option=copies=2", "--print",
                                  "a.jpg", "b.pdf", "--save-defaults", "--screenshot=shots", "--", "--odd-name"},
                                 error);
    ASSERT_TRUE(line) << error;
    EXPECT_EQ(line->queue, "lab");
    EXPECT_EQ(line->assignments, (std::vector<std::string>{"PaperTone=Matte", "copies=2"}));
    EXPECT_EQ(line->documents, (std::vector<std::string>{"a.jpg", "b.pdf", "--odd-name"}));
    EXPECT_TRUE(line->print);
    EXPECT_TRUE(line->saveDefaults);
    EXPECT_EQ(line->screenshotDirectory, "shots");
    EXPECT_FALSE(line->interactive());

    auto plain = parseCommandLine({"-d", "lab", "photo.jpg"}, error);
    ASSERT_TRUE(plain);
    EXPECT_TRUE(plain->interactive()) << "files alone open the dialog";
    EXPECT_EQ(plain->documents.size(), 1u);
}

TEST(CommandLine, RefusesWhatMakesNoSense) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--queue"}, {"--queue="}, {"--print"}, {"--frobnicate"}, {"-o"}, {"--ppd", ""}}) {
        std::string error;
        EXPECT_FALSE(parseCommandLine(args, error)) << args.front();
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
