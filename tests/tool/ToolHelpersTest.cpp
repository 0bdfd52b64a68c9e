// The velmora tool's own conversions: CSV reading and writing, field values
// per type, the key texts handed to the library, key comparison of the
// integrity check, the argument parser and table printing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "Cli.h"
#include "Csv.h"
#include "TableFiles.h"
#include "TextTable.h"
#include "Values.h"

namespace vtool {
namespace {

std::vector<CsvRow> ReadAll(const std::string &text) {
  std::istringstream in(text);
  CsvReader reader(in);
  std::vector<CsvRow> rows;
  CsvRow row;
  while (reader.Next(row)) rows.push_back(row);
  return rows;
}

std::string CsvErrorOf(const std::string &text) {
  try {
    ReadAll(text);
  } catch (const CsvError &e) {
    return e.what();
  }
  return "no error";
}

template <typename F>
std::string ValueErrorOf(F f) {
  try {
    f();
  } catch (const ValueError &e) {
    return e.what();
  }
  return "no error";
}

TEST(Csv, QuotedFieldsKeepCommasQuotesAndLineBreaks) {
  auto rows = ReadAll("a,b,c\r\n\"x, y\",\"say \"\"hi\"\"\",\"two\r\nlines\"\r\n,\"\",z\n");
  ASSERT_EQ(3u, rows.size());
  EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), rows[0].fields);
  EXPECT_EQ((std::vector<std::string>{"x, y", "say \"hi\"", "two\r\nlines"}), rows[1].fields);
  EXPECT_EQ(2u, rows[1].line);
  // The third record starts after the quoted line break.
  EXPECT_EQ(4u, rows[2].line);
  EXPECT_EQ((std::vector<std::string>{"", "", "z"}), rows[2].fields);
  EXPECT_EQ((std::vector<bool>{false, true, false}), rows[2].quoted);
}

TEST(Csv, LastRecordWithoutLineEndAndByteOrderMark) {
  auto rows = ReadAll("\xEF\xBB\xBFId,Name\n1,Ada");
  ASSERT_EQ(2u, rows.size());
  EXPECT_EQ("Id", rows[0].fields[0]);
  EXPECT_EQ((std::vector<std::string>{"1", "Ada"}), rows[1].fields);
}

TEST(Csv, OtherDelimitersSplitFieldsAndCommasStayText) {
  std::istringstream in("a;\"b;c\";1,5\r\nx\ty;;\n");
  CsvReader reader(in, ';');
  CsvRow row;
  ASSERT_TRUE(reader.Next(row));
  EXPECT_EQ((std::vector<std::string>{"a", "b;c", "1,5"}), row.fields);
  ASSERT_TRUE(reader.Next(row));
  EXPECT_EQ((std::vector<std::string>{"x\ty", "", ""}), row.fields);
  EXPECT_FALSE(reader.Next(row));
  std::istringstream tabs("a\tb\n\"c\td\"\te\n");
  CsvReader tabReader(tabs, '\t');
  ASSERT_TRUE(tabReader.Next(row));
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), row.fields);
  ASSERT_TRUE(tabReader.Next(row));
  EXPECT_EQ((std::vector<std::string>{"c\td", "e"}), row.fields);
}

TEST(Csv, MalformedInputNamesTheLine) {
  EXPECT_EQ("line 2: quote inside an unquoted field", CsvErrorOf("a,b\nx\"y,z\n"));
  EXPECT_EQ("line 1: text after the closing quote of a field", CsvErrorOf("\"a\"b,c\n"));
  EXPECT_EQ("line 2: quoted field is not closed", CsvErrorOf("a\n\"open,\nstill\n"));
}

TEST(Csv, WriterQuotesOnlyWhatNeedsIt) {
  std::ostringstream out;
  WriteCsvRow(out, {"plain", "a,b", "say \"x\"", "", "line\nbreak", ""}, {false, false, false, false, false, true});
  EXPECT_EQ("plain,\"a,b\",\"say \"\"x\"\"\",,\"line\nbreak\",\"\"\r\n", out.str());
  EXPECT_EQ((std::vector<std::string>{"Smith", "Jones, Jr", ""}), SplitCsvText("Smith,\"Jones, Jr\","));
}

TEST(Real48, EncodesByTheExponentFirstLayout) {
  uint8_t bytes[6];
  ASSERT_TRUE(EncodeReal48(2.1, bytes));
  const uint8_t expected[6] = {0x82, 0x66, 0x66, 0x66, 0x66, 0x06};
  EXPECT_EQ(0, std::memcmp(expected, bytes, 6));
  ASSERT_TRUE(EncodeReal48(-1.0, bytes));
  const uint8_t minusOne[6] = {0x81, 0, 0, 0, 0, 0x80};
  EXPECT_EQ(0, std::memcmp(minusOne, bytes, 6));
  ASSERT_TRUE(EncodeReal48(0.0, bytes));
  EXPECT_EQ(0, bytes[0]);
  // Too small becomes zero; too large does not convert.
  ASSERT_TRUE(EncodeReal48(1e-40, bytes));
  EXPECT_EQ(0.0, DecodeReal48(bytes));
  EXPECT_FALSE(EncodeReal48(1e39, bytes));
  EXPECT_FALSE(EncodeReal48(std::nan(""), bytes));
}

TEST(Real48, PrintsTheShortestTextThatReadsBack) {
  for (double v : {2.1, -7.25, 1234.5678, 0.1, 3e30, -1e-30}) {
    uint8_t bytes[6], again[6];
    ASSERT_TRUE(EncodeReal48(v, bytes));
    const std::string text = FormatReal48(bytes);
    ASSERT_TRUE(EncodeReal48(ParseFloat(text), again)) << text;
    EXPECT_EQ(0, std::memcmp(bytes, again, 6)) << text;
  }
  uint8_t bytes[6];
  EncodeReal48(2.1, bytes);
  EXPECT_EQ("2.1", FormatReal48(bytes));
}

TEST(Values, NumbersRefuseWhatIsNotANumber) {
  EXPECT_EQ(-2147483648, ParseInteger("-2147483648"));
  EXPECT_EQ(42, ParseInteger(" +42 "));
  EXPECT_EQ("'2147483648' is not a valid integer value", ValueErrorOf([] { ParseInteger("2147483648"); }));
  EXPECT_EQ("'12a' is not a valid integer value", ValueErrorOf([] { ParseInteger("12a"); }));
  EXPECT_EQ(1e20, ParseFloat("1E+20"));
  EXPECT_EQ(-0.5, ParseFloat("-.5"));
  EXPECT_EQ("'inf' is not a valid floating point value", ValueErrorOf([] { ParseFloat("inf"); }));
  EXPECT_EQ("'1e999' is not a valid floating point value", ValueErrorOf([] { ParseFloat("1e999"); }));
  EXPECT_EQ("'1,5' is not a valid floating point value", ValueErrorOf([] { ParseFloat("1,5"); }));
  EXPECT_TRUE(ParseBoolean("True"));
  EXPECT_FALSE(ParseBoolean("FALSE"));
  // Spreadsheet spellings of yes and no, in any letter case.
  for (const char *yes : {"yes", "Y", "1", "on", "t", " TRUE "}) EXPECT_TRUE(ParseBoolean(yes)) << yes;
  for (const char *no : {"No", "n", "0", "OFF", "f", "false"}) EXPECT_FALSE(ParseBoolean(no)) << no;
  EXPECT_EQ("maybe is not valid data for a boolean field (true/false, yes/no, 1/0, on/off, t/f, y/n).",
            ValueErrorOf([] { ParseBoolean("maybe"); }));
  EXPECT_EQ("2 is not valid data for a boolean field (true/false, yes/no, 1/0, on/off, t/f, y/n).",
            ValueErrorOf([] { ParseBoolean("2"); }));
}

TEST(Values, DatesCountDaysFromTheEndOf1899) {
  EXPECT_EQ(45366.0, ParseDateTime("2024-03-15"));
  EXPECT_EQ(2.5, ParseDateTime("1900-01-01 12:00"));
  // Before the epoch the fraction still runs forward through the day.
  EXPECT_EQ(-1.25, ParseDateTime("1899-12-29 06:00:00"));
  EXPECT_EQ("1899-12-29 06:00:00", FormatDateTime(-1.25));
  EXPECT_EQ("2024-03-15 13:05:09.250", FormatDateTime(ParseDateTime("2024-03-15T13:05:09.25")));
  EXPECT_EQ("2024-02-29", FormatDateTime(ParseDateTime("2024-02-29")));
  EXPECT_EQ("'2023-02-29' is not a valid date and time", ValueErrorOf([] { ParseDateTime("2023-02-29"); }));
  EXPECT_EQ("'2024-03-15 24:00' is not a valid date and time", ValueErrorOf([] { ParseDateTime("2024-03-15 24:00"); }));
  EXPECT_EQ("'15.03.2024' is not a valid date and time", ValueErrorOf([] { ParseDateTime("15.03.2024"); }));
}

TEST(Values, StoreAndFormatEveryType) {
  const Field fields[] = {{"B", 'B', 8, 2},  {"C", 'C', 16, 8}, {"D", 'D', 24, 8}, {"F", 'F', 32, 8},
                          {"I", 'I', 40, 4}, {"R", 'R', 44, 6}, {"S", 'S', 52, 6}};
  const char *texts[] = {"true", "$12.50", "2024-03-15 08:30:00", "0.1", "-7", "2.1", "Hello"};
  const char *shown[] = {"true", "12.5", "2024-03-15 08:30:00", "0.1", "-7", "2.1", "Hello"};
  std::vector<uint8_t> record(60, 0);
  for (int f = 0; f < 7; ++f) {
    StoreValue(fields[f], f, texts[f], record.data());
    EXPECT_EQ(1, record[f]);
    EXPECT_EQ(shown[f], FormatValue(fields[f], f, record.data()));
  }
  // An empty text makes the field null and leaves its bytes.
  StoreValue(fields[4], 4, "", record.data());
  EXPECT_TRUE(IsNull(record.data(), 4));
  EXPECT_EQ("", FormatValue(fields[4], 4, record.data()));
  // A refused text changes nothing.
  StoreValue(fields[6], 6, "Hi", record.data());
  EXPECT_EQ("'Longer' is 6 bytes long, longer than the 5 bytes of field S",
            ValueErrorOf([&] { StoreValue(fields[6], 6, "Longer", record.data()); }));
  // Lengths count bytes: five letters of two bytes each do not fit five bytes.
  EXPECT_EQ(
      "'\xc3\xa9\xc3\xa9\xc3\xa9' is 6 bytes long, longer than the 5 bytes of field S (its 3 characters "
      "take more than one byte each in UTF-8)",
      ValueErrorOf([&] { StoreValue(fields[6], 6, "\xc3\xa9\xc3\xa9\xc3\xa9", record.data()); }));
  EXPECT_EQ("Hi", FormatValue(fields[6], 6, record.data()));
  EXPECT_EQ("'$$1' is not a valid floating point value",
            ValueErrorOf([&] { StoreValue(fields[1], 1, "$$1", record.data()); }));
  EXPECT_EQ("'1e39' is beyond the range of a Real field",
            ValueErrorOf([&] { StoreValue(fields[5], 5, "1e39", record.data()); }));
}

TEST(Values, KeyTextsInTheFormTheLibraryReads) {
  EXPECT_EQ("3/15/2024 13:05:09.250", EngineKeyText({"D", 'D', 8, 8}, "2024-03-15 13:05:09.25"));
  EXPECT_EQ("12.5", EngineKeyText({"C", 'C', 8, 8}, "$12.50"));
  EXPECT_EQ("1e+20", EngineKeyText({"F", 'F', 8, 8}, "1E20"));
  EXPECT_EQ("TRUE", EngineKeyText({"B", 'B', 8, 2}, "true"));
  EXPECT_EQ("-5", EngineKeyText({"I", 'I', 8, 4}, " -5"));
  EXPECT_EQ("", EngineKeyText({"I", 'I', 8, 4}, ""));
  EXPECT_EQ("'x' is not a valid integer value", ValueErrorOf([] { EngineKeyText({"I", 'I', 8, 4}, "x"); }));
}

TEST(Values, TypeNamesAndLetters) {
  EXPECT_EQ('S', TypeLetter("string"));
  EXPECT_EQ('D', TypeLetter("DateTime"));
  EXPECT_EQ('R', TypeLetter("r"));
  EXPECT_EQ(0, TypeLetter("X"));
  EXPECT_EQ("Currency", TypeName('C'));
  EXPECT_EQ(6, TypeSize('R'));
  EXPECT_EQ(-1, TypeSize('S'));
}

TEST(KeyOrder, NullsFirstThenValuesAndTheUniqueKeyBreaksTies) {
  Schema schema;
  schema.fields = {{"Id", 'I', 4, 4}, {"Name", 'S', 8, 6}, {"Score", 'F', 16, 8}};
  schema.indexes = {{"ById", {0}}, {"ByName", {1}}, {"ByScore", {2}}};
  std::vector<uint8_t> a(24, 0), b(24, 0);
  StoreValue(schema.fields[0], 0, "1", a.data());
  StoreValue(schema.fields[0], 0, "2", b.data());
  StoreValue(schema.fields[1], 1, "abc", a.data());
  StoreValue(schema.fields[1], 1, "abd", b.data());
  EXPECT_LT(CompareKeys(schema, 1, a.data(), b.data(), false), 0);
  StoreValue(schema.fields[1], 1, "B", b.data());
  // Byte order: upper-case B sorts before lower-case a.
  EXPECT_GT(CompareKeys(schema, 1, a.data(), b.data(), false), 0);
  // Score is null in a and set in b: null first.
  StoreValue(schema.fields[2], 2, "-1e300", b.data());
  EXPECT_LT(CompareKeys(schema, 2, a.data(), b.data(), true), 0);
  // Equal scores (closer than 2^-128): index 0 decides with the tie-break only.
  StoreValue(schema.fields[2], 2, "1", a.data());
  StoreValue(schema.fields[2], 2, "1.0000000000000001", b.data());
  EXPECT_EQ(0, CompareKeys(schema, 2, a.data(), b.data(), false));
  EXPECT_LT(CompareKeys(schema, 2, a.data(), b.data(), true), 0);
  EXPECT_GT(CompareKeys(schema, 2, b.data(), a.data(), true), 0);
}

TEST(Args, OptionsValuesFlagsAndErrors) {
  Args args({"t.vri", "--index", "A", "--from=x,y", "--ignore-case", "--", "--raw"}, {"index", "from"},
            {"ignore-case"});
  EXPECT_EQ((std::vector<std::string>{"t.vri", "--raw"}), args.positionals());
  EXPECT_EQ("A", args.value("index").value());
  EXPECT_EQ("x,y", args.value("from").value());
  EXPECT_TRUE(args.has("ignore-case"));
  EXPECT_FALSE(args.help());
  EXPECT_TRUE(Args({"-h"}, {}, {}).help());
  auto usage = [](const std::vector<std::string> &argv) {
    try {
      Args a(argv, {"limit"}, {"keep"});
      a.value("limit");
    } catch (const UsageError &e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ("unknown option --bogus", usage({"--bogus"}));
  EXPECT_EQ("option --limit needs a value", usage({"--limit"}));
  EXPECT_EQ("option --keep takes no value", usage({"--keep=1"}));
  // A single-dash word is a mistyped option, unless it is "-" (a file) or a negative number.
  EXPECT_EQ("unknown option -n (options are written --name)", usage({"t.vri", "-n", "2"}));
  EXPECT_EQ((std::vector<std::string>{"-", "-5", "-.5"}), Args({"-", "-5", "-.5"}, {}, {}).positionals());
  EXPECT_EQ("option --limit given more than once", usage({"--limit", "1", "--limit", "2"}));
  EXPECT_EQ(12, ParseCount("12", "--limit", 100));
  try {
    ParseCount("-1", "--limit", 100);
    ADD_FAILURE() << "accepted -1";
  } catch (const UsageError &e) {
    EXPECT_STREQ("--limit must be a whole number from 0 to 100, not '-1'", e.what());
  }
}

TEST(TextTable, AlignsByCharactersAndNumbersToTheRight) {
  TextTable table({"Id", "Name"}, {true, false});
  table.Add({"7", "Zoë"});
  table.Add({"12", "Al"});
  std::ostringstream out;
  table.Print(out);
  EXPECT_EQ("Id  Name\n--  ----\n 7  Zoë\n12  Al\n", out.str());
}

TEST(TextTable, WideCharactersTakeTwoColumnsAndCombiningMarksNone) {
  EXPECT_EQ(4u, DisplayWidth("\xe6\x97\xa5\xe6\x9c\xac"));  // two CJK ideographs
  EXPECT_EQ(1u, DisplayWidth("e\xcc\x81"));                 // e and a combining acute accent
  EXPECT_EQ(2u, DisplayWidth("\xf0\x9f\x98\x80"));          // an emoji
  EXPECT_EQ(2u, DisplayWidth("\xe6\x97"));                  // a cut sequence: one column per byte
  TextTable table({"City", "N"});
  table.Add({"\xe6\x9d\xb1\xe4\xba\xac", "1"});  // Tokyo in two ideographs
  table.Add({"Oslo", "2"});
  std::ostringstream out;
  table.Print(out);
  EXPECT_EQ("City  N\n----  -\n\xe6\x9d\xb1\xe4\xba\xac  1\nOslo  2\n", out.str());
}

}  // namespace
}  // namespace vtool
