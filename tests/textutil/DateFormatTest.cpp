#include "PLUMEX_TextUtilities.h"

#include <gtest/gtest.h>

#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>

#include <chrono>
#include <cstdlib>
#include <string>

using namespace std::chrono;

namespace {

// The tests run with TZ=Europe/Berlin and LANG=C.
system_clock::time_point utc(int y, unsigned m, unsigned d, int hh, int mm, int ss, int ms) {
    return sys_days{year{y} / month{m} / day{d}} + hours{hh} + minutes{mm} + seconds{ss} + milliseconds{ms};
}

}  // namespace

TEST(UTSFormat, LogPatternInTheLocalZone) {
    EXPECT_EQ(stringWithUTSFormat(utc(2014, 3, 7, 13, 2, 11, 42), "[YYYY/MM/dd HH:mm:ss.SSS Z]"),
              "[2014/03/07 14:02:11.042 +0100]");
    EXPECT_EQ(stringWithUTSFormat(utc(2014, 7, 7, 13, 2, 11, 999), "[YYYY/MM/dd HH:mm:ss.SSS Z]"),
              "[2014/07/07 15:02:11.999 +0200]");
}

TEST(UTSFormat, WeekYearDiffersFromCalendarYearAtTheBoundary) {
    // Monday 29 December 2014 lies in the first week of 2015 under every common week rule.
    EXPECT_EQ(stringWithUTSFormat(utc(2014, 12, 29, 12, 0, 0, 0), "YYYY yyyy"), "2015 2014");
    // The week rule is the locale's; the C locale's weeks start on Sunday and the first one holds
    // 1 January, so Thursday 31 December 2015 already counts to 2016.
    EXPECT_EQ(stringWithUTSFormat(utc(2015, 12, 31, 12, 0, 0, 0), "YYYY yyyy"), "2016 2015");
    EXPECT_EQ(stringWithUTSFormat(utc(2016, 1, 1, 12, 0, 0, 0), "YYYY yyyy"), "2016 2016");
    EXPECT_EQ(stringWithUTSFormat(utc(2015, 6, 1, 12, 0, 0, 0), "YYYY yyyy"), "2015 2015");
}

TEST(UTSFormat, ClockTimeAndQuotedText) {
    EXPECT_EQ(stringWithUTSFormat(utc(2020, 1, 15, 14, 7, 0, 0), "h:mm a"), "3:07 PM");
    EXPECT_EQ(stringWithUTSFormat(utc(2020, 1, 15, 14, 7, 0, 0), "'at' HH'h'"), "at 15h");
    EXPECT_EQ(stringWithUTSFormat(utc(2020, 1, 15, 14, 7, 0, 123), "SSSSS"), "12300");
}

namespace {

// A Persian job: the scheduler sets LANG from the job's language, and ICU's default locale
// follows it (Persian digits, the Solar Hijri calendar).
class PersianJobLanguage : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = icu::Locale::getDefault();
        setenv("LANG", "fa_IR.UTF-8", 1);
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale("fa_IR"), status);
        ASSERT_TRUE(U_SUCCESS(status));
    }
    void TearDown() override {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(saved_, status);
        setenv("LANG", "C", 1);
    }
    icu::Locale saved_;
};

}  // namespace

TEST_F(PersianJobLanguage, DatesKeepGregorianYearsAndAsciiDigits) {
    // The ICU data for the language is there: its own formatter would write Persian digits.
    UErrorCode status = U_ZERO_ERROR;
    icu::SimpleDateFormat persian(icu::UnicodeString("yyyy"), status);
    icu::UnicodeString native;
    persian.format(static_cast<UDate>(1.4e12), native);
    std::string nativeText;
    native.toUTF8String(nativeText);
    ASSERT_NE(nativeText, "2014") << "the default locale did not change";

    EXPECT_EQ(stringWithUTSFormat(utc(2014, 3, 7, 13, 2, 11, 42), "[YYYY/MM/dd HH:mm:ss.SSS Z]"),
              "[2014/03/07 14:02:11.042 +0100]");
    EXPECT_EQ(stringWithUTSFormat(utc(2026, 12, 9, 3, 4, 5, 678), "YYYYMMddHHmmssSSSSS"), "2026120904040567800");
    EXPECT_EQ(stringWithUTSFormat(utc(2020, 1, 15, 14, 7, 0, 0), "h:mm a"), "3:07 PM");
}
