// INSERT, UPDATE and DELETE through the module: the engine's refusals as SQL
// errors, statements that fail part-way taken back whole, transactions and
// savepoints, and the open modes.
#include <algorithm>

#include "SqlFixture.h"

namespace sqltest {
namespace {

// The numbers from first to last as the rows of a query's column "value".
std::string Series(int first, int last) {
  return "WITH RECURSIVE s(value) AS (SELECT " + std::to_string(first) +
         " UNION ALL SELECT value + 1 FROM s WHERE"
         " value < " +
         std::to_string(last) + ") SELECT value FROM s";
}

class WriteTest : public StaffTest {
 protected:
  void SetUp() override {
    StaffTest::SetUp();
    ASSERT_EQ("", Create("staff"));
    ASSERT_EQ("", sql_.Exec("INSERT INTO staff (Id, Name, Dept, Salary) VALUES (1, 'Ann', 'A', 10),"
                            " (2, 'Bob', 'B', 20), (3, 'Cid', 'A', 30), (4, 'Dee', 'B', 40), (5, 'Eve', 'C', 50)"));
  }
  std::vector<std::string> All() const { return sql_.Rows("SELECT Id, Name, Dept, Salary FROM staff ORDER BY Id"); }
  const std::vector<std::string> kFive{"1|Ann|A|10.0", "2|Bob|B|20.0", "3|Cid|A|30.0", "4|Dee|B|40.0", "5|Eve|C|50.0"};
};

TEST_F(WriteTest, InsertsUpdatesAndDeletesReachTheTable) {
  ASSERT_EQ("", sql_.Exec("UPDATE staff SET Salary = Salary + 1, Name = upper(Name) WHERE Dept = 'A'"));
  ASSERT_EQ("", sql_.Exec("UPDATE staff SET Dept = 'Z' WHERE Id = 5"));
  ASSERT_EQ("", sql_.Exec("DELETE FROM staff WHERE Id IN (1, 4)"));
  EXPECT_EQ((std::vector<std::string>{"2|Bob|B|20.0", "3|CID|A|31.0", "5|Eve|Z|50.0"}), All());
  // The indexes follow: the edited key fields are found through them.
  EXPECT_EQ((std::vector<std::string>{"5"}), sql_.Rows("SELECT Id FROM staff WHERE Dept = 'Z'"));
  EXPECT_EQ((std::vector<std::string>{"3"}), sql_.Rows("SELECT Id FROM staff WHERE Name = 'CID'"));
  // Record numbers stay dense: the last record took the place of a deleted one.
  EXPECT_EQ((std::vector<std::string>{"0|5", "1|2", "2|3"}), sql_.Rows("SELECT recno, Id FROM staff ORDER BY recno"));
}

TEST_F(WriteTest, DeletingManyRecordsFollowsTheRecordsThatMove) {
  // Each deletion moves the last record into the gap; the statement still
  // deletes exactly the rows it chose.
  ASSERT_EQ("", sql_.Exec("INSERT INTO staff (Id) " + Series(10, 60)));
  ASSERT_EQ("", sql_.Exec("DELETE FROM staff WHERE Id % 3 = 0 OR Id < 3"));
  EXPECT_EQ(sql_.Rows(Series(1, 60) + " WHERE value % 3 <> 0 AND value >= 3 AND (value >= 10 OR value <= 5)"),
            sql_.Rows("SELECT Id FROM staff ORDER BY Id"));
  ASSERT_EQ("", sql_.Exec("DELETE FROM staff"));
  EXPECT_EQ((std::vector<std::string>{"0"}), sql_.Rows("SELECT count(*) FROM staff"));
}

TEST_F(WriteTest, AKeyViolationIsAConstraintErrorAndTheStatementIsTakenBack) {
  EXPECT_EQ("Insertion Error. Key violation in Velmora.",
            sql_.Exec("INSERT INTO staff (Id, Name) VALUES (6, 'F'), (7, 'G'), (3, 'dup'), (8, 'H')"));
  EXPECT_EQ(SQLITE_CONSTRAINT, sql_.lastCode());
  EXPECT_EQ(kFive, All());
  EXPECT_EQ("Error. Edit changes will create a key violation in Velmora.",
            sql_.Exec("UPDATE staff SET Id = Id + 1, Salary = 0"));
  EXPECT_EQ(SQLITE_CONSTRAINT, sql_.lastCode());
  EXPECT_EQ(kFive, All());
  // The conflict clauses act on the refused rows.
  ASSERT_EQ("", sql_.Exec("INSERT OR IGNORE INTO staff (Id, Name) VALUES (6, 'F'), (3, 'dup'), (7, 'G')"));
  EXPECT_EQ((std::vector<std::string>{"1|Ann", "2|Bob", "3|Cid", "4|Dee", "5|Eve", "6|F", "7|G"}),
            sql_.Rows("SELECT Id, Name FROM staff ORDER BY Id"));
}

TEST_F(WriteTest, TheOtherConflictClausesKeepOrDropWhatSqlSays) {
  // FAIL keeps the rows before the failing one; ROLLBACK drops the whole transaction.
  EXPECT_NE("", sql_.Exec("INSERT OR FAIL INTO staff (Id) VALUES (20), (21), (3), (22)"));
  EXPECT_NE(
      "", sql_.Exec("BEGIN; INSERT INTO staff (Id) VALUES (30); INSERT OR ROLLBACK INTO staff (Id) VALUES (31), (3)"));
  EXPECT_EQ((std::vector<std::string>{"1", "2", "3", "4", "5", "20", "21"}),
            sql_.Rows("SELECT Id FROM staff ORDER BY Id"));
}

TEST_F(WriteTest, OrReplaceDeletesTheRecordThatHoldsTheKey) {
  ASSERT_EQ("", sql_.Exec("INSERT OR REPLACE INTO staff (Id, Name) VALUES (6, 'Fay'), (3, 'New')"));
  ASSERT_EQ("", sql_.Exec("UPDATE OR REPLACE staff SET Id = 1 WHERE Id = 5"));
  ASSERT_EQ("", sql_.Exec("REPLACE INTO staff (Id, Name) VALUES (2, 'Two')"));
  EXPECT_EQ((std::vector<std::string>{"1|Eve|C|50.0", "2|Two|NULL|NULL", "3|New|NULL|NULL", "4|Dee|B|40.0",
                                      "6|Fay|NULL|NULL"}),
            All());
  // A row the statement replaced away is passed over, as SQL passes over
  // rows that no longer exist: record 2 is gone before its turn comes.
  ASSERT_EQ("", sql_.Exec("UPDATE OR REPLACE staff SET Id = Id + 1 WHERE Id IN (1, 2)"));
  const std::vector<std::string> after{"2|Eve|C|50.0", "3|New|NULL|NULL", "4|Dee|B|40.0", "6|Fay|NULL|NULL"};
  EXPECT_EQ(after, All());
  // Taken back whole like any other statement.
  ASSERT_EQ("", sql_.Exec("BEGIN; INSERT OR REPLACE INTO staff (Id) VALUES (4), (6); UPDATE OR REPLACE staff SET Id = 3"
                          " WHERE Id = 2; ROLLBACK"));
  EXPECT_EQ(after, All());
}

TEST_F(WriteTest, AFailureInsideATransactionTakesBackThatStatementOnly) {
  ASSERT_EQ("", sql_.Exec("BEGIN; DELETE FROM staff WHERE Id = 1; UPDATE staff SET Salary = 0 WHERE Id = 2"));
  EXPECT_EQ("Insertion Error. Key violation in Velmora.", sql_.Exec("INSERT INTO staff (Id) VALUES (9), (2)"));
  ASSERT_EQ("", sql_.Exec("COMMIT"));
  EXPECT_EQ((std::vector<std::string>{"2|Bob|B|0.0", "3|Cid|A|30.0", "4|Dee|B|40.0", "5|Eve|C|50.0"}), All());
}

TEST_F(WriteTest, RollbackAndSavepointsUndoTheChanges) {
  ASSERT_EQ("", sql_.Exec("BEGIN; INSERT INTO staff (Id) VALUES (6); UPDATE staff SET Id = 10 WHERE Id = 1;"
                          " DELETE FROM staff WHERE Dept = 'B'; ROLLBACK"));
  EXPECT_EQ(kFive, All());
  ASSERT_EQ("", sql_.Exec("BEGIN; INSERT INTO staff (Id, Name) VALUES (6, 'F'); SAVEPOINT one;"
                          " DELETE FROM staff WHERE Id < 3; SAVEPOINT two; UPDATE staff SET Name = 'x';"
                          " ROLLBACK TO one; UPDATE staff SET Salary = 1 WHERE Id = 5; RELEASE one; COMMIT"));
  EXPECT_EQ((std::vector<std::string>{"1|Ann|A|10.0", "2|Bob|B|20.0", "3|Cid|A|30.0", "4|Dee|B|40.0", "5|Eve|C|1.0",
                                      "6|F|NULL|NULL"}),
            All());
}

TEST_F(WriteTest, UpdatingOnlySomeColumnsKeepsTheOthersStoredBytes) {
  ASSERT_EQ("", sql_.Exec("UPDATE staff SET Hired = '2020-01-02 03:04:05.006', Rate = 0.3 WHERE Id = 1"));
  ASSERT_EQ("", sql_.Exec("UPDATE staff SET Salary = 11 WHERE Id = 1"));
  EXPECT_EQ((std::vector<std::string>{"2020-01-02 03:04:05.006|0.3|11.0"}),
            sql_.Rows("SELECT Hired, Rate, Salary FROM staff WHERE Id = 1"));
}

TEST_F(WriteTest, AFullTableRefusesTheNextRecordAndTheStatementIsTakenBack) {
  Folder folder;
  DefineTable(folder / "small.vri", {{"N", 'I'}}, {{"ByN", {0}}});
  ASSERT_EQ("", sql_.Exec("CREATE VIRTUAL TABLE small USING velmora('" + (folder / "small.vri") + "', readwrite)"));
  ASSERT_EQ("", sql_.Exec("INSERT INTO small " + Series(1, 29998)));
  EXPECT_EQ("Unable to insert. Velmora is full - 30000 records !",
            sql_.Exec("INSERT INTO small VALUES (-1), (-2), (-3)"));
  EXPECT_EQ(SQLITE_FULL, sql_.lastCode() & 0xFF);
  EXPECT_EQ((std::vector<std::string>{"29998|1|29998"}), sql_.Rows("SELECT count(*), min(N), max(N) FROM small"));
  ASSERT_EQ("", sql_.Exec("INSERT INTO small VALUES (-1), (-2)"));
  EXPECT_EQ((std::vector<std::string>{"30000"}), sql_.Rows("SELECT count(*) FROM small"));
}

TEST_F(WriteTest, AReadOnlyTableRefusesEveryChange) {
  ASSERT_EQ("", Create("reader", "readonly"));
  ASSERT_EQ("", Create("plain_reader", ""));
  const std::string message =
      "table reader is open read-only: create it with 'readwrite' as the second argument to change its records";
  EXPECT_EQ(message, sql_.Exec("INSERT INTO reader (Id) VALUES (9)"));
  EXPECT_EQ(SQLITE_READONLY, sql_.lastCode() & 0xFF);
  EXPECT_EQ(message, sql_.Exec("UPDATE reader SET Salary = 0"));
  EXPECT_EQ(message, sql_.Exec("DELETE FROM reader"));
  EXPECT_NE("", sql_.Exec("DELETE FROM plain_reader"));  // read-only is the default
  EXPECT_EQ(kFive, All());
  EXPECT_EQ((std::vector<std::string>{"5"}), sql_.Rows("SELECT count(*) FROM reader"));
}

TEST_F(WriteTest, OnlyOneUserAtATimeMayOpenATableForWriting) {
  Connection other;
  std::string open = "CREATE VIRTUAL TABLE t USING velmora('" + schema_ + "', readwrite)";
  EXPECT_EQ("cannot open the table " + schema_ +
                ": its schema file is missing, or another user holds the table open for writing",
            other.Exec(open));
  EXPECT_EQ("", other.Exec("CREATE VIRTUAL TABLE r USING velmora('" + schema_ + "')"));
  // Once the writer lets go, the table opens for writing again.
  ASSERT_EQ("", sql_.Exec("DROP TABLE staff"));
  EXPECT_EQ("", other.Exec(open));
}

TEST_F(WriteTest, TriggersAndViewsMayNotUseTheTable) {
  ASSERT_EQ("", sql_.Exec("CREATE TABLE log (n); CREATE TRIGGER t AFTER INSERT ON log BEGIN"
                          " DELETE FROM staff; END; CREATE VIEW v AS SELECT * FROM staff"));
  EXPECT_EQ("unsafe use of virtual table \"staff\"", sql_.Exec("INSERT INTO log VALUES (1)"));
  EXPECT_EQ("unsafe use of virtual table \"staff\"", sql_.Exec("SELECT * FROM v"));
  EXPECT_EQ(kFive, All());
}

TEST_F(WriteTest, ArgumentsAreChecked) {
  EXPECT_EQ("unknown open mode 'sometimes': give readonly or readwrite",
            sql_.Exec("CREATE VIRTUAL TABLE a USING velmora('" + schema_ + "', sometimes)"));
  EXPECT_EQ(
      "velmora needs the schema file's path and, optionally, the open mode: USING velmora('path/table.vri' "
      "[, readonly | readwrite])",
      sql_.Exec("CREATE VIRTUAL TABLE b USING velmora"));
  EXPECT_EQ("cannot read the schema file /nonexistent/x.vri: File not found",
            sql_.Exec("CREATE VIRTUAL TABLE c USING velmora('/nonexistent/x.vri')"));
}

}  // namespace
}  // namespace sqltest

namespace sqltest {
namespace {

// A query that is read halfway while other statements change the table goes
// on from where it was, over the records that remain.
TEST_F(StaffTest, AQueryReadHalfwayGoesOnAfterOtherStatementsChangeTheTable) {
  ASSERT_EQ("", Create("staff"));
  ASSERT_EQ("", sql_.Exec("WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 300)"
                          " INSERT INTO staff (Id, Name) SELECT n, 'n' || n FROM s"));
  for (const char *order : {"ASC", "DESC"}) {
    sqlite3_stmt *query = nullptr;
    ASSERT_EQ(SQLITE_OK,
              sqlite3_prepare_v2(sql_.db(), (std::string("SELECT Id FROM staff ORDER BY Id ") + order).c_str(), -1,
                                 &query, nullptr));
    std::vector<int> seen;
    for (int k = 0; k < 100 && sqlite3_step(query) == SQLITE_ROW; ++k) seen.push_back(sqlite3_column_int(query, 0));
    ASSERT_EQ(100u, seen.size());
    // Deletions move the last records into the gaps; an edit changes another index.
    const bool up = std::string(order) == "ASC";
    ASSERT_EQ("", sql_.Exec(up ? "DELETE FROM staff WHERE Id > 250 OR Id = 100 OR Id = 101"
                               : "DELETE FROM staff WHERE Id < 50 OR Id = 201 OR Id = 200"));
    ASSERT_EQ("", sql_.Exec("UPDATE staff SET Name = 'x' || Name WHERE Id % 7 = 0"));
    while (sqlite3_step(query) == SQLITE_ROW) seen.push_back(sqlite3_column_int(query, 0));
    sqlite3_finalize(query);
    // In order, each record once; every record that remains and lies beyond
    // the first hundred comes; others only if read ahead before they went.
    for (size_t k = 1; k < seen.size(); ++k) EXPECT_TRUE(up ? seen[k] > seen[k - 1] : seen[k] < seen[k - 1]) << k;
    std::vector<std::string> remaining =
        sql_.Rows(std::string("SELECT Id FROM staff WHERE Id ") + (up ? "> 100" : "< 151") + " ORDER BY Id " + order);
    std::vector<std::string> rest;
    for (size_t k = 100; k < seen.size(); ++k) {
      bool stillThere = std::find(remaining.begin(), remaining.end(), std::to_string(seen[k])) != remaining.end();
      if (stillThere)
        rest.push_back(std::to_string(seen[k]));
      else
        EXPECT_LT(k, 130u) << "record " << seen[k] << " was deleted long before it was read";
    }
    EXPECT_EQ(remaining, rest) << order;
  }
}

}  // namespace
}  // namespace sqltest
