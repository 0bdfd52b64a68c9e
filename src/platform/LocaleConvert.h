// Number and date-time texts, parsed and formatted by the rules of a locale
// format that the platform supplies (decimal separator, short date order and
// separator, time separator).  Nothing here asks the operating system: the
// Linux platform fills a LocaleFormat from the C library's current locale,
// the Win32 platform from the user's regional settings, and both hand it in.
//
// Accepted texts (blanks are spaces and tabs):
//   float     [blanks] [+|-] digits [sep digits] [(e|E) [+|-] digits] [blanks]
//             with at least one digit before or after the decimal separator
//             `sep`; nothing else (no thousands separators, no "inf"/"nan",
//             no hexadecimal).  A value beyond the double range does not convert.
//   integer   [blanks] [+|-] decimal digits [blanks], within -2147483648..2147483647.
//   date-time [blanks] date [blanks+ time] [blanks]
//             date: three numbers in the format's order (D/M/Y, M/D/Y or
//             Y/M/D) joined by the date separator; a year of one or two digits
//             means 1950..2049 (00-49 → 2000-2049, 50-99 → 1950-1999), three
//             or four digits are taken as written (1..9999).  The day must
//             exist in that month.
//             time: h<ts>mm[<ts>ss[<dec>zzz]] with the time separator <ts>,
//             hour 0-23, minutes and seconds 0-59, 1-3 digits of milliseconds
//             after the decimal separator or a '.'; an optional " AM"/" PM"
//             (any letter case) turns a 12-hour clock into 24 hours.
//
// Date-time values count days since 30 December 1899 in the integral part and
// the time of day in the fraction.  Before that epoch the integral part is
// negative and the fraction still means the time of day, so 29 December 1899
// 06:00 is -1.25 (not -0.75).
#pragma once

#include <cstdint>
#include <string>

namespace velmora::platform::convert {

enum class DateOrder { kMonthDayYear, kDayMonthYear, kYearMonthDay };

struct LocaleFormat {
  char decimalSeparator = '.';
  char dateSeparator = '/';
  DateOrder dateOrder = DateOrder::kMonthDayYear;
  char timeSeparator = ':';
};

// Each parser raises velmora::EConvertError with the text quoted as given:
//   "'<text>' is not a valid floating point value"
//   "'<text>' is not a valid integer value"
//   "'<text>' is not a valid date and time"
double TextToFloat(const std::string &text, const LocaleFormat &format);
int32_t TextToInt(const std::string &text);
double TextToDateTime(const std::string &text, const LocaleFormat &format);

// The value rounded to 15 significant digits with trailing zeros dropped, in
// fixed notation from 1E-5 up to below 1E15 and in scientific notation
// otherwise: "12.5", "-0.001", "1E20", "1.5E-7"; TextToFloat with the same
// format reads it back.  Never raises: NaN gives "NAN", infinities "INF" and
// "-INF".
std::string FloatToText(double value, const LocaleFormat &format);
// The date in the format's order and separator with a four-digit year, then,
// when the time of day is not midnight, a blank and H:mm:ss (with <sep>zzz
// when there are milliseconds), e.g. "3/15/2024 13:05:09".  Reads back with
// TextToDateTime.  Raises EConvertError "'<value>' is not a valid date and
// time" for NaN, infinities and values outside the years 1 to 9999.
std::string DateTimeToText(double value, const LocaleFormat &format);

// The format described by C library locale strings: the decimal point of
// localeconv() and the date and time patterns of nl_langinfo(D_FMT) and
// nl_langinfo(T_FMT) ("%d.%m.%Y", "%m/%d/%y", "%F", "%H:%M:%S", ...).  Parts
// that cannot be recognised keep the defaults of LocaleFormat ('.',
// month/day/year with '/', ':').  Any argument may be null.
LocaleFormat FormatFromPatterns(const char *decimalPoint, const char *dateFormat, const char *timeFormat);

// Calendar helpers shared by both platforms.
// Days since 30 December 1899 of a proleptic Gregorian date; false if the
// date does not exist or the year is outside 1..9999.
bool EncodeDate(int year, int month, int day, int32_t *days);
// Inverse of EncodeDate for days within the years 1..9999; false otherwise.
bool DecodeDate(int32_t days, int *year, int *month, int *day);
// Date-time value from days and a time of day (0 <= milliseconds < 86400000).
double ComposeDateTime(int32_t days, int32_t milliseconds);

}  // namespace velmora::platform::convert
