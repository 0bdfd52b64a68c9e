// Field values as the tool reads and writes them, per field type:
//   B  true/false, yes/no, t/f, y/n, 1/0, on/off (any letter case)
//   C  a decimal number, optionally with one leading "$"
//   D  YYYY-MM-DD, optionally followed by a blank or "T" and HH:MM[:SS[.fff]]
//   F  a decimal number (with an optional exponent)
//   I  a whole number from -2147483648 to 2147483647
//   R  a decimal number within the range of the six-byte real
//   S  the text itself, at most the field's length in bytes (UTF-8: a letter
//      beyond ASCII takes 2 to 4 bytes)
// An empty text is null.  Conversions never depend on the host's locale.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vtool {

// A text that does not convert to the field's type.
class ValueError : public std::runtime_error {
 public:
  explicit ValueError(const std::string &message) : std::runtime_error(message) {}
};

// One field of an open table, as its record buffers lay it out.
struct Field {
  std::string name;
  char type = 'X';
  int32_t offset = 0;
  int32_t size = 0;  // storage size in bytes (a String field: characters + 1)
  int32_t maxChars() const { return size - 1; }
};

// Type letter for "S", "string", "String", ... ; 0 when the text names no type.
char TypeLetter(const std::string &text);
// "Boolean", "Currency", ... ; "Unknown" for any other letter.
std::string TypeName(char letter);
// Storage size of a fixed-size type; -1 for S and unknown letters.
int32_t TypeSize(char letter);
bool IsNumericType(char letter);

// Primitive conversions.  Each raises ValueError with a message that quotes the text.
int32_t ParseInteger(const std::string &text);
double ParseFloat(const std::string &text);
bool ParseBoolean(const std::string &text);
// "'TEXT' is N bytes long, longer than the M bytes of field NAME ..."
std::string LongerThanField(const Field &field, const std::string &text);
// Days since 30 December 1899, the time of day as the fraction.
double ParseDateTime(const std::string &text);

std::string FormatFloat(double value);
// The shortest text that converts back to the same six bytes.
std::string FormatReal48(const uint8_t *bytes);
std::string FormatDateTime(double value);

// Six-byte real: false when the value is beyond its range (or not finite).
bool EncodeReal48(double value, uint8_t *bytes);
double DecodeReal48(const uint8_t *bytes);

// Record buffers: byte f is field f's null flag (1 value, 0 null).
bool IsNull(const uint8_t *record, int32_t fieldNo);
// Converts the text into the field's value in the record and sets its flag; an
// empty text makes the field null.  Nothing is changed when the text is refused.
void StoreValue(const Field &field, int32_t fieldNo, const std::string &text, uint8_t *record);
// The field's value as text; "" for null.
std::string FormatValue(const Field &field, int32_t fieldNo, const uint8_t *record);

// The key text the library converts into the same value as the tool would: the
// text is checked here and handed on in the form the library reads (the
// library's conversions follow the process's C locale, which the tool never
// changes).  An empty text stays empty (a null key field).
std::string EngineKeyText(const Field &field, const std::string &text);

}  // namespace vtool
