#include "DateText.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace vsql {
namespace {

constexpr int64_t kMsPerDay = 86400000;
// Days from 1 March of year 0 (proleptic Gregorian) to 30 December 1899.
constexpr int64_t kEpochShift = 693899;

// Days since 30 December 1899 of a civil date.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - kEpochShift;
}

void CivilFromDays(int64_t days, int64_t *y, int64_t *m, int64_t *d) {
  int64_t z = days + kEpochShift;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp + (mp < 10 ? 3 : -9);
  *y = yoe + era * 400 + (*m <= 2 ? 1 : 0);
}

bool ValidDate(int64_t y, int64_t m, int64_t d) {
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

// The stored value of a day and a time of day.
double Compose(int64_t days, int64_t ms) {
  double fraction = static_cast<double>(ms) / kMsPerDay;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

bool Digits(const std::string &text, size_t at, size_t count, int64_t *value) {
  if (at + count > text.size()) return false;
  int64_t v = 0;
  for (size_t k = at; k < at + count; ++k) {
    if (text[k] < '0' || text[k] > '9') return false;
    v = v * 10 + (text[k] - '0');
  }
  *value = v;
  return true;
}

}  // namespace

std::optional<std::string> DateTimeToIso(double stored) {
  if (!std::isfinite(stored) || std::fabs(stored) > 4.0e6) return std::nullopt;
  double whole = std::trunc(stored);
  int64_t days = static_cast<int64_t>(whole);
  int64_t ms = std::llround(std::fabs(stored - whole) * kMsPerDay);
  if (ms >= kMsPerDay) {
    days += 1;
    ms = 0;
  }
  int64_t y, m, d;
  CivilFromDays(days, &y, &m, &d);
  if (!ValidDate(y, m, d)) return std::nullopt;
  char text[40];
  if (ms == 0) {
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", static_cast<int>(y), static_cast<int>(m), static_cast<int>(d));
  } else {
    int64_t s = ms / 1000;
    int len = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", static_cast<int>(y),
                            static_cast<int>(m), static_cast<int>(d), static_cast<int>(s / 3600),
                            static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
    if (ms % 1000 != 0)
      std::snprintf(text + len, sizeof text - static_cast<size_t>(len), ".%03d", static_cast<int>(ms % 1000));
  }
  return std::string(text);
}

std::optional<double> IsoToDateTime(const std::string &text) {
  int64_t y, m, d;
  if (text.size() < 10 || !Digits(text, 0, 4, &y) || text[4] != '-' || !Digits(text, 5, 2, &m) || text[7] != '-' ||
      !Digits(text, 8, 2, &d) || !ValidDate(y, m, d))
    return std::nullopt;
  int64_t ms = 0;
  if (text.size() > 10) {
    int64_t hh, mi, ss = 0;
    if ((text[10] != ' ' && text[10] != 'T') || !Digits(text, 11, 2, &hh) || text.size() < 16 || text[13] != ':' ||
        !Digits(text, 14, 2, &mi) || hh > 23 || mi > 59)
      return std::nullopt;
    size_t at = 16;
    double fraction = 0;
    if (at < text.size()) {
      if (text[at] != ':' || !Digits(text, at + 1, 2, &ss) || ss > 59) return std::nullopt;
      at += 3;
      if (at < text.size()) {
        if (text[at] != '.' || at + 1 >= text.size()) return std::nullopt;
        double scale = 0.1;
        for (size_t k = at + 1; k < text.size(); ++k) {
          if (text[k] < '0' || text[k] > '9') return std::nullopt;
          fraction += (text[k] - '0') * scale;
          scale /= 10;
        }
      }
    }
    ms = ((hh * 60 + mi) * 60 + ss) * 1000 + std::llround(fraction * 1000);
  }
  int64_t days = DaysFromCivil(y, m, d);
  if (ms >= kMsPerDay) {
    days += 1;
    ms -= kMsPerDay;
  }
  return Compose(days, ms);
}

std::optional<double> JulianDayToDateTime(double julianDay) {
  if (!std::isfinite(julianDay)) return std::nullopt;
  double linear = julianDay - 2415018.5;  // days since 30 December 1899, 00:00
  if (std::fabs(linear) > 3.0e6) return std::nullopt;
  double day = std::floor(linear);
  int64_t ms = std::llround((linear - day) * kMsPerDay);
  int64_t days = static_cast<int64_t>(day);
  if (ms >= kMsPerDay) {
    days += 1;
    ms -= kMsPerDay;
  }
  double stored = Compose(days, ms);
  if (!DateTimeToIso(stored)) return std::nullopt;
  return stored;
}

bool IsCanonicalIso(const std::string &text) {
  std::optional<double> value = IsoToDateTime(text);
  if (!value) return false;
  std::optional<std::string> again = DateTimeToIso(*value);
  return again && *again == text;
}

}  // namespace vsql
