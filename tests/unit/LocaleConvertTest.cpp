// Number and date-time texts under a given locale format.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include <velmora/velmora.hpp>

#include "platform/LocaleConvert.h"
#include "platform/Platform.h"
#include "support/ExpectError.h"

namespace velmora::platform::convert {
namespace {

const LocaleFormat kUs{};  // '.', month/day/year, '/', ':'
const LocaleFormat kGerman{',', '.', DateOrder::kDayMonthYear, ':'};
const LocaleFormat kIso{'.', '-', DateOrder::kYearMonthDay, ':'};

double Time(int h, int m, double s) { return (h * 3600 + m * 60 + s) / 86400.0; }

TEST(TextToFloat, AcceptsSignsFractionsExponentsAndBlanks) {
  EXPECT_EQ(TextToFloat("12.5", kUs), 12.5);
  EXPECT_EQ(TextToFloat("  -3.25e2 ", kUs), -325.0);
  EXPECT_EQ(TextToFloat("+.5", kUs), 0.5);
  EXPECT_EQ(TextToFloat("5.", kUs), 5.0);
  EXPECT_EQ(TextToFloat("1E+3", kUs), 1000.0);
  EXPECT_EQ(TextToFloat("0.1", kUs), 0.1);
  EXPECT_EQ(TextToFloat("007", kUs), 7.0);
  EXPECT_EQ(TextToFloat("\t2\t", kUs), 2.0);
  // Too small to hold is zero, keeping the sign.
  EXPECT_EQ(TextToFloat("1e-400", kUs), 0.0);
  EXPECT_TRUE(std::signbit(TextToFloat("-1e-400", kUs)));
  EXPECT_EQ(TextToFloat("0.0000e999999", kUs), 0.0);
}

TEST(TextToFloat, UsesTheFormatsDecimalSeparator) {
  EXPECT_EQ(TextToFloat("1,5", kGerman), 1.5);
  EXPECT_VELMORA_ERROR(TextToFloat("1.5", kGerman), EConvertError, "'1.5' is not a valid floating point value");
  EXPECT_VELMORA_ERROR(TextToFloat("1,5", kUs), EConvertError, "'1,5' is not a valid floating point value");
}

TEST(TextToFloat, RefusesEverythingElseWithTheTextQuoted) {
  for (const char *text : {"", " ", "abc", "1e", "1e+", ".", "-", "1.2.3", "0x10", "inf", "nan", "1e400", "-1e400",
                           "- 1", "1 2", "1_000", "$5", "1.5f"}) {
    EXPECT_VELMORA_ERROR(TextToFloat(text, kUs), EConvertError,
                         std::string("'") + text + "' is not a valid floating point value");
  }
}

TEST(TextToInt, AcceptsTheWholeSigned32BitRange) {
  EXPECT_EQ(TextToInt("42"), 42);
  EXPECT_EQ(TextToInt(" -2147483648 "), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(TextToInt("+2147483647"), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(TextToInt("-0"), 0);
  EXPECT_EQ(TextToInt("000000000000000000012"), 12);
}

TEST(TextToInt, RefusesOverflowAndNonDecimalTexts) {
  for (const char *text :
       {"2147483648", "-2147483649", "99999999999999999999", "12a", "1.0", "", "+", " ", "0x1F", "$1F", "1 2", "--1"}) {
    EXPECT_VELMORA_ERROR(TextToInt(text), EConvertError, std::string("'") + text + "' is not a valid integer value");
  }
}

TEST(TextToDateTime, CountsDaysFromTheEpoch) {
  EXPECT_EQ(TextToDateTime("12/30/1899", kUs), 0.0);
  EXPECT_EQ(TextToDateTime("1/1/1900", kUs), 2.0);
  EXPECT_EQ(TextToDateTime("3/15/2024", kUs), 45366.0);
  EXPECT_EQ(TextToDateTime("02/29/2000", kUs), 36585.0);
  EXPECT_EQ(TextToDateTime("1/1/0001", kUs), -693593.0);
  EXPECT_EQ(TextToDateTime("12/31/9999", kUs), 2958465.0);
  EXPECT_EQ(TextToDateTime(" 3/15/2024 ", kUs), 45366.0);
}

TEST(TextToDateTime, ShortYearsFallIn1950To2049) {
  EXPECT_EQ(TextToDateTime("1/1/24", kUs), 45292.0);
  EXPECT_EQ(TextToDateTime("1/1/75", kUs), 27395.0);
  EXPECT_EQ(TextToDateTime("1/1/1975", kUs), 27395.0);
}

TEST(TextToDateTime, TimeOfDayIsTheFraction) {
  EXPECT_DOUBLE_EQ(TextToDateTime("3/15/2024 13:05:09.5", kUs), 45366.0 + Time(13, 5, 9.5));
  EXPECT_DOUBLE_EQ(TextToDateTime("3/15/2024 13:05", kUs), 45366.0 + Time(13, 5, 0));
  EXPECT_DOUBLE_EQ(TextToDateTime("3/15/2024 1:02 PM", kUs), 45366.0 + Time(13, 2, 0));
  EXPECT_DOUBLE_EQ(TextToDateTime("3/15/2024 12:30 am", kUs), 45366.0 + Time(0, 30, 0));
  EXPECT_DOUBLE_EQ(TextToDateTime("3/15/2024 23:59:59.999", kUs), 45366.0 + Time(23, 59, 59.999));
}

TEST(TextToDateTime, BeforeTheEpochTheFractionStillMeansTheTimeOfDay) {
  EXPECT_DOUBLE_EQ(TextToDateTime("12/29/1899 6:00", kUs), -1.25);
  EXPECT_DOUBLE_EQ(TextToDateTime("12/29/1899 18:00", kUs), -1.75);
  EXPECT_DOUBLE_EQ(TextToDateTime("12/30/1899 6:00", kUs), 0.25);
}

TEST(TextToDateTime, FollowsTheFormatsOrderAndSeparators) {
  EXPECT_EQ(TextToDateTime("15.03.2024", kGerman), 45366.0);
  EXPECT_DOUBLE_EQ(TextToDateTime("15.3.2024 13:05:09,5", kGerman), 45366.0 + Time(13, 5, 9.5));
  EXPECT_EQ(TextToDateTime("2024-03-15", kIso), 45366.0);
  EXPECT_VELMORA_ERROR(TextToDateTime("3/15/2024", kGerman), EConvertError, "'3/15/2024' is not a valid date and time");
  EXPECT_VELMORA_ERROR(TextToDateTime("15/3/2024", kUs), EConvertError, "'15/3/2024' is not a valid date and time");
}

TEST(TextToDateTime, RefusesImpossibleAndMalformedTexts) {
  for (const char *text : {"",
                           "2/29/2023",
                           "2/30/2024",
                           "13/1/2024",
                           "0/1/2024",
                           "1/0/2024",
                           "1/1/0000",
                           "1/1/10000",
                           "1/1/2024 24:00",
                           "1/1/2024 12:60",
                           "1/1/2024 12:00:60",
                           "1/1/2024x",
                           "1/1/2024 12",
                           "1/1/2024 12:",
                           "1/1/2024 13:00 PM",
                           "1/1/2024 0:00 AM",
                           "1/1",
                           "1/1/2024/1",
                           "1-1-2024",
                           "1/1/2024 12:00:00.1234",
                           "1/1/202412:00",
                           "12:00"}) {
    EXPECT_VELMORA_ERROR(TextToDateTime(text, kUs), EConvertError,
                         std::string("'") + text + "' is not a valid date and time");
  }
}

TEST(FloatToText, FifteenSignificantDigitsFixedOrScientific) {
  EXPECT_EQ(FloatToText(12.5, kUs), "12.5");
  EXPECT_EQ(FloatToText(-0.001, kUs), "-0.001");
  EXPECT_EQ(FloatToText(0.1 + 0.2, kUs), "0.3");
  EXPECT_EQ(FloatToText(0.0, kUs), "0");
  EXPECT_EQ(FloatToText(-0.0, kUs), "0");
  EXPECT_EQ(FloatToText(100.0, kUs), "100");
  EXPECT_EQ(FloatToText(1e14, kUs), "100000000000000");
  EXPECT_EQ(FloatToText(1e15, kUs), "1E15");
  EXPECT_EQ(FloatToText(1e20, kUs), "1E20");
  EXPECT_EQ(FloatToText(123456789012345678.0, kUs), "1.23456789012346E17");
  EXPECT_EQ(FloatToText(0.00001, kUs), "0.00001");
  EXPECT_EQ(FloatToText(0.000001, kUs), "1E-6");
  EXPECT_EQ(FloatToText(1.5e-7, kUs), "1.5E-7");
  EXPECT_EQ(FloatToText(2.5, kGerman), "2,5");
  EXPECT_EQ(FloatToText(std::numeric_limits<double>::quiet_NaN(), kUs), "NAN");
  EXPECT_EQ(FloatToText(std::numeric_limits<double>::infinity(), kUs), "INF");
  EXPECT_EQ(FloatToText(-std::numeric_limits<double>::infinity(), kUs), "-INF");
}

TEST(FloatToText, ReadsBackWithTheSameFormat) {
  for (double value : {12.5, -0.001, 1e20, 1.5e-7, 3.0e-300, 1.7e308, 42.0, -9876.54321}) {
    EXPECT_EQ(TextToFloat(FloatToText(value, kGerman), kGerman), value) << value;
  }
}

TEST(DateTimeToText, WritesDateAndTimeOfDay) {
  EXPECT_EQ(DateTimeToText(0.0, kUs), "12/30/1899");
  EXPECT_EQ(DateTimeToText(45366.5, kUs), "3/15/2024 12:00:00");
  EXPECT_EQ(DateTimeToText(45366.0 + Time(13, 5, 9.5), kUs), "3/15/2024 13:05:09.500");
  EXPECT_EQ(DateTimeToText(-1.25, kUs), "12/29/1899 6:00:00");
  EXPECT_EQ(DateTimeToText(45366.0, kGerman), "15.3.2024");
  EXPECT_EQ(DateTimeToText(45366.0, kIso), "2024-03-15");
  EXPECT_EQ(DateTimeToText(-693593.0, kUs), "1/1/0001");
  EXPECT_EQ(DateTimeToText(2958465.9999, kUs), "12/31/9999 23:59:51.360");
  // A time that rounds to midnight starts the next day.
  EXPECT_EQ(DateTimeToText(45366.9999999999, kUs), "3/16/2024");
}

TEST(DateTimeToText, ReadsBackWithTheSameFormat) {
  for (double value : {0.0, 2.0, 45366.25, -1.75, -693593.5, 2958465.0, 36585.0 + Time(7, 8, 9.123)}) {
    EXPECT_NEAR(TextToDateTime(DateTimeToText(value, kUs), kUs), value, 1e-9) << value;
    EXPECT_NEAR(TextToDateTime(DateTimeToText(value, kGerman), kGerman), value, 1e-9) << value;
  }
}

TEST(DateTimeToText, RefusesValuesOutsideTheCalendar) {
  EXPECT_VELMORA_ERROR(DateTimeToText(std::numeric_limits<double>::quiet_NaN(), kUs), EConvertError,
                       "'NAN' is not a valid date and time");
  EXPECT_VELMORA_ERROR(DateTimeToText(std::numeric_limits<double>::infinity(), kUs), EConvertError,
                       "'INF' is not a valid date and time");
  EXPECT_VELMORA_ERROR(DateTimeToText(-693594.0, kUs), EConvertError, "'-693594' is not a valid date and time");
  EXPECT_VELMORA_ERROR(DateTimeToText(2958466.0, kUs), EConvertError, "'2958466' is not a valid date and time");
  EXPECT_VELMORA_ERROR(DateTimeToText(1e300, kUs), EConvertError, "'1E300' is not a valid date and time");
}

TEST(Calendar, EveryDayDecodesAndEncodesBack) {
  int previousYear = 1, previousMonth = 1, previousDay = 0;
  for (int32_t days = -693593; days <= 2958465; ++days) {
    int year = 0, month = 0, day = 0;
    ASSERT_TRUE(DecodeDate(days, &year, &month, &day)) << days;
    // Consecutive days follow each other in the calendar.
    const bool nextDay = year == previousYear && month == previousMonth && day == previousDay + 1;
    const bool nextMonth = year == previousYear && month == previousMonth + 1 && day == 1;
    const bool nextYear = year == previousYear + 1 && month == 1 && day == 1 && previousMonth == 12;
    ASSERT_TRUE(nextDay || nextMonth || nextYear) << days;
    int32_t back = 0;
    ASSERT_TRUE(EncodeDate(year, month, day, &back));
    ASSERT_EQ(back, days);
    previousYear = year, previousMonth = month, previousDay = day;
  }
  EXPECT_EQ(previousYear * 10000 + previousMonth * 100 + previousDay, 99991231);
  int y, m, d;
  EXPECT_FALSE(DecodeDate(-693594, &y, &m, &d));
  EXPECT_FALSE(DecodeDate(2958466, &y, &m, &d));
}

TEST(Calendar, LeapYearsFollowTheGregorianRule) {
  int32_t days;
  EXPECT_TRUE(EncodeDate(2000, 2, 29, &days));
  EXPECT_TRUE(EncodeDate(2024, 2, 29, &days));
  EXPECT_FALSE(EncodeDate(1900, 2, 29, &days));
  EXPECT_FALSE(EncodeDate(2023, 2, 29, &days));
  EXPECT_FALSE(EncodeDate(2024, 4, 31, &days));
  EXPECT_FALSE(EncodeDate(0, 1, 1, &days));
}

TEST(FormatFromPatterns, ReadsTheCLibraryPatterns) {
  LocaleFormat c = FormatFromPatterns(".", "%m/%d/%y", "%H:%M:%S");
  EXPECT_EQ(c.decimalSeparator, '.');
  EXPECT_EQ(c.dateOrder, DateOrder::kMonthDayYear);
  EXPECT_EQ(c.dateSeparator, '/');
  EXPECT_EQ(c.timeSeparator, ':');

  LocaleFormat de = FormatFromPatterns(",", "%d.%m.%Y", "%T");
  EXPECT_EQ(de.decimalSeparator, ',');
  EXPECT_EQ(de.dateOrder, DateOrder::kDayMonthYear);
  EXPECT_EQ(de.dateSeparator, '.');

  LocaleFormat iso = FormatFromPatterns(".", "%F", "%H.%M.%S");
  EXPECT_EQ(iso.dateOrder, DateOrder::kYearMonthDay);
  EXPECT_EQ(iso.dateSeparator, '-');
  EXPECT_EQ(iso.timeSeparator, '.');

  LocaleFormat us = FormatFromPatterns(".", "%D", "%r");
  EXPECT_EQ(us.dateOrder, DateOrder::kMonthDayYear);
  EXPECT_EQ(us.dateSeparator, '/');

  LocaleFormat dmy = FormatFromPatterns(".", "%e-%m-%Y", nullptr);
  EXPECT_EQ(dmy.dateOrder, DateOrder::kDayMonthYear);
  EXPECT_EQ(dmy.dateSeparator, '-');
}

TEST(FormatFromPatterns, UnrecognisedPatternsKeepTheDefaults) {
  for (const char *pattern : {"", "%A %d %B %Y", "%d%m%Y", "%Y\xe5\xb9\xb4%m\xe6\x9c\x88%d\xe6\x97\xa5", "%dx%mx%Y"}) {
    LocaleFormat format = FormatFromPatterns("\xd9\xab", pattern, "");
    EXPECT_EQ(format.decimalSeparator, '.') << pattern;
    EXPECT_EQ(format.dateOrder, DateOrder::kMonthDayYear) << pattern;
    EXPECT_EQ(format.dateSeparator, '/') << pattern;
  }
  LocaleFormat none = FormatFromPatterns(nullptr, nullptr, nullptr);
  EXPECT_EQ(none.decimalSeparator, '.');
}

// The built-in platform reads the process's locale, which is "C" here.
TEST(PlatformConversions, CLocaleUsesPointAndMonthDayYear) {
  Platform &os = NativePlatform();
  EXPECT_EQ(os.TextToFloat("1.5"), 1.5);
  EXPECT_EQ(os.TextToInt("-17"), -17);
  EXPECT_EQ(os.TextToDateTime("3/15/2024"), 45366.0);
  EXPECT_EQ(os.FloatToText(0.25), "0.25");
  EXPECT_EQ(os.DateTimeToText(45366.5), "3/15/2024 12:00:00");
  EXPECT_VELMORA_ERROR(os.TextToFloat("1,5"), EConvertError, "'1,5' is not a valid floating point value");
}

}  // namespace
}  // namespace velmora::platform::convert
