// Moving data in one statement: out of a table into an ordinary SQLite table,
// and from there into another table of the engine, with nothing changed.
#include "SqlFixture.h"

namespace sqltest {
namespace {

class MigrationTest : public StaffTest {};

TEST_F(MigrationTest, RoundTripThroughAnOrdinaryTableKeepsEveryValue) {
  ASSERT_EQ("", Create("staff"));
  ASSERT_EQ("",
            sql_.Exec("INSERT INTO staff VALUES (1, 'Ann', 'Sales', 1234.5, 12.25, 2.1, '2024-03-15 13:05:09.250', 1),"
                      " (2, 'Bob', NULL, -0.001, NULL, 1e20, '1899-12-29 06:00:00', 0),"
                      " (3, NULL, NULL, NULL, NULL, NULL, NULL, NULL)"));
  ASSERT_EQ("", sql_.Exec("CREATE TABLE copy AS SELECT * FROM staff"));
  EXPECT_EQ((std::vector<std::string>{"Id|INT", "Name|TEXT", "Dept|TEXT", "Salary|REAL", "Bonus|REAL", "Rate|REAL",
                                      "Hired|TEXT", "Active|INT"}),
            sql_.Rows("SELECT name, type FROM pragma_table_info('copy')"));

  Folder other;
  const std::string target = other / "again.vri";
  DefineTable(target, StaffFields(), {{"ById", {0}}});
  ASSERT_EQ("", sql_.Exec("CREATE VIRTUAL TABLE again USING velmora('" + target + "', readwrite)"));
  ASSERT_EQ("", sql_.Exec("INSERT INTO again SELECT * FROM copy"));
  const std::string all = "SELECT Id, Name, Dept, Salary, Bonus, Rate, Hired, Active, typeof(Rate) FROM ";
  EXPECT_EQ(sql_.Rows(all + "staff ORDER BY Id"), sql_.Rows(all + "again ORDER BY Id"));
  EXPECT_EQ(sql_.Rows(all + "copy ORDER BY Id"), sql_.Rows(all + "again ORDER BY Id"));
  EXPECT_EQ(3u, sql_.Rows(all + "again").size());
  // The copy's rows equal the table's in every column.
  EXPECT_EQ((std::vector<std::string>{"0"}),
            sql_.Rows("SELECT count(*) FROM (SELECT * FROM staff EXCEPT SELECT * FROM copy)"));
}

}  // namespace
}  // namespace sqltest
