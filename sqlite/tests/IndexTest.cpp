// Key searches, key ranges and ordering through every kind of index: each
// query's rows are checked against the same query on an ordinary SQLite copy
// of the table, and its plan against the index it must use.
#include <algorithm>
#include <random>

#include "SqlFixture.h"

namespace sqltest {
namespace {

// One index per field type, a two-field index, and the unique key K.
//   0 K I, 1 F F, 2 C C, 3 R R, 4 D D, 5 B B, 6 S S(8)
class IndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    schema_ = folder_ / "kinds.vri";
    DefineTable(schema_, {{"K", 'I'}, {"F", 'F'}, {"C", 'C'}, {"R", 'R'}, {"D", 'D'}, {"B", 'B'}, {"S", 'S', 8}},
                {{"ByK", {0}},
                 {"ByF", {1}},
                 {"ByC", {2}},
                 {"ByR", {3}},
                 {"ByD", {4}},
                 {"ByB", {5}},
                 {"ByS", {6}},
                 {"BySF", {6, 1}}});
    ASSERT_EQ("", sql_.Exec("CREATE VIRTUAL TABLE kinds USING velmora('" + schema_ + "', readwrite)"));
    std::mt19937 random(2024);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const char *strings[] = {"'a'", "'ab'", "'abc'", "'B'", "'b'", "''", "'zzzzzzzz'", "'m'", "NULL"};
    const char *dates[] = {"'2024-03-15'",
                           "'2024-03-15 00:00:00.001'",
                           "'2024-03-15 12:00:00'",
                           "'1999-12-31 23:59:59'",
                           "'2024-03-16'",
                           "'0800-01-01'",
                           "NULL"};
    std::string insert = "INSERT INTO kinds VALUES ";
    for (int k = 0; k < 150; ++k) {
      if (k > 0) insert += ", ";
      insert += "(" + std::to_string(k * 3 - 200) + ", ";
      insert += pick(10) == 0 ? "NULL" : std::to_string(pick(40) - 20) + "." + std::to_string(pick(4) * 25);
      insert += ", " + (pick(10) == 0 ? std::string("NULL") : std::to_string(pick(2000) - 1000) + ".5");
      insert += ", " + (pick(10) == 0 ? std::string("NULL") : std::to_string(pick(30)) + ".1");
      insert += std::string(", ") + dates[pick(7)];
      insert += ", " + (pick(8) == 0 ? std::string("NULL") : std::to_string(pick(2)));
      insert += std::string(", ") + strings[pick(9)] + ")";
    }
    ASSERT_EQ("", sql_.Exec(insert));
    ASSERT_EQ("", sql_.Exec("CREATE TABLE plain AS SELECT * FROM kinds"));
  }

  // The query's rows on the module's table and on the copy; the plan must name the index.
  void Check(const std::string &where, const std::string &index) {
    std::string query = "SELECT K FROM kinds WHERE " + where;
    std::vector<std::string> rows = sql_.Rows(query);
    std::sort(rows.begin(), rows.end());
    std::vector<std::string> expected = sql_.Rows("SELECT K FROM plain WHERE " + where);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, rows) << where;
    EXPECT_NE(std::string::npos, sql_.Plan(query).find("index " + index + " (")) << where << ": " << sql_.Plan(query);
  }

  Folder folder_;
  std::string schema_;
  Connection sql_;
};

TEST_F(IndexTest, EqualAndRangeConditionsOnEveryKindOfIndex) {
  struct Column {
    std::string name, index;
    std::vector<std::string> values;
  } columns[] = {
      {"K", "ByK", {"-200", "-197", "0", "1", "247", "-1000", "5000", "-197.5", "'-194'"}},
      {"F", "ByF", {"0", "-20", "19.75", "3.25", "3.3", "-0.5", "100"}},
      {"C", "ByC", {"0.5", "-999.5", "998.5", "17.5", "17", "-5000"}},
      {"R", "ByR", {"2.1", "0.1", "29.1", "15.1", "15.10001", "-1", "100"}},
      {"D",
       "ByD",
       {"'2024-03-15'", "'2024-03-15 00:00:00.001'", "'2024-03-15 12:00:00'", "'2000-01-01'", "'2024-03-16'",
        "'0800-01-01'", "'2024-03-15 06:00:00'"}},
      {"B", "ByB", {"0", "1", "0.5"}},
      {"S", "ByS", {"'a'", "'ab'", "''", "'B'", "'b'", "'zzzzzzzz'", "'zzzzzzzzz'", "'abb'"}},
  };
  for (const Column &c : columns) {
    for (const std::string &v : c.values) {
      for (const char *op : {" = ", " < ", " <= ", " > ", " >= "}) Check(c.name + op + v, c.index);
      Check(c.name + " > " + v + " AND " + c.name + " < " + c.values[0], c.index);
      Check(c.name + " >= " + c.values[1] + " AND " + c.name + " <= " + v, c.index);
    }
    Check(c.name + " IS NULL", c.index);
  }
}

TEST_F(IndexTest, EqualLeadingFieldThenRangeOnTheNext) {
  for (const char *s : {"'a'", "'ab'", "'m'", "''", "'q'"}) {
    Check(std::string("S = ") + s + " AND F > 0", "BySF");
    Check(std::string("S = ") + s + " AND F >= -5.25 AND F < 10", "BySF");
    Check(std::string("S = ") + s + " AND F = 3.25", "BySF");
    Check(std::string("S = ") + s + " AND F IS NULL", "BySF");
  }
  Check("S IS NULL AND F <= 0", "BySF");
}

TEST_F(IndexTest, TheMostSelectiveIndexIsChosen) {
  // The unique key beats a two-field index; both fields of a two-field index beat one.
  EXPECT_NE(std::string::npos, sql_.Plan("SELECT * FROM kinds WHERE K = 1 AND S = 'a'").find("index ByK (K=?)"));
  EXPECT_NE(std::string::npos,
            sql_.Plan("SELECT * FROM kinds WHERE S = 'a' AND F = 2").find("index BySF (S=? AND F=?)"));
  EXPECT_NE(std::string::npos, sql_.Plan("SELECT * FROM kinds WHERE rowid = 3").find("record number"));
  EXPECT_EQ(sql_.Rows("SELECT K FROM plain LIMIT 1 OFFSET 3"), sql_.Rows("SELECT K FROM kinds WHERE rowid = 3"));
}

TEST_F(IndexTest, ConditionsNoIndexCanServeScan) {
  for (const std::string where : {"F + 0 > 3", "S = 'a' COLLATE NOCASE", "S LIKE 'a%'", "K > 0 OR F < 0"}) {
    std::string query = "SELECT K FROM kinds WHERE " + where + " ORDER BY K";
    EXPECT_EQ(sql_.Rows("SELECT K FROM plain WHERE " + where + " ORDER BY K"), sql_.Rows(query)) << where;
  }
  EXPECT_NE(std::string::npos, sql_.Plan("SELECT K FROM kinds WHERE F + 0 > 3").find("full scan"));
  EXPECT_NE(std::string::npos, sql_.Plan("SELECT K FROM kinds WHERE S = 'a' COLLATE NOCASE").find("full scan"));
}

TEST_F(IndexTest, OrderByAnIndexNeedsNoSorting) {
  struct Order {
    std::string by, index;
  } orders[] = {{"K", "ByK"}, {"F", "ByF"}, {"C", "ByC"}, {"R", "ByR"},
                {"D", "ByD"}, {"B", "ByB"}, {"S", "ByS"}, {"S, F", "BySF"}};
  for (const Order &o : orders) {
    for (const char *direction : {"", " DESC"}) {
      std::string by = o.by == "S, F" ? std::string("S") + direction + ", F" + direction : o.by + direction;
      std::string query = "SELECT " + o.by + " FROM kinds ORDER BY " + by;
      EXPECT_EQ(sql_.Rows("SELECT " + o.by + " FROM plain ORDER BY " + by), sql_.Rows(query)) << by;
      std::string plan = sql_.Plan(query);
      EXPECT_EQ(std::string::npos, plan.find("TEMP B-TREE")) << by << ": " << plan;
      EXPECT_NE(std::string::npos, plan.find("index " + o.index)) << by << ": " << plan;
    }
  }
  // Within equal leading values, the next field's order.
  std::string query = "SELECT F FROM kinds WHERE S = 'ab' ORDER BY F DESC";
  EXPECT_EQ(sql_.Rows("SELECT F FROM plain WHERE S = 'ab' ORDER BY F DESC"), sql_.Rows(query));
  EXPECT_EQ(std::string::npos, sql_.Plan(query).find("TEMP B-TREE"));
  // Mixed directions cannot come from an index.
  EXPECT_NE(std::string::npos, sql_.Plan("SELECT * FROM kinds ORDER BY S, F DESC").find("TEMP B-TREE"));
}

TEST_F(IndexTest, CursorsSharingTheTableKeepTheirPlaces) {
  // A self-join reads one index in order while the other side searches another.
  std::string join = "SELECT a.K, b.K FROM kinds a JOIN kinds b ON b.K = a.K + 3 ";
  std::string plainJoin = "SELECT a.K, b.K FROM plain a JOIN plain b ON b.K = a.K + 3 ";
  EXPECT_EQ(sql_.Rows(plainJoin + "ORDER BY a.S, a.K"), sql_.Rows(join + "ORDER BY a.S, a.K"));
  EXPECT_EQ(sql_.Rows(plainJoin + "WHERE a.F > 0 ORDER BY a.F DESC, a.K"),
            sql_.Rows(join + "WHERE a.F > 0 ORDER BY a.F DESC, a.K"));
  EXPECT_EQ(sql_.Rows("SELECT count(*) FROM plain a, plain b WHERE a.S = b.S"),
            sql_.Rows("SELECT count(*) FROM kinds a, kinds b WHERE a.S = b.S"));
}

}  // namespace
}  // namespace sqltest
