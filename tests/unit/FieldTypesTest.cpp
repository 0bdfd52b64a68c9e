#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "SchemaTestSupport.h"
#include "VRcomm/FieldTypes.h"

using namespace velmora;
using namespace schema_test;

namespace {

Bytes Real48(long double value) {
  uint8_t out[6];
  std::memset(out, 0xEE, sizeof out);
  DoubleToReal48(value, out);
  return Bytes(out, out + 6);
}

TEST(FieldTypeTable, LookupFindsTheSevenTypesAndRefusesOthers) {
  const char letters[] = {'B', 'C', 'D', 'F', 'I', 'R', 'S'};
  const int sizes[] = {2, 8, 8, 8, 4, 6, -1};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(LookupFieldType(letters[i]), i) << letters[i];
    EXPECT_EQ(FieldTypeSize(letters[i]), sizes[i]) << letters[i];
  }
  for (char c : {'s', 'b', 'X', 'A', '\0', 'T'}) {
    EXPECT_EQ(LookupFieldType(c), -1) << int(c);
    EXPECT_EQ(FieldTypeSize(c), -1) << int(c);
  }
  EXPECT_EQ(kFieldTypeTable[0].Letter, 'X');
  EXPECT_STREQ(kFieldTypeTable[0].Name, "Unknown");
  EXPECT_STREQ(kFieldTypeTable[4].Name, "Float");
  EXPECT_STREQ(kFieldTypeTable[7].Name, "String");
}

TEST(FieldTypeTable, StripCurrencySignRemovesOnlyTheFirstDollar) {
  EXPECT_EQ(StripCurrencySign("$12.50"), "12.50");
  EXPECT_EQ(StripCurrencySign("$$1"), "$1");
  EXPECT_EQ(StripCurrencySign("12$3$"), "123$");
  EXPECT_EQ(StripCurrencySign("12"), "12");
  EXPECT_EQ(StripCurrencySign(""), "");
}

TEST(SixByteReal, EncodesKnownValues) {
  EXPECT_EQ(Real48(2.1), (Bytes{0x82, 0x66, 0x66, 0x66, 0x66, 0x06}));
  EXPECT_EQ(Real48(-2.1), (Bytes{0x82, 0x66, 0x66, 0x66, 0x66, 0x86}));
  EXPECT_EQ(Real48(0), (Bytes{0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Real48(-0.0), (Bytes{0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Real48(1), (Bytes{0x81, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Real48(0.75), (Bytes{0x80, 0, 0, 0, 0, 0x40}));
  EXPECT_EQ(Real48(-3), (Bytes{0x82, 0, 0, 0, 0, 0xC0}));
}

TEST(SixByteReal, RoundsHalfAwayFromZeroAndCarriesIntoTheExponent) {
  // One half of the last fraction bit rounds up, just below half rounds down.
  EXPECT_EQ(Real48(1 + std::ldexp(1.0L, -40)), (Bytes{0x81, 1, 0, 0, 0, 0}));
  EXPECT_EQ(Real48(-(1 + std::ldexp(1.0L, -40))), (Bytes{0x81, 1, 0, 0, 0, 0x80}));
  EXPECT_EQ(Real48(1 + std::ldexp(1.0L, -41)), (Bytes{0x81, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Real48(1 + 3 * std::ldexp(1.0L, -40)), (Bytes{0x81, 2, 0, 0, 0, 0}));
  // All fraction bits set and rounding up: the carry makes it 2.0.
  EXPECT_EQ(Real48(2 - std::ldexp(1.0L, -41)), (Bytes{0x82, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Real48(2 - std::ldexp(1.0L, -39)), (Bytes{0x81, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}));
}

TEST(SixByteReal, TinyValuesBecomeZeroAndTheRangeEndsAreExact) {
  EXPECT_EQ(Real48(std::ldexp(1.0L, -128)), (Bytes{0x01, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Real48(std::ldexp(1.0L, -129)), (Bytes{0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Real48(1e-300), (Bytes{0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Real48(-1e-45), (Bytes{0, 0, 0, 0, 0, 0}));
  long double largest = std::ldexp(2 - std::ldexp(1.0L, -39), 126);
  EXPECT_EQ(Real48(largest), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}));
}

TEST(SixByteReal, OverflowAndNotANumberRaise) {
  uint8_t out[6] = {9, 9, 9, 9, 9, 9};
  EXPECT_VELMORA_ERROR(DoubleToReal48(std::ldexp(1.0L, 127), out), EMathError, "Floating point overflow");
  // Rounding the largest fraction up passes the top exponent.
  EXPECT_VELMORA_ERROR(DoubleToReal48(std::ldexp(2 - std::ldexp(1.0L, -45), 126), out), EMathError,
                       "Floating point overflow");
  EXPECT_VELMORA_ERROR(DoubleToReal48(1e300, out), EMathError, "Floating point overflow");
  EXPECT_VELMORA_ERROR(DoubleToReal48(-1e300, out), EMathError, "Floating point overflow");
  EXPECT_VELMORA_ERROR(DoubleToReal48(INFINITY, out), EMathError, "Floating point overflow");
  EXPECT_VELMORA_ERROR(DoubleToReal48(NAN, out), EMathError, "Invalid floating point operation");
  EXPECT_EQ(Bytes(out, out + 6), (Bytes{9, 9, 9, 9, 9, 9}));
}

TEST(SixByteReal, DecodesAndRoundTrips) {
  const uint8_t v21[6] = {0x82, 0x66, 0x66, 0x66, 0x66, 0x06};
  EXPECT_NEAR(static_cast<double>(Real48ToLongDouble(v21)), 2.1, 1e-11);
  const uint8_t zeroWithFraction[6] = {0, 0xFF, 1, 2, 3, 0x84};
  EXPECT_EQ(Real48ToLongDouble(zeroWithFraction), 0);
  const uint8_t minusThree[6] = {0x82, 0, 0, 0, 0, 0xC0};
  EXPECT_EQ(Real48ToLongDouble(minusThree), -3);
  for (long double v : {1.5L, -0.75L, 1234567.0L, std::ldexp(1.0L, -128), std::ldexp(3.0L, 120)}) {
    Bytes b = Real48(v);
    EXPECT_EQ(Real48ToLongDouble(b.data()), v);
  }
}

class TextToFieldValueTest : public ::testing::Test {
 protected:
  void SetUp() override { std::memset(dest, 0xAA, sizeof dest); }
  bool Untouched() const {
    for (uint8_t b : dest) {
      if (b != 0xAA) return false;
    }
    return true;
  }
  uint8_t dest[16];
  uint8_t has = 7;
};

TEST_F(TextToFieldValueTest, EmptyTextIsNullForEveryLetter) {
  for (char t : {'B', 'C', 'D', 'F', 'I', 'R', 'S', 'q', 'X'}) {
    has = 7;
    TextToFieldValue(has, dest, "", t, 10);
    EXPECT_EQ(has, 0) << t;
    EXPECT_TRUE(Untouched()) << t;
  }
}

TEST_F(TextToFieldValueTest, BooleanAcceptsTrueAndFalseInAnyCaseWritingOneByte) {
  for (const char *text : {"true", "True", "TRUE", "tRuE"}) {
    std::memset(dest, 0xAA, sizeof dest);
    TextToFieldValue(has, dest, text, 'B', 0);
    EXPECT_EQ(has, 1);
    EXPECT_EQ(dest[0], 1) << text;
    EXPECT_EQ(dest[1], 0xAA) << text;
  }
  TextToFieldValue(has, dest, "False", 'B', 0);
  EXPECT_EQ(dest[0], 0);
  EXPECT_EQ(dest[1], 0xAA);
}

TEST_F(TextToFieldValueTest, BooleanRefusesOtherTextsWithTheTextInTheMessage) {
  for (const char *text : {"T", "1", "yes", "true "}) {
    has = 7;
    EXPECT_VELMORA_ERROR(TextToFieldValue(has, dest, text, 'B', 0), EVRBError,
                         std::string(text) + " is not valid data for a boolean field.");
    EXPECT_EQ(has, 0);
    EXPECT_TRUE(Untouched());
  }
  // The message is cut to 255 characters.
  std::string longText(240, 'x');
  std::string expected = (longText + " is not valid data for a boolean field.").substr(0, 255);
  EXPECT_VELMORA_ERROR(TextToFieldValue(has, dest, longText, 'B', 0), EVRBError, expected);
  std::string longer(300, 'y');
  EXPECT_VELMORA_ERROR(TextToFieldValue(has, dest, longer, 'B', 0), EVRBError, std::string(255, 'y'));
}

TEST_F(TextToFieldValueTest, UnknownLetterIsRefused) {
  EXPECT_VELMORA_ERROR(TextToFieldValue(has, dest, "x", 'q', 5), EVRBError, "Unrecognized field type.");
  EXPECT_VELMORA_ERROR(TextToFieldValue(has, dest, "x", 's', 5), EVRBError, "Unrecognized field type.");
  EXPECT_EQ(has, 0);
  EXPECT_TRUE(Untouched());
}

TEST_F(TextToFieldValueTest, StringCopiesAtMostMaxLenCharactersAndANul) {
  TextToFieldValue(has, dest, "Hello", 'S', 3);
  EXPECT_EQ(has, 1);
  EXPECT_EQ(std::memcmp(dest, "Hel\0", 4), 0);
  EXPECT_EQ(dest[4], 0xAA);
  std::memset(dest, 0xAA, sizeof dest);
  TextToFieldValue(has, dest, "Hello", 'S', 10);
  EXPECT_EQ(std::memcmp(dest, "Hello\0", 6), 0);
  EXPECT_EQ(dest[6], 0xAA);
  std::memset(dest, 0xAA, sizeof dest);
  TextToFieldValue(has, dest, "Hello", 'S', 0);
  EXPECT_EQ(dest[0], 0);
  EXPECT_EQ(dest[1], 0xAA);
  EXPECT_EQ(has, 1);
}

TEST_F(TextToFieldValueTest, NumbersInTheCLocale) {
  TextToFieldValue(has, dest, "12.5", 'F', 0);
  double d;
  std::memcpy(&d, dest, 8);
  EXPECT_EQ(d, 12.5);
  EXPECT_EQ(dest[8], 0xAA);

  std::memset(dest, 0xAA, sizeof dest);
  TextToFieldValue(has, dest, "-42", 'I', 0);
  EXPECT_EQ(has, 1);
  EXPECT_EQ((Bytes(dest, dest + 5)), (Bytes{0xD6, 0xFF, 0xFF, 0xFF, 0xAA}));

  std::memset(dest, 0xAA, sizeof dest);
  TextToFieldValue(has, dest, "2.1", 'R', 0);
  EXPECT_EQ((Bytes(dest, dest + 7)), (Bytes{0x82, 0x66, 0x66, 0x66, 0x66, 0x06, 0xAA}));

  std::memset(dest, 0xAA, sizeof dest);
  TextToFieldValue(has, dest, "$12.50", 'C', 0);
  std::memcpy(&d, dest, 8);
  EXPECT_EQ(d, 12.5);
}

TEST_F(TextToFieldValueTest, ConversionFailuresLeaveTheDestinationUnchanged) {
  StrictConversions strict;
  EXPECT_VELMORA_ERROR(TextToFieldValue(has, dest, "$$1", 'C', 0), EConvertError,
                       "'$1' is not a valid floating point value");
  EXPECT_EQ(strict.lastText, "$1");
  EXPECT_EQ(has, 0);
  EXPECT_VELMORA_ERROR(TextToFieldValue(has, dest, "1.5x", 'F', 0), EConvertError,
                       "'1.5x' is not a valid floating point value");
  EXPECT_VELMORA_ERROR(TextToFieldValue(has, dest, "abc", 'R', 0), EConvertError,
                       "'abc' is not a valid floating point value");
  EXPECT_VELMORA_ERROR(TextToFieldValue(has, dest, "12.5", 'I', 0), EConvertError,
                       "'12.5' is not a valid integer value");
  EXPECT_VELMORA_ERROR(TextToFieldValue(has, dest, "32/13/2000", 'D', 0), EConvertError,
                       "'32/13/2000' is not a valid date and time");
  // Out of the six-byte range: the overflow, nothing written.
  EXPECT_VELMORA_ERROR(TextToFieldValue(has, dest, "1e300", 'R', 0), EMathError, "Floating point overflow");
  EXPECT_EQ(has, 0);
  EXPECT_TRUE(Untouched());
}

TEST_F(TextToFieldValueTest, DatesGoThroughThePlatformConversion) {
  StrictConversions strict;
  TextToFieldValue(has, dest, "1/1/1900 12:00", 'D', 0);
  EXPECT_EQ(strict.lastText, "1/1/1900 12:00");
  double d;
  std::memcpy(&d, dest, 8);
  EXPECT_EQ(d, 2.5);
  EXPECT_EQ(has, 1);
}

}  // namespace
