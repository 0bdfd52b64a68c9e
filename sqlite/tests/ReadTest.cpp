// Reading through the module: the columns and their SQL types, every field
// type and NULL, records written through the exports, and refused values.
#include <cstring>

#include <velmora/velmora.hpp>

#include "SqlFixture.h"

namespace sqltest {
namespace {

class ReadTest : public StaffTest {
 protected:
  void SetUp() override {
    StaffTest::SetUp();
    ASSERT_EQ("", Create("staff"));
  }
};

class PostedTest : public StaffTest {};

TEST_F(ReadTest, ColumnsAreTheFieldsWithTheirSqlTypesAndAHiddenRecordNumber) {
  EXPECT_EQ((std::vector<std::string>{"Id|INTEGER|0", "Name|TEXT|0", "Dept|TEXT|0", "Salary|REAL|0", "Bonus|REAL|0",
                                      "Rate|REAL|0", "Hired|TEXT|0", "Active|INTEGER|0", "recno|INTEGER|1"}),
            sql_.Rows("SELECT name, type, hidden FROM pragma_table_xinfo('staff')"));
  EXPECT_EQ((std::vector<std::string>{}), sql_.Rows("SELECT * FROM staff"));
}

TEST_F(ReadTest, EveryTypeAndNullComeBackAsWritten) {
  ASSERT_EQ("", sql_.Exec("INSERT INTO staff VALUES (7, 'Ann', 'Sales', 1234.5, 12.25, 2.1, "
                          "'2024-03-15 13:05:09.250', 1);"
                          "INSERT INTO staff VALUES (-2147483648, '', 'X', -0.5, 0, -3.75, '0001-01-01', 0);"
                          "INSERT INTO staff (Id) VALUES (2147483647);"));
  EXPECT_EQ((std::vector<std::string>{
                "-2147483648|integer||text|-0.5|real|0.0|real|-3.75|real|0001-01-01|text|0|integer|1",
                "7|integer|Ann|text|1234.5|real|12.25|real|2.1|real|2024-03-15 13:05:09.250|text|1|integer|0",
                "2147483647|integer|NULL|null|NULL|null|NULL|null|NULL|null|NULL|null|NULL|null|2"}),
            sql_.Rows("SELECT Id, typeof(Id), Name, typeof(Name), Salary, typeof(Salary), Bonus, typeof(Bonus),"
                      " Rate, typeof(Rate), Hired, typeof(Hired), Active, typeof(Active), recno FROM staff"
                      " ORDER BY Id"));
}

TEST_F(ReadTest, DatesAreIsoTextsAndJulianDayNumbersAreAccepted) {
  ASSERT_EQ("", sql_.Exec("INSERT INTO staff (Id, Hired) VALUES (1, '2024-02-29'), (2, '1999-12-31T23:59'),"
                          " (3, julianday('2000-01-01 12:00')), (4, '1899-12-29 06:00:00'),"
                          " (5, '9999-12-31 23:59:59.999')"));
  EXPECT_EQ((std::vector<std::string>{"1|2024-02-29", "2|1999-12-31 23:59:00", "3|2000-01-01 12:00:00",
                                      "4|1899-12-29 06:00:00", "5|9999-12-31 23:59:59.999"}),
            sql_.Rows("SELECT Id, Hired FROM staff ORDER BY Id"));
  // SQLite's own date functions read them.
  EXPECT_EQ((std::vector<std::string>{"2024-03-01"}),
            sql_.Rows("SELECT date(Hired, '+1 day') FROM staff WHERE Id = 1"));
}

TEST_F(PostedTest, RecordsPostedThroughTheExportsReadAsTheirStoredValues) {
  int32_t h = DLL_Connect(3);
  uint8_t path[256] = {};
  path[0] = static_cast<uint8_t>(schema_.size());
  std::memcpy(path + 1, schema_.data(), schema_.size());
  ASSERT_GT(DLL_OpenTable(h, path, 34), 0);
  std::vector<uint8_t> record(static_cast<size_t>(DLL_RecordSize(h)), 0);
  int32_t offset[8], length;
  char type;
  for (int i = 0; i < 8; ++i) DLL_FieldInfo(h, i, &offset[i], &length, &type);
  for (int i = 0; i < 8; ++i) record[static_cast<size_t>(i)] = 1;
  int32_t id = 42;
  std::memcpy(&record[offset[0]], &id, 4);
  std::memcpy(&record[offset[1]], "Zed", 3);
  std::memcpy(&record[offset[2]], "Ops", 3);
  double salary = 99.75, bonus = 1.5, hired = 45366.5;  // 15 March 2024, noon
  std::memcpy(&record[offset[3]], &salary, 8);
  std::memcpy(&record[offset[4]], &bonus, 8);
  const uint8_t rate[6] = {0x82, 0x66, 0x66, 0x66, 0x66, 0x06};  // 2.1 as a six-byte real
  std::memcpy(&record[offset[5]], rate, 6);
  std::memcpy(&record[offset[6]], &hired, 8);
  record[offset[7]] = 1;
  DLL_MoveToDB(h, record.data());
  DLL_PostNewRecord(h);
  DLL_CloseTable(h);
  DLL_Disconnect(h);

  // A table connected after the posting reads it (an open one keeps the
  // engine's view of the files it had).
  ASSERT_EQ("", Create("fresh", "readonly"));
  EXPECT_EQ((std::vector<std::string>{"42|Zed|Ops|99.75|1.5|2.1|2024-03-15 12:00:00|1"}),
            sql_.Rows("SELECT * FROM fresh"));
  // The Real field reads as the decimal it holds, so the literal finds it.
  EXPECT_EQ((std::vector<std::string>{"42"}), sql_.Rows("SELECT Id FROM fresh WHERE Rate = 2.1"));
}

TEST_F(ReadTest, ValuesAFieldCannotHoldAreRefusedAndNothingIsWritten) {
  struct Case {
    std::string values;
    std::string message;
  } cases[] = {
      {"('x', 'A')", "field Id: 'x' is not a whole number from -2147483648 to 2147483647"},
      {"(2147483648, 'A')", "field Id: '2147483648' is not a whole number from -2147483648 to 2147483647"},
      {"(1.5, 'A')", "field Id: '1.5' is not a whole number from -2147483648 to 2147483647"},
      {"(1, 'abcdefghijklmnopqrstu')",
       "field Name: 'abcdefghijklmnopqrstu' is longer than the 20 characters the field holds"},
      {"(1, x'41')", "field Name: a BLOB cannot be stored in a TEXT field"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(c.message, sql_.Exec("INSERT INTO staff (Id, Name) VALUES (9, 'ok'), " + c.values)) << c.values;
    EXPECT_EQ(SQLITE_MISMATCH, sql_.lastCode());
  }
  EXPECT_EQ(
      "field Hired: 'yesterday' is not a date: give YYYY-MM-DD, optionally with HH:MM[:SS[.fff]], or a "
      "Julian day number",
      sql_.Exec("INSERT INTO staff (Id, Hired) VALUES (1, 'yesterday')"));
  EXPECT_EQ("field Active: '2' is not a boolean (0, 1, true or false)",
            sql_.Exec("INSERT INTO staff (Id, Active) VALUES (1, 2)"));
  EXPECT_EQ("field Rate: '1.0e+300' is too large for a Real field",
            sql_.Exec("INSERT INTO staff (Id, Rate) VALUES (1, 1e300)"));
  EXPECT_EQ("field Salary: 'much' is not a number", sql_.Exec("INSERT INTO staff (Id, Salary) VALUES (1, 'much')"));
  // The first row of each refused statement was taken back.
  EXPECT_EQ((std::vector<std::string>{"0"}), sql_.Rows("SELECT count(*) FROM staff"));
  // Texts that are numbers and the words true and false are taken.
  ASSERT_EQ("", sql_.Exec("INSERT INTO staff (Id, Salary, Active) VALUES ('12', '2.5', 'TRUE')"));
  EXPECT_EQ((std::vector<std::string>{"12|2.5|1"}), sql_.Rows("SELECT Id, Salary, Active FROM staff"));
}

TEST_F(ReadTest, RecordNumbersAreTheTablesOwn) {
  ASSERT_EQ("", sql_.Exec("INSERT INTO staff (Id) VALUES (1)"));
  EXPECT_EQ("a new record's number is given by the table: leave rowid and recno out",
            sql_.Exec("INSERT INTO staff (rowid, Id) VALUES (5, 2)"));
  EXPECT_EQ("a new record's number is given by the table: leave rowid and recno out",
            sql_.Exec("INSERT INTO staff (recno, Id) VALUES (5, 2)"));
  EXPECT_EQ("record numbers are given by the table and cannot be changed", sql_.Exec("UPDATE staff SET rowid = 3"));
  EXPECT_EQ((std::vector<std::string>{"1|0|0"}), sql_.Rows("SELECT Id, rowid, recno FROM staff"));
  // Looking a record up by its number: any value that names no record finds none.
  for (const char *number : {"0", "0.0", "'0'"})
    EXPECT_EQ((std::vector<std::string>{"1"}), sql_.Rows(std::string("SELECT Id FROM staff WHERE rowid = ") + number));
  for (const char *number : {"1", "-1", "0.5", "1e300", "-1e300", "'x'", "NULL", "4294967296"}) {
    EXPECT_EQ((std::vector<std::string>{}), sql_.Rows(std::string("SELECT Id FROM staff WHERE rowid = ") + number));
    EXPECT_EQ((std::vector<std::string>{}), sql_.Rows(std::string("SELECT Id FROM staff WHERE recno = ") + number));
  }
}

}  // namespace
}  // namespace sqltest
