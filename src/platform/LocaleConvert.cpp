#include "platform/LocaleConvert.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <system_error>

#include <velmora/velmora.hpp>

namespace velmora::platform::convert {
namespace {

constexpr int64_t kMillisecondsPerDay = 86400000;
// 1 January 0001 and 31 December 9999 in days since 30 December 1899.
constexpr int32_t kFirstDay = -693593;
constexpr int32_t kLastDay = 2958465;

[[noreturn]] void Fail(const std::string &text, const char *what) {
  throw EConvertError("'" + text + "' is not a valid " + what);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A cursor over the text being parsed.
struct Scanner {
  const std::string &text;
  size_t pos = 0;

  bool AtEnd() const { return pos >= text.size(); }
  char Peek() const { return AtEnd() ? '\0' : text[pos]; }
  bool Take(char c) {
    if (AtEnd() || text[pos] != c) return false;
    ++pos;
    return true;
  }
  size_t SkipBlanks() {
    size_t start = pos;
    while (!AtEnd() && IsBlank(text[pos])) ++pos;
    return pos - start;
  }
  // Reads 1..maxDigits decimal digits into *value; false if there are none
  // or more than maxDigits.
  bool Number(int maxDigits, int *value, int *digits = nullptr) {
    int n = 0;
    int v = 0;
    while (!AtEnd() && IsDigit(text[pos])) {
      if (++n > maxDigits) return false;
      v = v * 10 + (text[pos] - '0');
      ++pos;
    }
    if (n == 0) return false;
    *value = v;
    if (digits != nullptr) *digits = n;
    return true;
  }
};

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1 January 0001 (day 0) to the given date.
int64_t OrdinalDay(int year, int month, int day) {
  int64_t y = year - 1;
  int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  return days + day - 1;
}

// 30 December 1899 counted from 1 January 0001.
const int64_t kEpochOrdinal = OrdinalDay(1899, 12, 30);

bool ParseDate(Scanner &s, const LocaleFormat &format, int32_t *days) {
  int first = 0, second = 0, third = 0;
  int firstDigits = 0, thirdDigits = 0;
  const bool yearFirst = format.dateOrder == DateOrder::kYearMonthDay;
  if (!s.Number(yearFirst ? 4 : 2, &first, &firstDigits)) return false;
  if (!s.Take(format.dateSeparator)) return false;
  if (!s.Number(2, &second)) return false;
  if (!s.Take(format.dateSeparator)) return false;
  if (!s.Number(yearFirst ? 2 : 4, &third, &thirdDigits)) return false;

  int year, month, day, yearDigits;
  switch (format.dateOrder) {
    case DateOrder::kDayMonthYear: day = first, month = second, year = third, yearDigits = thirdDigits; break;
    case DateOrder::kYearMonthDay: year = first, month = second, day = third, yearDigits = firstDigits; break;
    case DateOrder::kMonthDayYear:
    default: month = first, day = second, year = third, yearDigits = thirdDigits; break;
  }
  // A short year stands for one within 1950..2049.
  if (yearDigits <= 2) year += year < 50 ? 2000 : 1900;
  return EncodeDate(year, month, day, days);
}

bool MatchWordIgnoringCase(Scanner &s, const char *word) {
  size_t p = s.pos;
  for (const char *w = word; *w != '\0'; ++w, ++p) {
    if (p >= s.text.size()) return false;
    char c = s.text[p];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != *w) return false;
  }
  s.pos = p;
  return true;
}

bool ParseTime(Scanner &s, const LocaleFormat &format, int32_t *milliseconds) {
  int hour = 0, minute = 0, second = 0, millis = 0;
  if (!s.Number(2, &hour)) return false;
  if (!s.Take(format.timeSeparator)) return false;
  if (!s.Number(2, &minute)) return false;
  if (s.Take(format.timeSeparator)) {
    if (!s.Number(2, &second)) return false;
    if (s.Take(format.decimalSeparator) || s.Take('.')) {
      int digits = 0;
      if (!s.Number(3, &millis, &digits)) return false;
      for (; digits < 3; ++digits) millis *= 10;
    }
  }
  // An optional AM/PM marker after blanks.
  size_t beforeMarker = s.pos;
  s.SkipBlanks();
  if (MatchWordIgnoringCase(s, "AM") || MatchWordIgnoringCase(s, "PM")) {
    const bool pm = s.text[s.pos - 2] == 'P' || s.text[s.pos - 2] == 'p';
    if (hour < 1 || hour > 12) return false;
    hour = hour % 12 + (pm ? 12 : 0);
  } else {
    s.pos = beforeMarker;
  }
  if (hour > 23 || minute > 59 || second > 59) return false;
  *milliseconds = ((hour * 60 + minute) * 60 + second) * 1000 + millis;
  return true;
}

// Splits a finite double into its 15 significant decimal digits (trailing
// zeros removed) and the decimal exponent of the first digit.
void SignificantDigits(double magnitude, std::string *digits, int *exponent) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific, 14);
  std::string text(buffer, result.ptr);
  size_t e = text.find('e');
  digits->clear();
  for (size_t i = 0; i < e; ++i)
    if (IsDigit(text[i])) digits->push_back(text[i]);
  while (digits->size() > 1 && digits->back() == '0') digits->pop_back();
  *exponent = std::stoi(text.substr(e + 1));
}

std::string Pad2(int v) { return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10); }

}  // namespace

LocaleFormat FormatFromPatterns(const char *decimalPoint, const char *dateFormat, const char *timeFormat) {
  LocaleFormat format;
  if (decimalPoint != nullptr && decimalPoint[0] != '\0' && decimalPoint[1] == '\0')
    format.decimalSeparator = decimalPoint[0];

  // The order in which day, month and year appear, and the first character
  // that separates two of them.
  std::string order;
  char separator = '\0';
  for (const char *p = dateFormat; p != nullptr && *p != '\0'; ++p) {
    if (*p != '%') {
      if (separator == '\0' && !order.empty() && *p != ' ') separator = *p;
      continue;
    }
    ++p;
    while (*p == 'E' || *p == 'O' || *p == '-' || *p == '_' || *p == '0' || *p == '^' || *p == '#') ++p;
    switch (*p) {
      case 'd':
      case 'e': order += 'd'; break;
      case 'm': order += 'm'; break;
      case 'y':
      case 'Y': order += 'y'; break;
      case 'D':
        order += "mdy";
        if (separator == '\0') separator = '/';
        break;
      case 'F':
        order += "ymd";
        if (separator == '\0') separator = '-';
        break;
      case '\0': --p; break;
      default: order += '?'; break;  // names, weekdays: not a numeric short date
    }
  }
  // Only a printable ASCII mark can stand between the numbers of a date.
  const bool usable = separator > ' ' && separator < 127 && !IsDigit(separator) &&
                      !((separator | 0x20) >= 'a' && (separator | 0x20) <= 'z');
  if (usable) {
    if (order == "dmy") {
      format.dateOrder = DateOrder::kDayMonthYear;
      format.dateSeparator = separator;
    } else if (order == "ymd") {
      format.dateOrder = DateOrder::kYearMonthDay;
      format.dateSeparator = separator;
    } else if (order == "mdy") {
      format.dateOrder = DateOrder::kMonthDayYear;
      format.dateSeparator = separator;
    }
  }

  // The time separator: the first literal character after the hour.
  for (const char *p = timeFormat; p != nullptr && *p != '\0'; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '\0') break;
    if (*p == 'T' || *p == 'R') break;  // "%T" and "%R" use ':'
    if ((*p == 'H' || *p == 'I' || *p == 'k' || *p == 'l') && p[1] != '\0' && p[1] != '%' && p[1] != ' ' &&
        !IsDigit(p[1])) {
      format.timeSeparator = p[1];
      break;
    }
  }
  return format;
}

bool EncodeDate(int year, int month, int day, int32_t *days) {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return false;
  if (day < 1 || day > DaysInMonth(year, month)) return false;
  *days = static_cast<int32_t>(OrdinalDay(year, month, day) - kEpochOrdinal);
  return true;
}

bool DecodeDate(int32_t days, int *year, int *month, int *day) {
  if (days < kFirstDay || days > kLastDay) return false;
  int64_t ordinal = static_cast<int64_t>(days) + kEpochOrdinal;  // 0 = 1 January 0001
  // Whole 400-, 100-, 4- and 1-year cycles.
  int64_t n400 = ordinal / 146097, rest = ordinal % 146097;
  int64_t n100 = rest / 36524;
  if (n100 == 4) n100 = 3;  // the last day of a 400-year cycle
  rest -= n100 * 36524;
  int64_t n4 = rest / 1461;
  rest -= n4 * 1461;
  int64_t n1 = rest / 365;
  if (n1 == 4) n1 = 3;  // the last day of a leap year
  rest -= n1 * 365;
  int y = static_cast<int>(n400 * 400 + n100 * 100 + n4 * 4 + n1 + 1);
  int m = 1;
  while (rest >= DaysInMonth(y, m)) rest -= DaysInMonth(y, m++);
  *year = y;
  *month = m;
  *day = static_cast<int>(rest) + 1;
  return true;
}

double ComposeDateTime(int32_t days, int32_t milliseconds) {
  double fraction = static_cast<double>(milliseconds) / static_cast<double>(kMillisecondsPerDay);
  // Before the epoch the fraction still counts forward through the day, so
  // it is subtracted from the negative day number.
  return days >= 0 ? days + fraction : days - fraction;
}

double TextToFloat(const std::string &text, const LocaleFormat &format) {
  Scanner s{text};
  s.SkipBlanks();
  bool negative = false;
  if (s.Take('-'))
    negative = true;
  else
    s.Take('+');
  // Collect the digits and the exponent in a form the C++ library reads
  // without regard to any locale.
  std::string normal;
  size_t intDigits = 0, fracDigits = 0;
  int leadingPosition = 0;  // decimal exponent estimate of the first non-zero digit
  bool seenNonZero = false;
  while (IsDigit(s.Peek())) {
    char c = text[s.pos++];
    normal.push_back(c);
    ++intDigits;
    if (c != '0') seenNonZero = true;
    if (seenNonZero) ++leadingPosition;
  }
  if (s.Take(format.decimalSeparator)) {
    normal.push_back('.');
    while (IsDigit(s.Peek())) {
      char c = text[s.pos++];
      normal.push_back(c);
      ++fracDigits;
      if (!seenNonZero) {
        if (c != '0')
          seenNonZero = true;
        else
          --leadingPosition;
      }
    }
  }
  if (intDigits + fracDigits == 0) Fail(text, "floating point value");
  long exponent = 0;
  if (s.Peek() == 'e' || s.Peek() == 'E') {
    ++s.pos;
    bool expNegative = false;
    if (s.Take('-'))
      expNegative = true;
    else
      s.Take('+');
    if (!IsDigit(s.Peek())) Fail(text, "floating point value");
    while (IsDigit(s.Peek())) {
      if (exponent < 100000) exponent = exponent * 10 + (text[s.pos] - '0');
      ++s.pos;
    }
    if (expNegative) exponent = -exponent;
    normal += "e" + std::to_string(exponent);
  }
  s.SkipBlanks();
  if (!s.AtEnd()) Fail(text, "floating point value");
  if (!seenNonZero) return negative ? -0.0 : 0.0;

  double value = 0;
  auto result = std::from_chars(normal.data(), normal.data() + normal.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    // Too small to represent is zero; too large does not convert.
    if (leadingPosition + exponent <= 0) return negative ? -0.0 : 0.0;
    Fail(text, "floating point value");
  }
  if (result.ec != std::errc() || result.ptr != normal.data() + normal.size() || !std::isfinite(value))
    Fail(text, "floating point value");
  return negative ? -value : value;
}

int32_t TextToInt(const std::string &text) {
  Scanner s{text};
  s.SkipBlanks();
  bool negative = false;
  if (s.Take('-'))
    negative = true;
  else
    s.Take('+');
  if (!IsDigit(s.Peek())) Fail(text, "integer value");
  int64_t value = 0;
  while (IsDigit(s.Peek())) {
    value = value * 10 + (text[s.pos++] - '0');
    if (value > 2147483648LL) Fail(text, "integer value");
  }
  s.SkipBlanks();
  if (!s.AtEnd()) Fail(text, "integer value");
  if (negative) value = -value;
  if (value > INT32_MAX) Fail(text, "integer value");
  return static_cast<int32_t>(value);
}

double TextToDateTime(const std::string &text, const LocaleFormat &format) {
  Scanner s{text};
  s.SkipBlanks();
  int32_t days = 0;
  if (!ParseDate(s, format, &days)) Fail(text, "date and time");
  int32_t milliseconds = 0;
  size_t blanks = s.SkipBlanks();
  if (!s.AtEnd()) {
    if (blanks == 0 || !ParseTime(s, format, &milliseconds)) Fail(text, "date and time");
    s.SkipBlanks();
    if (!s.AtEnd()) Fail(text, "date and time");
  }
  return ComposeDateTime(days, milliseconds);
}

std::string FloatToText(double value, const LocaleFormat &format) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";
  std::string digits;
  int exponent = 0;
  SignificantDigits(std::fabs(value), &digits, &exponent);
  std::string out = value < 0 ? "-" : "";
  const int count = static_cast<int>(digits.size());
  if (exponent >= 15 || exponent < -5) {
    // Scientific: d[.ddd]E[-]x
    out += digits[0];
    if (count > 1) {
      out += format.decimalSeparator;
      out.append(digits, 1, std::string::npos);
    }
    out += "E" + std::to_string(exponent);
  } else if (exponent < 0) {
    out += "0";
    out += format.decimalSeparator;
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out += digits;
  } else {
    if (count <= exponent + 1) {
      out += digits;
      out.append(static_cast<size_t>(exponent + 1 - count), '0');
    } else {
      out.append(digits, 0, static_cast<size_t>(exponent + 1));
      out += format.decimalSeparator;
      out.append(digits, static_cast<size_t>(exponent + 1), std::string::npos);
    }
  }
  return out;
}

std::string DateTimeToText(double value, const LocaleFormat &format) {
  auto fail = [&]() { Fail(std::isnan(value) ? std::string("NAN") : FloatToText(value, format), "date and time"); };
  if (!std::isfinite(value) || value <= kFirstDay - 1.0 || value >= kLastDay + 1.0) fail();
  double whole = std::trunc(value);
  int32_t days = static_cast<int32_t>(whole);
  int64_t millis = std::llround(std::fabs(value - whole) * static_cast<double>(kMillisecondsPerDay));
  if (millis >= kMillisecondsPerDay) {
    // Rounded up to midnight: the next day begins.
    millis = 0;
    ++days;
  }
  int year, month, day;
  if (!DecodeDate(days, &year, &month, &day)) fail();

  std::string y = std::to_string(year);
  y.insert(0, 4 - y.size(), '0');
  const std::string sep(1, format.dateSeparator);
  std::string out;
  switch (format.dateOrder) {
    case DateOrder::kDayMonthYear: out = std::to_string(day) + sep + std::to_string(month) + sep + y; break;
    case DateOrder::kYearMonthDay: out = y + sep + Pad2(month) + sep + Pad2(day); break;
    case DateOrder::kMonthDayYear:
    default: out = std::to_string(month) + sep + std::to_string(day) + sep + y; break;
  }
  if (millis != 0) {
    int64_t seconds = millis / 1000;
    out += ' ' + std::to_string(seconds / 3600) + format.timeSeparator + Pad2(static_cast<int>(seconds / 60 % 60)) +
           format.timeSeparator + Pad2(static_cast<int>(seconds % 60));
    if (millis % 1000 != 0) {
      std::string ms = std::to_string(millis % 1000);
      ms.insert(0, 3 - ms.size(), '0');
      out += format.decimalSeparator + ms;
    }
  }
  return out;
}

}  // namespace velmora::platform::convert
