// Field values between record images and SQL.  SQL types by field type:
//   I Integer -> INTEGER            F Float, C Currency, R Real -> REAL
//   B Boolean -> INTEGER 0 or 1     S String -> TEXT
//   D DateTime -> TEXT, ISO 8601 (DateText.h)
// A null flag other than 1 is NULL.
#pragma once

#include <sqlite3ext.h>

#include <cstdint>
#include <string>

#include "EngineTable.h"

namespace vsql {

// An SQL value as the module compares it (texts with the BINARY collation).
struct SqlValue {
  enum Kind { kNull, kInteger, kReal, kText } kind = kNull;
  int64_t integer = 0;
  double real = 0;
  std::string text;
};

// SQL order: NULL, then numbers by value, then texts byte by byte.
int CompareSql(const SqlValue &a, const SqlValue &b);

// The declared SQL type of a field's column.
const char *SqlTypeName(char fieldType);
bool IsTextField(char fieldType);

SqlValue ReadField(const FieldDef &field, int32_t fieldNo, const uint8_t *record);
void ResultField(sqlite3_context *context, const FieldDef &field, int32_t fieldNo, const uint8_t *record);

// Stores an SQL value into the record (NULL clears the field).  Returns an
// empty text, or what is wrong with the value.
std::string StoreField(const FieldDef &field, int32_t fieldNo, sqlite3_value *value, uint8_t *record);

// A constraint's value in the form the field's values compare with: numbers
// for numeric fields (texts that look like numbers become numbers, as the
// column's affinity makes them), texts for text fields.  False when the
// value is of another kind: the module then leaves that test to SQLite.
bool ConstraintValue(const FieldDef &field, sqlite3_value *value, SqlValue *out);

// Stored bytes for a key that sorts at or before every value not below the
// bound (upper false), or at or after every value not above it (upper true).
// False when no such bytes can be given safely.
bool BoundKeyBytes(const FieldDef &field, const SqlValue &bound, bool upper, uint8_t *bytes);

}  // namespace vsql
