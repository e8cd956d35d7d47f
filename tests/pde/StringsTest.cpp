#include "CommandJobs.h"
#include "PDEStrings.h"

#include <gtest/gtest.h>

using namespace tessaron::pde;

TEST(PDEStrings, NumericalCompareOrdersDigitRunsByValueIgnoringCase) {
    EXPECT_LT(numericalCaseInsensitiveCompare("w9s1r300", "w10s1r300"), 0);
    EXPECT_LT(numericalCaseInsensitiveCompare("A4-r300", "b5-r300"), 0);
    EXPECT_EQ(numericalCaseInsensitiveCompare("W1270", "w1270"), 0);
    EXPECT_GT(numericalCaseInsensitiveCompare("w1520", "w890"), 0);
    EXPECT_LT(numericalCaseInsensitiveCompare("w89", "w890"), 0);
}

TEST(PDEStrings, CharacterFilterKeepsRunsAroundDisallowedCharacters) {
    const QString allowed = QStringLiteral("abc ");
    EXPECT_EQ(stringWithOnlyCharactersInSet("ab~c a", allowed), QStringLiteral("abc a"));
    EXPECT_EQ(stringWithOnlyCharactersInSet("abc", allowed), QStringLiteral("abc"));
    EXPECT_EQ(stringWithOnlyCharactersInSet("~~", allowed), QString());
}

TEST(PDEStrings, UTSFormatUsesTheUnicodePattern) {
    const QDateTime t(QDate(2026, 12, 7), QTime(15, 7, 0), Qt::LocalTime);
    EXPECT_EQ(stringWithUTSFormat(t, "h:mm a").value_or(""), QStringLiteral("3:07 PM"));
    EXPECT_EQ(stringWithUTSFormat(t, "YYYY-MM-dd").value_or(""), QStringLiteral("2026-12-07"));
}

TEST(CommandJobs, DocumentAndStateNames) {
    const QByteArray doc = commandJobDocument({"ReportStatus", "AutoConfigure"});
    EXPECT_EQ(doc, QByteArray("#CUPS-COMMAND\nReportStatus\nAutoConfigure\n"));
    EXPECT_EQ(doc.size(), 41);
    EXPECT_EQ(stringForCupsJobState(3), "pending");
    EXPECT_EQ(stringForCupsJobState(9), "completed");
    EXPECT_EQ(stringForCupsJobState(10), "unknown");
}
