#include "FieldValues.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "DateText.h"
#include "Real48.h"

SQLITE_EXTENSION_INIT3

namespace vsql {
namespace {

// Stored double keys beyond this magnitude are never used to position a
// search: the engine's comparison of far-apart values overflows.
constexpr double kLargestKey = 1.0e36;

std::string StringField(const FieldDef &field, const uint8_t *record) {
  const char *p = reinterpret_cast<const char *>(record + field.offset);
  size_t limit = static_cast<size_t>(field.size - 1);
  return std::string(p, strnlen(p, limit));
}

// A value copy with numeric affinity applied, as the column's type makes SQLite do.
int NumericKind(sqlite3_value *value, int64_t *integer, double *real) {
  int type = sqlite3_value_type(value);
  if (type == SQLITE_TEXT) {
    sqlite3_value *copy = sqlite3_value_dup(value);
    if (copy == nullptr) return SQLITE_NULL;
    type = sqlite3_value_numeric_type(copy);
    *integer = sqlite3_value_int64(copy);
    *real = sqlite3_value_double(copy);
    sqlite3_value_free(copy);
    return type;
  }
  *integer = sqlite3_value_int64(value);
  *real = sqlite3_value_double(value);
  return type;
}

std::string Quoted(sqlite3_value *value) {
  const unsigned char *text = sqlite3_value_text(value);
  std::string s = text == nullptr ? std::string() : std::string(reinterpret_cast<const char *>(text));
  if (s.size() > 60) s = s.substr(0, 60) + "...";
  return "'" + s + "'";
}

double AsDouble(const SqlValue &v) { return v.kind == SqlValue::kInteger ? static_cast<double>(v.integer) : v.real; }

}  // namespace

int CompareSql(const SqlValue &a, const SqlValue &b) {
  auto rank = [](const SqlValue &v) { return v.kind == SqlValue::kNull ? 0 : v.kind == SqlValue::kText ? 2 : 1; };
  int ra = rank(a), rb = rank(b);
  if (ra != rb) return ra < rb ? -1 : 1;
  if (ra == 0) return 0;
  if (ra == 2) {
    int c = std::memcmp(a.text.data(), b.text.data(), std::min(a.text.size(), b.text.size()));
    if (c != 0) return c < 0 ? -1 : 1;
    return a.text.size() < b.text.size() ? -1 : a.text.size() > b.text.size() ? 1 : 0;
  }
  if (a.kind == SqlValue::kInteger && b.kind == SqlValue::kInteger)
    return a.integer < b.integer ? -1 : a.integer > b.integer ? 1 : 0;
  // An 80-bit long double holds every 64-bit integer and every double exactly.
  long double x = a.kind == SqlValue::kInteger ? static_cast<long double>(a.integer) : a.real;
  long double y = b.kind == SqlValue::kInteger ? static_cast<long double>(b.integer) : b.real;
  return x < y ? -1 : x > y ? 1 : 0;
}

const char *SqlTypeName(char fieldType) {
  switch (fieldType) {
    case 'I':
    case 'B': return "INTEGER";
    case 'F':
    case 'C':
    case 'R': return "REAL";
    default: return "TEXT";
  }
}

bool IsTextField(char fieldType) { return fieldType == 'S' || fieldType == 'D'; }

SqlValue ReadField(const FieldDef &field, int32_t fieldNo, const uint8_t *record) {
  SqlValue v;
  if (record[fieldNo] != 1) return v;
  const uint8_t *p = record + field.offset;
  switch (field.type) {
    case 'I': {
      int32_t i;
      std::memcpy(&i, p, 4);
      v.kind = SqlValue::kInteger;
      v.integer = i;
      break;
    }
    case 'B':
      v.kind = SqlValue::kInteger;
      v.integer = p[0] != 0 ? 1 : 0;
      break;
    case 'F':
    case 'C': {
      double d;
      std::memcpy(&d, p, 8);
      if (std::isnan(d)) break;  // SQL has no NaN: NULL, as SQLite makes it
      v.kind = SqlValue::kReal;
      v.real = d;
      break;
    }
    case 'R':
      v.kind = SqlValue::kReal;
      v.real = Real48AsDecimal(p);
      break;
    case 'D': {
      double d;
      std::memcpy(&d, p, 8);
      if (std::optional<std::string> iso = DateTimeToIso(d)) {
        v.kind = SqlValue::kText;
        v.text = *iso;
      } else if (!std::isnan(d)) {
        // Outside the years 1 to 9999: the stored number itself.
        v.kind = SqlValue::kReal;
        v.real = d;
      }
      break;
    }
    case 'S':
      v.kind = SqlValue::kText;
      v.text = StringField(field, record);
      break;
    default: break;  // not a field type: NULL
  }
  return v;
}

void ResultField(sqlite3_context *context, const FieldDef &field, int32_t fieldNo, const uint8_t *record) {
  if (record[fieldNo] == 1 && field.type == 'S') {
    const char *p = reinterpret_cast<const char *>(record + field.offset);
    sqlite3_result_text(context, p, static_cast<int>(strnlen(p, static_cast<size_t>(field.size - 1))),
                        SQLITE_TRANSIENT);
    return;
  }
  SqlValue v = ReadField(field, fieldNo, record);
  switch (v.kind) {
    case SqlValue::kNull: sqlite3_result_null(context); break;
    case SqlValue::kInteger: sqlite3_result_int64(context, v.integer); break;
    case SqlValue::kReal: sqlite3_result_double(context, v.real); break;
    case SqlValue::kText:
      sqlite3_result_text(context, v.text.data(), static_cast<int>(v.text.size()), SQLITE_TRANSIENT);
      break;
  }
}

std::string StoreField(const FieldDef &field, int32_t fieldNo, sqlite3_value *value, uint8_t *record) {
  uint8_t *p = record + field.offset;
  const int type = sqlite3_value_type(value);
  if (type == SQLITE_NULL) {
    record[fieldNo] = 0;
    std::memset(p, 0, static_cast<size_t>(field.size));
    return {};
  }
  const std::string where = "field " + field.name + ": ";
  if (type == SQLITE_BLOB) return where + "a BLOB cannot be stored in a " + SqlTypeName(field.type) + " field";
  uint8_t bytes[8] = {};
  int64_t integer = 0;
  double real = 0;
  switch (field.type) {
    case 'I': {
      int kind = NumericKind(value, &integer, &real);
      if (kind == SQLITE_FLOAT && std::floor(real) == real && std::fabs(real) < 4.0e9) {
        kind = SQLITE_INTEGER;
        integer = static_cast<int64_t>(real);
      }
      if (kind != SQLITE_INTEGER || integer < std::numeric_limits<int32_t>::min() ||
          integer > std::numeric_limits<int32_t>::max())
        return where + Quoted(value) + " is not a whole number from -2147483648 to 2147483647";
      int32_t i = static_cast<int32_t>(integer);
      std::memcpy(bytes, &i, 4);
      break;
    }
    case 'F':
    case 'C':
    case 'R': {
      int kind = NumericKind(value, &integer, &real);
      if (kind != SQLITE_INTEGER && kind != SQLITE_FLOAT) return where + Quoted(value) + " is not a number";
      if (field.type == 'R') {
        if (!EncodeReal48(real, bytes)) return where + Quoted(value) + " is too large for a Real field";
      } else {
        std::memcpy(bytes, &real, 8);
      }
      break;
    }
    case 'B': {
      int kind = NumericKind(value, &integer, &real);
      if (kind == SQLITE_INTEGER && (integer == 0 || integer == 1)) {
        bytes[0] = static_cast<uint8_t>(integer);
      } else if (kind == SQLITE_FLOAT && (real == 0.0 || real == 1.0)) {
        bytes[0] = real == 1.0 ? 1 : 0;
      } else {
        const char *t = reinterpret_cast<const char *>(sqlite3_value_text(value));
        if (t != nullptr && sqlite3_stricmp(t, "true") == 0) {
          bytes[0] = 1;
        } else if (t != nullptr && sqlite3_stricmp(t, "false") == 0) {
          bytes[0] = 0;
        } else {
          return where + Quoted(value) + " is not a boolean (0, 1, true or false)";
        }
      }
      break;
    }
    case 'D': {
      std::optional<double> stored;
      if (type == SQLITE_TEXT) {
        const char *t = reinterpret_cast<const char *>(sqlite3_value_text(value));
        stored = IsoToDateTime(t == nullptr ? std::string() : std::string(t));
      } else {
        stored = JulianDayToDateTime(sqlite3_value_double(value));
      }
      if (!stored)
        return where + Quoted(value) +
               " is not a date: give YYYY-MM-DD, optionally with HH:MM[:SS[.fff]], or a Julian day number";
      std::memcpy(bytes, &*stored, 8);
      break;
    }
    case 'S': {
      const unsigned char *t = sqlite3_value_text(value);
      int n = sqlite3_value_bytes(value);
      if (t == nullptr) return where + "the text could not be read";
      if (std::memchr(t, 0, static_cast<size_t>(n)) != nullptr) return where + "the text holds a NUL character";
      if (n > field.size - 1)
        return where + Quoted(value) + " is longer than the " + std::to_string(field.size - 1) +
               " characters the field holds";
      record[fieldNo] = 1;
      std::memset(p, 0, static_cast<size_t>(field.size));
      std::memcpy(p, t, static_cast<size_t>(n));
      return {};
    }
    default: return where + "the field's type cannot be written";
  }
  record[fieldNo] = 1;
  std::memset(p, 0, static_cast<size_t>(field.size));
  std::memcpy(p, bytes, static_cast<size_t>(std::min<int32_t>(field.size, 8)));
  return {};
}

bool ConstraintValue(const FieldDef &field, sqlite3_value *value, SqlValue *out) {
  if (IsTextField(field.type)) {
    if (sqlite3_value_type(value) != SQLITE_TEXT) return false;
    const unsigned char *t = sqlite3_value_text(value);
    if (t == nullptr) return false;
    out->kind = SqlValue::kText;
    out->text.assign(reinterpret_cast<const char *>(t), static_cast<size_t>(sqlite3_value_bytes(value)));
    return true;
  }
  int64_t integer = 0;
  double real = 0;
  int kind = NumericKind(value, &integer, &real);
  if (kind == SQLITE_INTEGER) {
    out->kind = SqlValue::kInteger;
    out->integer = integer;
    return true;
  }
  if (kind == SQLITE_FLOAT) {
    out->kind = SqlValue::kReal;
    out->real = real;
    return true;
  }
  return false;
}

bool BoundKeyBytes(const FieldDef &field, const SqlValue &bound, bool upper, uint8_t *bytes) {
  switch (field.type) {
    case 'I': {
      if (bound.kind == SqlValue::kText) return false;
      long double v = bound.kind == SqlValue::kInteger ? static_cast<long double>(bound.integer)
                                                       : static_cast<long double>(bound.real);
      v = upper ? std::ceil(v) : std::floor(v);
      if (v < std::numeric_limits<int32_t>::min()) v = std::numeric_limits<int32_t>::min();
      if (v > std::numeric_limits<int32_t>::max()) v = std::numeric_limits<int32_t>::max();
      int32_t i = static_cast<int32_t>(v);
      std::memcpy(bytes, &i, 4);
      return true;
    }
    case 'B': {
      if (bound.kind == SqlValue::kText) return false;
      double v = AsDouble(bound);
      bytes[0] = upper ? (v >= 1.0 ? 1 : 0) : (v <= 0.0 ? 0 : 1);
      return true;
    }
    case 'F':
    case 'C': {
      if (bound.kind == SqlValue::kText) return false;
      double v = AsDouble(bound);
      if (!(std::fabs(v) <= kLargestKey)) return false;
      std::memcpy(bytes, &v, 8);
      return true;
    }
    case 'R': {
      if (bound.kind == SqlValue::kText) return false;
      double v = AsDouble(bound);
      if (!(std::fabs(v) <= kLargestKey)) return false;
      return EncodeReal48(v, bytes);
    }
    case 'S': {
      if (bound.kind != SqlValue::kText) return false;
      size_t n = strnlen(bound.text.c_str(), std::min(bound.text.size(), static_cast<size_t>(field.size - 1)));
      std::memset(bytes, 0, static_cast<size_t>(field.size));
      std::memcpy(bytes, bound.text.data(), n);
      return true;
    }
    case 'D': {
      // Texts compare as texts; only a text in the module's own form names a
      // moment whose neighbours in text order are its neighbours in time.
      if (bound.kind != SqlValue::kText || !IsCanonicalIso(bound.text)) return false;
      double v = *IsoToDateTime(bound.text);
      // Before 31 December 1899 the stored numbers do not follow time.
      if (v < 1.0) return false;
      const double halfMs = 0.6 / 86400000.0;
      v = upper ? v + halfMs : v - halfMs;
      std::memcpy(bytes, &v, 8);
      return true;
    }
    default: return false;
  }
}

}  // namespace vsql
