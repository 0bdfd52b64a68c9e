// Reading through the module: column types, every field type and NULL.
#include "SqlFixture.h"

namespace sqltest {
namespace {

class ReadTest : public StaffTest {};

TEST_F(ReadTest, ColumnsAreTheFieldsWithTheirSqlTypes) {
  ASSERT_EQ("", Create("staff"));
  std::vector<std::string> columns = sql_.Rows("SELECT name, type, hidden FROM pragma_table_xinfo('staff')");
  EXPECT_EQ((std::vector<std::string>{"Id|INTEGER|0", "Name|TEXT|0", "Dept|TEXT|0", "Salary|REAL|0",
                                      "Bonus|REAL|0", "Rate|REAL|0", "Hired|TEXT|0", "Active|INTEGER|0",
                                      "recno|INTEGER|1"}),
            columns);
}

}  // namespace
}  // namespace sqltest
