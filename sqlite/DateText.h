// Date-time fields as ISO 8601 texts.  A stored date-time counts days since
// 30 December 1899 in its integral part and the time of day in its fraction;
// before that day the integral part is negative and the fraction still means
// the time of day (-1.25 is 29 December 1899, 06:00).
#pragma once

#include <optional>
#include <string>

namespace vsql {

// "YYYY-MM-DD" at midnight, else "YYYY-MM-DD HH:MM:SS", with ".mmm" when the
// milliseconds are not zero; the value is rounded to the millisecond.  The
// texts sort in the order of the moments they name.  Nothing for values
// outside the years 1 to 9999 (and for NaN and infinities).
std::optional<std::string> DateTimeToIso(double stored);
// Reads "YYYY-MM-DD", optionally followed by a blank or "T" and
// "HH:MM[:SS[.fraction]]" (the fraction rounded to milliseconds).
std::optional<double> IsoToDateTime(const std::string &text);
// The stored value of a Julian day number (the form SQLite's julianday() gives).
std::optional<double> JulianDayToDateTime(double julianDay);
// True when the text is exactly what DateTimeToIso writes for its moment.
bool IsCanonicalIso(const std::string &text);

}  // namespace vsql
