// Damaged tables: the engine's message comes back as a clear SQL error, both
// when the table is connected and when a query meets the damage.
#include <filesystem>
#include <fstream>

#include "SqlFixture.h"

namespace sqltest {
namespace {

class DamageTest : public StaffTest {
 protected:
  void Fill() {
    ASSERT_EQ("", Create("staff"));
    ASSERT_EQ("", sql_.Exec("WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 300)"
                            " INSERT INTO staff (Id, Name) SELECT n, 'name' || n FROM s"));
  }
  std::string File(const std::string &extension) const { return folder_ / ("staff" + extension); }
};

TEST_F(DamageTest, ATableWhoseDataFileIsShortIsRefusedWhenConnected) {
  Fill();
  ASSERT_EQ("", sql_.Exec("DROP TABLE staff"));
  std::filesystem::resize_file(File(".vrd"), std::filesystem::file_size(File(".vrd")) / 2);
  std::string error = sql_.Exec("CREATE VIRTUAL TABLE staff USING velmora('" + schema_ + "')");
  EXPECT_NE(std::string::npos, error.find("Velmora may be corrupted - suggest rebuild")) << error;
}

TEST_F(DamageTest, ADamagedSchemaFileIsRefusedWithTheReason) {
  std::ofstream(schema_, std::ios::binary | std::ios::trunc) << std::string(600, '\0');
  std::string error = sql_.Exec("CREATE VIRTUAL TABLE staff USING velmora('" + schema_ + "')");
  EXPECT_EQ("Unable to open a table without an index", error);
}

TEST_F(DamageTest, AQueryMeetingDamageFailsWithTheEnginesMessage) {
  Fill();
  EXPECT_EQ((std::vector<std::string>{"name7"}), sql_.Rows("SELECT Name FROM staff WHERE Id = 7"));
  // Records that the index still lists are cut off the data file.
  std::filesystem::resize_file(File(".vrd"), std::filesystem::file_size(File(".vrd")) / 3);
  std::string error;
  try {
    sql_.Rows("SELECT Id, Name FROM staff ORDER BY Name");
  } catch (const std::exception &e) {
    error = e.what();
  }
  EXPECT_EQ("Error on data file read1. Velmora may be corrupted - suggest rebuild (165/100)", error);
  EXPECT_EQ(SQLITE_CORRUPT, sql_.lastCode() & 0xFF);
}

}  // namespace
}  // namespace sqltest
