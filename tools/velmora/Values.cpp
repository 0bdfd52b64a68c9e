#include "Values.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <velmora/velmora.hpp>

#include "VRcomm/Real48.h"

namespace vtool {

namespace {
// Characters of a UTF-8 text (bytes that do not continue a character).
size_t DisplayChars(const std::string &text) {
  size_t n = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}
}  // namespace

namespace {

std::string Trim(const std::string &text) {
  size_t a = 0, b = text.size();
  while (a < b && (text[a] == ' ' || text[a] == '\t')) ++a;
  while (b > a && (text[b - 1] == ' ' || text[b - 1] == '\t')) --b;
  return text.substr(a, b - a);
}

std::string Upper(std::string text) {
  for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Days since 30 December 1899 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 25569;  // 25569: days from 1899-12-30 to 1970-01-01
}

void CivilFromDays(int64_t days, int *year, int *month, int *day) {
  int64_t z = days - 25569 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int>(yoe + era * 400 + (*month <= 2));
}

bool LeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && LeapYear(y) ? 29 : kDays[m - 1];
}

// Reads exactly `digits` decimal digits (or 1..digits when minDigits is smaller).
bool ReadNumber(const std::string &text, size_t *pos, size_t minDigits, size_t maxDigits, int *out) {
  size_t start = *pos, n = 0;
  int value = 0;
  while (*pos < text.size() && n < maxDigits && std::isdigit(static_cast<unsigned char>(text[*pos]))) {
    value = value * 10 + (text[*pos] - '0');
    ++*pos;
    ++n;
  }
  if (n < minDigits) {
    *pos = start;
    return false;
  }
  *out = value;
  return true;
}

const char *kDaysMessage = "' is not a valid date and time";

}  // namespace

char TypeLetter(const std::string &text) {
  static const struct {
    char letter;
    const char *name;
  } kTypes[] = {{'B', "BOOLEAN"}, {'C', "CURRENCY"}, {'D', "DATETIME"}, {'F', "FLOAT"},
                {'I', "INTEGER"}, {'R', "REAL"},     {'S', "STRING"}};
  std::string upper = Upper(text);
  for (const auto &t : kTypes)
    if (upper == std::string(1, t.letter) || upper == t.name) return t.letter;
  if (upper == "DATE") return 'D';
  return 0;
}

std::string TypeName(char letter) {
  switch (letter) {
    case 'B': return "Boolean";
    case 'C': return "Currency";
    case 'D': return "DateTime";
    case 'F': return "Float";
    case 'I': return "Integer";
    case 'R': return "Real";
    case 'S': return "String";
    default: return "Unknown";
  }
}

int32_t TypeSize(char letter) {
  switch (letter) {
    case 'B': return 2;
    case 'C':
    case 'D':
    case 'F': return 8;
    case 'I': return 4;
    case 'R': return 6;
    default: return -1;
  }
}

bool IsNumericType(char letter) { return letter == 'C' || letter == 'F' || letter == 'I' || letter == 'R'; }

int32_t ParseInteger(const std::string &text) {
  std::string t = Trim(text);
  const char *begin = t.data(), *end = t.data() + t.size();
  if (begin != end && *begin == '+') ++begin;
  int32_t value = 0;
  auto [ptr, ec] = std::from_chars(begin, end, value);
  if (t.empty() || begin == end || ec != std::errc() || ptr != end)
    throw ValueError("'" + text + "' is not a valid integer value");
  return value;
}

double ParseFloat(const std::string &text) {
  std::string t = Trim(text);
  const char *begin = t.data(), *end = t.data() + t.size();
  if (begin != end && *begin == '+' && end - begin > 1 && begin[1] != '-') ++begin;
  // Only digits, one point, an exponent and signs: no "inf", "nan" or hexadecimal.
  bool digits = false;
  for (const char *p = begin; p != end; ++p) {
    if (std::isdigit(static_cast<unsigned char>(*p)))
      digits = true;
    else if (*p != '.' && *p != '-' && *p != '+' && *p != 'e' && *p != 'E')
      throw ValueError("'" + text + "' is not a valid floating point value");
  }
  double value = 0;
  auto [ptr, ec] = std::from_chars(begin, end, value, std::chars_format::general);
  if (!digits || ec != std::errc() || ptr != end || !std::isfinite(value))
    throw ValueError("'" + text + "' is not a valid floating point value");
  return value;
}

bool ParseBoolean(const std::string &text) {
  const std::string upper = Upper(Trim(text));
  for (const char *yes : {"TRUE", "T", "YES", "Y", "1", "ON"})
    if (upper == yes) return true;
  for (const char *no : {"FALSE", "F", "NO", "N", "0", "OFF"})
    if (upper == no) return false;
  throw ValueError(text + " is not valid data for a boolean field (true/false, yes/no, 1/0, on/off, t/f, y/n).");
}

std::string LongerThanField(const Field &field, const std::string &text) {
  const size_t chars = DisplayChars(text);
  std::string message = "'" + text + "' is " + std::to_string(text.size()) + " bytes long, longer than the " +
                        std::to_string(field.maxChars()) + " bytes of field " + field.name;
  if (chars != text.size())
    message += " (its " + std::to_string(chars) + " characters take more than one byte each in UTF-8)";
  return message;
}

double ParseDateTime(const std::string &text) {
  std::string t = Trim(text);
  size_t pos = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millis = 0;
  auto fail = [&]() { return ValueError("'" + text + kDaysMessage); };
  if (!ReadNumber(t, &pos, 4, 4, &year) || pos >= t.size() || t[pos++] != '-' || !ReadNumber(t, &pos, 2, 2, &month) ||
      pos >= t.size() || t[pos++] != '-' || !ReadNumber(t, &pos, 2, 2, &day))
    throw fail();
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) throw fail();
  if (pos < t.size()) {
    char sep = t[pos++];
    if (sep != ' ' && sep != 'T') throw fail();
    while (pos < t.size() && t[pos] == ' ') ++pos;
    if (!ReadNumber(t, &pos, 2, 2, &hour) || pos >= t.size() || t[pos++] != ':' || !ReadNumber(t, &pos, 2, 2, &minute))
      throw fail();
    if (pos < t.size()) {
      if (t[pos++] != ':' || !ReadNumber(t, &pos, 2, 2, &second)) throw fail();
      if (pos < t.size()) {
        size_t start = ++pos;
        if (t[start - 1] != '.' || !ReadNumber(t, &pos, 1, 3, &millis)) throw fail();
        for (size_t n = pos - start; n < 3; ++n) millis *= 10;
      }
    }
    if (pos != t.size() || hour > 23 || minute > 59 || second > 59) throw fail();
  }
  const double days = static_cast<double>(DaysFromCivil(year, month, day));
  const double fraction = ((hour * 60.0 + minute) * 60.0 + second + millis / 1000.0) / 86400.0;
  // Before the epoch the fraction still counts forward through the day.
  return days >= 0 ? days + fraction : days - fraction;
}

std::string FormatFloat(double value) {
  char text[64];
  auto [ptr, ec] = std::to_chars(text, text + sizeof text, value);
  if (ec != std::errc()) return "?";
  return std::string(text, ptr);
}

bool EncodeReal48(double value, uint8_t *bytes) {
  try {
    velmora::DoubleToReal48(value, bytes);
    return true;
  } catch (const velmora::EMathError &) {
    return false;
  }
}

double DecodeReal48(const uint8_t *bytes) { return static_cast<double>(velmora::Real48ToLongDouble(bytes)); }

std::string FormatReal48(const uint8_t *bytes) {
  const double value = DecodeReal48(bytes);
  for (int precision = 1; precision <= 17; ++precision) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", precision, value);
    uint8_t back[6];
    if (EncodeReal48(std::strtod(text, nullptr), back) && std::memcmp(back, bytes, 6) == 0)
      return FormatFloat(std::strtod(text, nullptr));
  }
  return FormatFloat(value);
}

std::string FormatDateTime(double value) {
  if (!std::isfinite(value) || std::fabs(value) > 3e6) return "(bad date " + FormatFloat(value) + ")";
  double whole = std::trunc(value);
  int64_t days = static_cast<int64_t>(whole);
  int64_t millis = std::llround(std::fabs(value - whole) * 86400000.0);
  if (millis >= 86400000) {
    millis -= 86400000;
    days += value >= 0 ? 1 : -1;
  }
  int year, month, day;
  CivilFromDays(days, &year, &month, &day);
  if (year < 1 || year > 9999) return "(bad date " + FormatFloat(value) + ")";
  char text[64];
  int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  if (millis != 0) {
    const int h = static_cast<int>(millis / 3600000), m = static_cast<int>(millis / 60000 % 60),
              s = static_cast<int>(millis / 1000 % 60), ms = static_cast<int>(millis % 1000);
    n += std::snprintf(text + n, sizeof text - n, " %02d:%02d:%02d", h, m, s);
    if (ms != 0) std::snprintf(text + n, sizeof text - n, ".%03d", ms);
  }
  return text;
}

bool IsNull(const uint8_t *record, int32_t fieldNo) { return record[fieldNo] != 1; }

void StoreValue(const Field &field, int32_t fieldNo, const std::string &text, uint8_t *record) {
  uint8_t *at = record + field.offset;
  if (text.empty()) {
    record[fieldNo] = 0;
    return;
  }
  switch (field.type) {
    case 'B':
      at[0] = ParseBoolean(text) ? 1 : 0;
      at[1] = 0;
      break;
    case 'C': {
      std::string t = text;
      size_t dollar = t.find('$');
      if (dollar != std::string::npos) t.erase(dollar, 1);
      double v = 0;
      try {
        v = ParseFloat(t);
      } catch (const ValueError &) {
        throw ValueError("'" + text + "' is not a valid floating point value");
      }
      std::memcpy(at, &v, 8);
      break;
    }
    case 'F': {
      double v = ParseFloat(text);
      std::memcpy(at, &v, 8);
      break;
    }
    case 'D': {
      double v = ParseDateTime(text);
      std::memcpy(at, &v, 8);
      break;
    }
    case 'I': {
      int32_t v = ParseInteger(text);
      std::memcpy(at, &v, 4);
      break;
    }
    case 'R': {
      uint8_t bytes[6];
      if (!EncodeReal48(ParseFloat(text), bytes))
        throw ValueError("'" + text + "' is beyond the range of a Real field");
      std::memcpy(at, bytes, 6);
      break;
    }
    case 'S':
      if (text.size() > static_cast<size_t>(field.maxChars())) throw ValueError(LongerThanField(field, text));
      if (text.find('\0') != std::string::npos)
        throw ValueError("a NUL character cannot be stored in field " + field.name);
      std::memset(at, 0, field.size);
      std::memcpy(at, text.data(), text.size());
      break;
    default:
      throw ValueError("field " + field.name + " has the unknown type letter '" + std::string(1, field.type) + "'");
  }
  record[fieldNo] = 1;
}

std::string FormatValue(const Field &field, int32_t fieldNo, const uint8_t *record) {
  if (IsNull(record, fieldNo)) return "";
  const uint8_t *at = record + field.offset;
  switch (field.type) {
    case 'B': return at[0] ? "true" : "false";
    case 'C':
    case 'F': {
      double v;
      std::memcpy(&v, at, 8);
      return FormatFloat(v);
    }
    case 'D': {
      double v;
      std::memcpy(&v, at, 8);
      return FormatDateTime(v);
    }
    case 'I': {
      int32_t v;
      std::memcpy(&v, at, 4);
      return std::to_string(v);
    }
    case 'R': return FormatReal48(at);
    case 'S': {
      size_t n = field.size > 0 ? strnlen(reinterpret_cast<const char *>(at), field.size - 1) : 0;
      return std::string(reinterpret_cast<const char *>(at), n);
    }
    default: return "?";
  }
}

std::string EngineKeyText(const Field &field, const std::string &text) {
  if (text.empty()) return text;
  switch (field.type) {
    case 'B': return ParseBoolean(text) ? "TRUE" : "FALSE";
    case 'C': {
      std::string t = text;
      size_t dollar = t.find('$');
      if (dollar != std::string::npos) t.erase(dollar, 1);
      try {
        return FormatFloat(ParseFloat(t));
      } catch (const ValueError &) {
        throw ValueError("'" + text + "' is not a valid floating point value");
      }
    }
    case 'F':
    case 'R': return FormatFloat(ParseFloat(text));
    case 'I': return std::to_string(ParseInteger(text));
    case 'D': {
      // Month/day/year with a four-digit year, then the time with milliseconds.
      double value = ParseDateTime(text);
      double whole = std::trunc(value);
      int64_t millis = std::llround(std::fabs(value - whole) * 86400000.0);
      int year, month, day;
      CivilFromDays(static_cast<int64_t>(whole), &year, &month, &day);
      char out[64];
      std::snprintf(out, sizeof out, "%d/%d/%04d %d:%02d:%02d.%03d", month, day, year,
                    static_cast<int>(millis / 3600000), static_cast<int>(millis / 60000 % 60),
                    static_cast<int>(millis / 1000 % 60), static_cast<int>(millis % 1000));
      return out;
    }
    case 'S':
      if (text.size() > static_cast<size_t>(field.maxChars())) throw ValueError(LongerThanField(field, text));
      return text;
    default:
      throw ValueError("field " + field.name + " has the unknown type letter '" + std::string(1, field.type) + "'");
  }
}

}  // namespace vtool
